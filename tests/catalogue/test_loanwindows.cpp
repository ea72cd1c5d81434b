#include "widgets/GuiFixture.h"

#include "catalogue/Loans.h"
#include "catalogue/LoansPage.h"
#include "catalogue/manig.h"
#include "catalogue/ulend.h"
#include "data/ReadingDates.h"
#include "ebooks/ureadbook.h"
#include "shell/LoanMarks.h"
#include "shell/ShelfListing.h"
#include "shell/ShelfView.h"
#include "shell/Unittest.h"
#include "shell/uread.h"
#include "widgets/DateField.h"

#include <QCheckBox>
#include <QComboBox>
#include <QAbstractItemView>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>

#include <functional>

using namespace Qt::StringLiterals;

class TestLoanWindows : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        if (TDataModule2* module = TDataModule2::instance())
            module->clock.fix({});
    }
    void editorLendsThroughTheDialogAndByItsFields();
    void editorDatesAreStampedAndEdited();
    void correctedDateLeftWithTabIsSaved();
    void lendingDateTypedAsWritten_data();
    void lendingDateTypedAsWritten();
    void lendingDateRefusals();
    void suggestedBorrowerTakesOneEnter();
    void screensFollowALoan();
    void quickViewLendsAndReturns();
    void loansPageAndOverdueNote();
    void loansPageReturnsOneOfTwoLoans();
    void shelfMarksLentBooks();
    void ebookDatesInTheDetails();
};

namespace {

// Answers the lending dialog that the next click opens: borrower, due date (none when null).
void answerLend(QObject* context, const QString& borrower, const QDate& due, bool* seen = nullptr)
{
    QTimer::singleShot(0, context, [=] {
        auto* dialog = qobject_cast<TfmLend*>(QApplication::activeModalWidget());
        auto closer = qScopeGuard([dialog] {
            if (dialog && dialog->isVisible())
                dialog->reject();
        });
        QVERIFY(dialog);
        if (seen)
            *seen = true;
        typeText(dialog->findChild<QLineEdit*>(u"EdBorrower"_s), borrower);
        dialog->findChild<QCheckBox*>(u"CbDue"_s)->setChecked(due.isValid());
        if (due.isValid())
            dialog->findChild<DateField*>(u"DateDue"_s)->setDate(due);
        QTest::mouseClick(dialog->findChild<QPushButton*>(u"BtnOK"_s), Qt::LeftButton);
    });
}

int openLoans(LibraryFixture& f)
{
    return f.count(u"select count(*) from qh_loans where returned is null"_s).toInt();
}

} // namespace

void TestLoanWindows::editorLendsThroughTheDialogAndByItsFields()
{
    GuiFixture f;
    const qint64 first = f.addBook(u"甲"_s, u"还没读"_s, 1);
    f.addBook(u"乙"_s, u"还没读"_s, 1);
    TForm2 editor;
    editor.show();
    editor.waitForPictures();
    auto* lend = editor.findChild<QPushButton*>(u"BtnLend"_s);

    // The dialog: one loan, and the record's own fields show it.
    bool seen = false;
    answerLend(this, u"张三"_s, TDataModule2::instance()->clock.today().addDays(7), &seen);
    QTest::mouseClick(lend, Qt::LeftButton);
    QVERIFY(seen);
    QCOMPARE(openLoans(f), 1);
    QCOMPARE(editor.master()->asText(u"isjie"_s), u"是"_s);
    QCOMPARE(editor.master()->asText(u"jieshumen"_s), u"张三"_s);
    QCOMPARE(editor.findChild<QLabel*>(u"LblLoan"_s)->text(), u"借给 张三，0 天"_s);

    // Lending it again is refused with a message; still one loan.
    answerLend(this, u"李四"_s, {});
    QTest::mouseClick(lend, Qt::LeftButton);
    QCOMPARE(Prompt::lastShown().text, u"这本书已借给张三，请先归还。"_s);
    QCOMPARE(openLoans(f), 1);

    // 归还 closes it and keeps the history.
    Prompt::enqueueAnswer(QMessageBox::Ok);
    QTest::mouseClick(editor.findChild<QPushButton*>(u"BtnReturn"_s), Qt::LeftButton);
    QCOMPARE(openLoans(f), 0);
    QCOMPARE(f.count(u"select count(*) from qh_loans"_s), u"1"_s);
    QCOMPARE(editor.master()->asText(u"isjie"_s), u"否"_s);

    // The record's fields by hand, then 保存: the same one open loan.
    typeText(editor.findChild<QLineEdit*>(u"db_jieshumen"_s), u"王五"_s);
    auto* lent = editor.findChild<QComboBox*>(u"db_isjie"_s);
    lent->lineEdit()->selectAll();
    typeText(lent->lineEdit(), u"是"_s);
    editor.findChild<QComboBox*>(u"CBleib"_s)->setEditText(f.count(u"select leib from tblei where id = 1"_s));
    QTest::mouseClick(editor.findChild<QPushButton*>(u"BitBtn2"_s), Qt::LeftButton);
    QCOMPARE(openLoans(f), 1);
    QCOMPARE(Loans::openLoan(f.db(), first)->borrower, u"王五"_s);
    QCOMPARE(editor.findChild<QLabel*>(u"LblLoan"_s)->text(), u"借给 王五，0 天"_s);

    // With an unsaved edit the buttons ask for a save first and lend nothing.
    editor.master()->next();
    typeText(editor.findChild<QLineEdit*>(u"db_zuozhe"_s), u"某人"_s);
    QTest::mouseClick(lend, Qt::LeftButton);
    QCOMPARE(Prompt::lastShown().text, u"请先保存当前记录。"_s);
    QCOMPARE(openLoans(f), 1);
}

