#include "widgets/GuiFixture.h"

#include "catalogue/Loans.h"
#include "catalogue/LoansPage.h"
#include "catalogue/manig.h"
#include "catalogue/ulend.h"
#include "data/ReadingDates.h"
#include "ebooks/ureadbook.h"
#include "shell/LoanMarks.h"
#include "shell/ShelfListing.h"
#include "shell/Unittest.h"
#include "shell/uread.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>

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
            dialog->findChild<QDateEdit*>(u"DateDue"_s)->setDate(due);
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
    emit finished->editingFinished();
    QCOMPARE(finished->text(), u"2023-05-04"_s);
    QCOMPARE(f.count(u"select finished from qh_book_dates"_s), u"2023-05-04"_s);
    added->selectAll();
    typeText(added, u"去年"_s);
    emit added->editingFinished();
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
    QCOMPARE(again.findChild<QLabel*>(u"LblLoan"_s)->text(), u"已逾期 5 天"_s);
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

QTEST_MAIN(TestLoanWindows)
#include "test_loanwindows.moc"