void TestLoanWindows::editorDatesAreStampedAndEdited()
{
    GuiFixture f;
    f.addBook(u"甲"_s, u"还没读"_s, 1);
    TForm2 editor;
    editor.show();
    editor.waitForPictures();
    auto* added = editor.findChild<QLineEdit*>(u"EdDateAdded"_s);
    auto* finished = editor.findChild<QLineEdit*>(u"EdDateFinished"_s);
    QCOMPARE(added->text(), QDate::currentDate().toString(Qt::ISODate));
    QVERIFY(finished->text().isEmpty());

    // A status change saved: the finish date appears at once.
    auto* status = editor.findChild<QComboBox*>(u"db_isread"_s);
    status->lineEdit()->selectAll();
    typeText(status->lineEdit(), u"已读完"_s);
    editor.findChild<QComboBox*>(u"CBleib"_s)->setEditText(f.count(u"select leib from tblei where id = 1"_s));
    QTest::mouseClick(editor.findChild<QPushButton*>(u"BitBtn2"_s), Qt::LeftButton);
    QCOMPARE(finished->text(), QDate::currentDate().toString(Qt::ISODate));

    // Corrected by hand; a bad date is refused and the stored one kept.
    finished->selectAll();
    typeText(finished, u"2023/5/4"_s);
    QTest::keyClick(finished, Qt::Key_Return);
    QCOMPARE(finished->text(), u"2023-05-04"_s);
    QCOMPARE(f.count(u"select finished from qh_book_dates"_s), u"2023-05-04"_s);
    added->selectAll();
    typeText(added, u"去年"_s);
    QTest::keyClick(added, Qt::Key_Return);
    QVERIFY(Prompt::lastShown().text.startsWith(u"日期应写作"_s));
    QCOMPARE(f.count(u"select added from qh_book_dates"_s), QDate::currentDate().toString(Qt::ISODate));

    // A new book not yet saved has no dates to edit.
    QTest::mouseClick(editor.findChild<QPushButton*>(u"BitBtn1"_s), Qt::LeftButton);
    QVERIFY(!added->isEnabled());
    QVERIFY(added->text().isEmpty());
}

void TestLoanWindows::quickViewLendsAndReturns()
{
    GuiFixture f;
    const qint64 id = f.addBook(u"围城"_s, u"还没读"_s);
    Tfmread view;
    view.openBook(id);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* lend = view.findChild<QPushButton*>(u"BtnLend"_s);
    auto* back = view.findChild<QPushButton*>(u"BtnReturn"_s);
    QVERIFY(lend->isEnabled() && !back->isEnabled());
    typeText(view.findChild<QLineEdit*>(u"DBEdit2"_s), u"钱锺书"_s); // pending, written by 确定

    TDataModule2::instance()->clock.fix(QDate(2026, 3, 1));
    answerLend(this, u"李四"_s, QDate(2026, 3, 10));
    QTest::mouseClick(lend, Qt::LeftButton);
    QCOMPARE(view.findChild<QLabel*>(u"LblLoan"_s)->text(), u"借给 李四，0 天"_s);
    QVERIFY(!lend->isEnabled() && back->isEnabled());
    QTest::mouseClick(view.findChild<QPushButton*>(u"b1"_s), Qt::LeftButton);
    // 确定 wrote the author and left the loan's fields as the loan made them.
    QCOMPARE(f.count(u"select zuozhe || '/' || isjie || '/' || jieshumen from baseshu"_s), u"钱锺书/是/李四"_s);

    TDataModule2::instance()->clock.fix(QDate(2026, 3, 15));
    Tfmread again;
    again.openBook(id);
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(again.findChild<QLabel*>(u"LblLoan"_s)->text(), u"已逾期 5 天（李四）"_s);
    Prompt::enqueueAnswer(QMessageBox::Ok);
    QTest::mouseClick(again.findChild<QPushButton*>(u"BtnReturn"_s), Qt::LeftButton);
    QVERIFY(again.findChild<QLabel*>(u"LblLoan"_s)->text().isEmpty());
    QCOMPARE(f.count(u"select returned from qh_loans"_s), u"2026-03-15"_s);
}

void TestLoanWindows::loansPageAndOverdueNote()
{
    GuiFixture f;
    const qint64 a = f.addBook(u"甲"_s, u"还没读"_s);
    const qint64 b = f.addBook(u"乙"_s, u"还没读"_s);
    Loans::lend(f.db(), a, u"张三"_s, QDate(2026, 3, 1), QDate(2026, 4, 1));
    Loans::lend(f.db(), b, u"李四"_s, QDate(2026, 3, 5), QDate(2026, 3, 20));
    TDataModule2::instance()->clock.fix(QDate(2026, 3, 25));

    TFormtest main;
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    auto* note = main.findChild<QLabel*>(u"StatusBar1Overdue"_s);
    QVERIFY(note->isVisible());
    QCOMPARE(note->text(), u"有 1 本书逾期未还"_s);

    // A click on the note opens 借阅: the late book first, in red.
    QTest::mouseClick(note, Qt::LeftButton);
    LoansPage* page = main.loansPage();
    QVERIFY(page && page->isVisible());
    QTableWidget* out = page->currentTable();
    QCOMPARE(out->rowCount(), 2);
    QCOMPARE(out->item(0, 0)->text(), u"乙"_s);
    QCOMPARE(out->item(0, 5)->text(), u"已逾期 5 天"_s);
    QCOMPARE(out->item(0, 0)->foreground().color(), QColor(Qt::red));
    QCOMPARE(out->item(1, 4)->text(), u"24"_s);

    // 归还 on that row: the page, the history and the note follow.
    Prompt::enqueueAnswer(QMessageBox::Ok);
    QTest::mouseClick(out->findChild<QPushButton*>(u"BtnLoanReturn0"_s), Qt::LeftButton);
    QCOMPARE(out->rowCount(), 1);
    QVERIFY(!note->isVisible());
    QCOMPARE(page->historyTable()->rowCount(), 2);
    typeText(page->findChild<QLineEdit*>(u"EdLoanSearch"_s), u"李"_s);
    QCOMPARE(page->historyTable()->rowCount(), 1);
    QCOMPARE(page->historyTable()->item(0, 4)->text(), u"2026-03-25"_s);

    // The navigation item opens the same page.
    main.bringPaperPageToFront();
    main.dxNavBar1Item14Click();
    QCOMPARE(main.loansPage(), page);
    QVERIFY(page->isVisible());
}

void TestLoanWindows::loansPageReturnsOneOfTwoLoans()
{
    GuiFixture f;
    const qint64 book = f.addBook(u"围城"_s, u"还没读"_s);
    f.db().execute(u"insert into qh_loans (book, borrower, lent) values (%1, '甲', '2026-03-01'), "
                   "(%1, '乙', '2026-03-02')"_s.arg(book));
    f.db().execute(u"update baseshu set isjie = '是', jieshumen = '乙' where id = %1"_s.arg(book));
    TDataModule2::instance()->clock.fix(QDate(2026, 3, 25));
    LoansPage page(f.db(), TDataModule2::instance()->clock);
    page.refresh();
    QTableWidget* out = page.currentTable();
    QCOMPARE(out->rowCount(), 2); // both shown, each as the loan it is
    QCOMPARE(out->item(0, 1)->text(), u"甲"_s);
    QCOMPARE(out->item(1, 1)->text(), u"乙"_s);

    Prompt::enqueueAnswer(QMessageBox::Ok);
    QTest::mouseClick(out->findChild<QPushButton*>(u"BtnLoanReturn1"_s), Qt::LeftButton);
    QCOMPARE(Prompt::lastShown().text, u"《围城》已由乙归还？"_s);
    QCOMPARE(out->rowCount(), 1);
    QCOMPARE(out->item(0, 1)->text(), u"甲"_s);
    QCOMPARE(f.count(u"select borrower from qh_loans where returned is null"_s), u"甲"_s);
    QCOMPARE(f.count(u"select isjie || jieshumen from baseshu"_s), u"是甲"_s);

    // A deleted book's loans stay in the history under its title.
    f.db().execute(u"delete from baseshu"_s);
    page.refresh();
    QCOMPARE(out->rowCount(), 0);
    QCOMPARE(page.historyTable()->rowCount(), 2);
    QCOMPARE(page.historyTable()->item(0, 0)->text(), u"围城"_s);
    QCOMPARE(page.historyTable()->item(0, 4)->text(), u"未还（书已删除）"_s);
}

void TestLoanWindows::shelfMarksLentBooks()
{
    GuiFixture f;
    const qint64 late = f.addBook(u"甲"_s, u"还没读"_s);
    const qint64 out = f.addBook(u"乙"_s, u"还没读"_s);
    const qint64 home = f.addBook(u"丙"_s, u"还没读"_s);
    Loans::lend(f.db(), late, u"张三"_s, QDate(2026, 3, 1), QDate(2026, 3, 10));
    Loans::lend(f.db(), out, u"李四"_s, QDate(2026, 3, 1), {});
    QImage grey(100, 120, QImage::Format_RGB888);
    grey.fill(Qt::gray);
    QList<ShelfItem> items { { u"甲"_s, late, grey }, { u"乙"_s, out, grey }, { u"丙"_s, home, grey } };
    LoanMarks::apply(f.db(), items, QDate(2026, 3, 20));
    const QPoint badge(80, 6);
    QVERIFY(near(items[0].thumbnail.pixelColor(badge), QColor(210, 20, 20), 30));
    QVERIFY(near(items[1].thumbnail.pixelColor(badge), QColor(30, 110, 200), 30));
    QCOMPARE(items[2].thumbnail, grey);
    QCOMPARE(items[0].thumbnail.size(), QSize(100, 120));
}

void TestLoanWindows::ebookDatesInTheDetails()
{
    GuiFixture f;
    f.db().execute(u"insert into dzbook (name, filename, isread) values ('a.pdf', 'x', '还没读')"_s);
    RecordSet list(f.db());
    list.setSql(u"select * from dzbook"_s);
    list.open();
    const qint64 id = *list.asInteger(u"id"_s);
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    {
        Tfmreadbook details(list);
        details.show();
        QVERIFY(QTest::qWaitForWindowExposed(&details));
        QCOMPARE(details.findChild<QLineEdit*>(u"EdDateAdded"_s)->text(), today);
        // A bad date keeps the dialog open and writes nothing.
        typeText(details.findChild<QLineEdit*>(u"EdDateFinished"_s), u"明天"_s);
        QTest::mouseClick(details.findChild<QPushButton*>(u"b1"_s), Qt::LeftButton);
        QVERIFY(details.isVisible());
        QVERIFY(Prompt::lastShown().text.startsWith(u"日期应写作"_s));
        auto* finished = details.findChild<QLineEdit*>(u"EdDateFinished"_s);
        finished->selectAll();
        typeText(finished, u"2024/2/3"_s);
        auto* status = details.findChild<QComboBox*>(u"DBComboBox1"_s);
        status->lineEdit()->selectAll();
        typeText(status->lineEdit(), u"已读完"_s);
        QTest::mouseClick(details.findChild<QPushButton*>(u"b1"_s), Qt::LeftButton);
        QVERIFY(!details.isVisible());
    }
    // The typed finish date wins over the stamp of the status change; the rest stay.
    const ReadingDates dates = ReadingDates::read(f.db(), ReadingDates::Kind::Ebook, id);
    QCOMPARE(dates.finished, QDate(2024, 2, 3));
    QCOMPARE(dates.added, QDate::currentDate());
    QVERIFY(dates.started.isNull());
}

void TestLoanWindows::correctedDateLeftWithTabIsSaved()
{
    GuiFixture f;
    f.addBook(u"甲"_s, u"还没读"_s, 1);
    TForm2 editor;
    editor.show();
    editor.waitForPictures();
    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    auto* started = editor.findChild<QLineEdit*>(u"EdDateStarted"_s);
    auto* finished = editor.findChild<QLineEdit*>(u"EdDateFinished"_s);
    const auto stored = [&] { return f.count(u"select coalesce(started, '') from qh_book_dates"_s); };

    // The warning's box takes the window's activation and, closed, does not always
    // give it back (no window manager): the keys still reach the field, but no
    // focus event follows a Tab.
    QWidget elsewhere;
    elsewhere.resize(50, 50);
    Prompt::setOnShown([&](const Prompt::Shown&) {
        elsewhere.show();
        elsewhere.activateWindow();
    });
    auto noObserver = qScopeGuard([] { Prompt::setOnShown({}); });

    // A bad date left with Tab: refused, the field keeps the focus and the text.
    started->setFocus();
    typeText(started, u"3月5日"_s);
    QTest::keyClick(started, Qt::Key_Tab);
    QVERIFY(Prompt::lastShown().text.startsWith(u"日期应写作"_s));
    QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
    QCOMPARE(editor.focusWidget(), started);
    QCOMPARE(started->text(), u"3月5日"_s);
    QCOMPARE(stored(), QString());

    // Corrected and left with Tab, three times over: each correction is saved.
    for (const auto& [typed, saved] : { std::pair { u"2024-03-05"_s, u"2024-03-05"_s },
             std::pair { u"2024年3月6日"_s, u"2024-03-06"_s }, std::pair { u"2024/3/7"_s, u"2024-03-07"_s } }) {
        started->setFocus();
        started->selectAll();
        typeText(started, typed);
        QTest::keyClick(started, Qt::Key_Tab);
        QCOMPARE(stored(), saved);
        QCOMPARE(started->text(), saved);
        QCOMPARE(editor.focusWidget(), finished); // Tab went on to the next field
    }

    // In an active window: left by a click elsewhere after a refusal, saved as well.
    Prompt::setOnShown({});
    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    Prompt::takeShown();
    started->setFocus();
    started->selectAll();
    typeText(started, u"不知道"_s);
    QTest::keyClick(started, Qt::Key_Tab);
    QCOMPARE(Prompt::takeShown().size(), 1);
    QCOMPARE(QApplication::focusWidget(), started);
    started->selectAll();
    typeText(started, u"2024-04-01"_s);
    editor.findChild<QLineEdit*>(u"db_name"_s)->setFocus(Qt::MouseFocusReason);
    QCOMPARE(stored(), u"2024-04-01"_s);
    QVERIFY(Prompt::takeShown().isEmpty());
}

namespace {

// Runs the lending dialog of the editor's first book with a script for it.
void withLendingDialog(QObject* context, TForm2& editor, const std::function<void(TfmLend*)>& script)
{
    bool seen = false;
    QTimer::singleShot(0, context, [&] {
        auto* dialog = qobject_cast<TfmLend*>(QApplication::activeModalWidget());
        auto closer = qScopeGuard([dialog] {
            if (dialog && dialog->isVisible())
                dialog->reject();
        });
        QVERIFY(dialog);
        seen = true;
        script(dialog);
    });
    QTest::mouseClick(editor.findChild<QPushButton*>(u"BtnLend"_s), Qt::LeftButton);
    QVERIFY(seen);
}

} // namespace

void TestLoanWindows::lendingDateTypedAsWritten_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("dashes") << u"2026-12-01"_s;
    QTest::newRow("slashes") << u"2026/12/01"_s;
    QTest::newRow("short slashes") << u"2026/12/1"_s;
    QTest::newRow("characters") << u"2026年12月1日"_s;
}

void TestLoanWindows::lendingDateTypedAsWritten()
{
    QFETCH(QString, typed);
    GuiFixture f;
    const qint64 book = f.addBook(u"甲"_s, u"还没读"_s, 1);
    Loans::setToday(QDate(2026, 12, 10));
    TForm2 editor;
    editor.show();
    editor.waitForPictures();
    withLendingDialog(this, editor, [&](TfmLend* dialog) {
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        typeText(dialog->findChild<QLineEdit*>(u"EdBorrower"_s), u"张伟"_s);
        auto* lent = dialog->findChild<QLineEdit*>(u"DateLent"_s);
        QVERIFY(lent);
        lent->setFocus();
        lent->selectAll();
        typeText(lent, typed); // typed whole: the field does not jump to a part of its own
        QCOMPARE(lent->text(), typed);
        QTest::keyClick(lent, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog->findChild<QCheckBox*>(u"CbDue"_s)); // 归还期限
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        auto* due = dialog->findChild<QLineEdit*>(u"DateDue"_s);
        QCOMPARE(QApplication::focusWidget(), due);
        due->selectAll();
        typeText(due, u"2026年12月31日"_s);
        QTest::keyClick(due, Qt::Key_Return); // Enter lends
    });
    const auto loan = Loans::openLoan(f.db(), book);
    QVERIFY(loan);
    QCOMPARE(loan->lent, QDate(2026, 12, 1));
    QCOMPARE(loan->due, QDate(2026, 12, 31));
}

void TestLoanWindows::lendingDateRefusals()
{
    GuiFixture f;
    const qint64 book = f.addBook(u"甲"_s, u"还没读"_s, 1);
    Loans::setToday(QDate(2026, 12, 10));
    TForm2 editor;
    editor.show();
    editor.waitForPictures();
    withLendingDialog(this, editor, [&](TfmLend* dialog) {
        typeText(dialog->findChild<QLineEdit*>(u"EdBorrower"_s), u"张伟"_s);
        auto* lent = dialog->findChild<QLineEdit*>(u"DateLent"_s);
        auto* ok = dialog->findChild<QPushButton*>(u"BtnOK"_s);
        // A day still to come is refused with the reason; the dialog stays.
        lent->selectAll();
        typeText(lent, u"2026-12-12"_s);
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(dialog->isVisible());
        QVERIFY2(Prompt::lastShown().text.contains(u"还没到"_s), qPrintable(Prompt::lastShown().text));
        QVERIFY(Prompt::lastShown().text.contains(u"2026-12-10"_s));
        // So is a text that is no date.
        lent->selectAll();
        typeText(lent, u"上周五"_s);
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(dialog->isVisible());
        QVERIFY(Prompt::lastShown().text.startsWith(u"日期应写作"_s));
        QVERIFY(!Loans::openLoan(f.db(), book));
        // Today itself is taken; an unticked due date is not read at all.
        lent->selectAll();
        typeText(lent, u"2026-12-10"_s);
        dialog->findChild<QCheckBox*>(u"CbDue"_s)->setChecked(false);
        auto* due = dialog->findChild<QLineEdit*>(u"DateDue"_s);
        due->setText(u"乱写"_s);
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
    });
    QCOMPARE(Loans::openLoan(f.db(), book)->lent, QDate(2026, 12, 10));
    QVERIFY(Loans::openLoan(f.db(), book)->due.isNull());
}

void TestLoanWindows::suggestedBorrowerTakesOneEnter()
{
    GuiFixture f;
    const qint64 earlier = f.addBook(u"甲"_s, u"还没读"_s, 1);
    const qint64 book = f.addBook(u"乙"_s, u"还没读"_s, 1);
    Loans::lend(f.db(), earlier, u"张伟"_s, QDate(2026, 1, 1), {});
    Loans::giveBack(f.db(), earlier, QDate(2026, 1, 5));
    TForm2 editor;
    editor.show();
    editor.waitForPictures();
    editor.master()->next();
    withLendingDialog(this, editor, [&](TfmLend* dialog) {
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        auto* borrower = dialog->findChild<QLineEdit*>(u"EdBorrower"_s);
        typeText(borrower, u"伟"_s);
        QAbstractItemView* suggestions = borrower->completer()->popup();
        QTRY_VERIFY(suggestions->isVisible());
        QTest::keyClick(suggestions, Qt::Key_Down);
        QTest::keyClick(suggestions, Qt::Key_Return); // the one Enter
        QVERIFY(!dialog->isVisible());
    });
    const auto loan = Loans::openLoan(f.db(), book);
    QVERIFY(loan);
    QCOMPARE(loan->borrower, u"张伟"_s);
}

void TestLoanWindows::screensFollowALoan()
{
    GuiFixture f;
    const qint64 id = f.addBook(u"围城"_s, u"还没读"_s, 1);
    f.addBook(u"边城"_s, u"还没读"_s, 1);
    Loans::setToday(QDate(2026, 5, 1));
    TFormtest main;
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.dxNavBar1Item1Click(); // 还没读: both books on the shelf
    QTRY_VERIFY(!main.isListing()); // the shelf is read on a thread
    auto* shelf = main.findChild<ShelfView*>(u"ListView1"_s);
    QCOMPARE(shelf->count(), 2);
    const int row = ShelfView::bookId(shelf->item(0)) == id ? 0 : 1;
    const QImage before = shelf->images().at(row).toImage();
    const QImage other = shelf->images().at(1 - row).toImage();
    main.dxNavBar1Item14Click(); // 借阅, empty
    QCOMPARE(main.loansPage()->currentTable()->rowCount(), 0);
    auto* note = main.findChild<QLabel*>(u"StatusBar1Overdue"_s);
    QVERIFY(!note->isVisible());

    // Lent from the quick view, long overdue: every screen follows before it closes.
    Tfmread view(&main);
    view.openBook(id);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<TfmLend*>(QApplication::activeModalWidget());
        auto closer = qScopeGuard([dialog] {
            if (dialog && dialog->isVisible())
                dialog->reject();
        });
        QVERIFY(dialog);
        typeText(dialog->findChild<QLineEdit*>(u"EdBorrower"_s), u"张伟"_s);
        auto* lent = dialog->findChild<QLineEdit*>(u"DateLent"_s);
        lent->selectAll();
        typeText(lent, u"2026-03-01"_s);
        auto* due = dialog->findChild<QLineEdit*>(u"DateDue"_s);
        due->selectAll();
        typeText(due, u"2026-03-23"_s);
        QTest::mouseClick(dialog->findChild<QPushButton*>(u"BtnOK"_s), Qt::LeftButton);
    });
    QTest::mouseClick(view.findChild<QPushButton*>(u"BtnLend"_s), Qt::LeftButton);
    QCOMPARE(view.findChild<QLabel*>(u"LblLoan"_s)->text(), u"已逾期 39 天（张伟）"_s);
    QVERIFY(note->isVisibleTo(&main));
    QCOMPARE(note->text(), u"有 1 本书逾期未还"_s);
    QCOMPARE(main.loansPage()->currentTable()->rowCount(), 1);
    QCOMPARE(main.loansPage()->currentTable()->item(0, 1)->text(), u"张伟"_s);
    const QPoint badge(80, 6);
    QVERIFY(near(shelf->images().at(row).toImage().pixelColor(badge), QColor(210, 20, 20), 30));
    QCOMPARE(shelf->images().at(1 - row).toImage(), other); // the book at home keeps its cover as it was

    // Returned: the mark, the note and the list go at once.
    Prompt::enqueueAnswer(QMessageBox::Ok);
    QTest::mouseClick(view.findChild<QPushButton*>(u"BtnReturn"_s), Qt::LeftButton);
    QVERIFY(!note->isVisibleTo(&main));
    QCOMPARE(main.loansPage()->currentTable()->rowCount(), 0);
    QCOMPARE(main.loansPage()->historyTable()->rowCount(), 1);
    QCOMPARE(shelf->images().at(row).toImage(), before);
    view.reject();
}

QTEST_MAIN(TestLoanWindows)
#include "test_loanwindows.moc"
