// 回收站 and 历史版本 as a person uses them: a book deleted in the editor and
// put back from the bin window with its pictures; 彻底删除 and 清空 after their
// questions; the navigation item; a summary overwritten in the editor and an
// e-book's notes in its details, brought back from their history.

#include "widgets/GuiFixture.h"

#include "catalogue/manig.h"
#include "data/Trash.h"
#include "ebooks/EbookPage.h"
#include "ebooks/EbookStore.h"
#include "ebooks/RecycleBin.h"
#include "ebooks/ureadbook.h"
#include "ebooks/utrash.h"
#include "platform/AppPaths.h"
#include "shell/Unittest.h"
#include "widgets/uhistory.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

void click(QWidget* window, const QString& name)
{
    auto* button = window->findChild<QPushButton*>(name);
    QVERIFY2(button, qPrintable(name));
    QTest::mouseClick(button, Qt::LeftButton);
}

// Runs work on the next modal window that opens (of type T), then closes whatever is left open.
template <typename T> void onModal(const std::function<void(T*)>& work)
{
    QTimer::singleShot(0, [work] {
        auto closeAll = qScopeGuard([] {
            while (QWidget* left = QApplication::activeModalWidget())
                left->close();
        });
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        work(dialog);
    });
}

QString cell(QTableWidget* table, int row, int column)
{
    return table->item(row, column) ? table->item(row, column)->text() : QString();
}

} // namespace

class TestBinWindows : public QObject
{
    Q_OBJECT
private slots:
    void deletedInTheEditorComesBackFromTheBin()
    {
        GuiFixture f;
        const QByteArray cover = picture(QColor(200, 30, 30));
        const qint64 id = f.addBook(u"围城"_s, u"已读完"_s, 1, u"jpg"_s, cover);
        f.addBook(u"边城"_s, u"还没读"_s, 1);
        const QString before = f.count(u"select quote(facepic) || name || isread from baseshu where id = %1"_s.arg(id));
        {
            TForm2 editor;
            editor.show();
            Prompt::enqueueAnswer(QMessageBox::Ok);
            click(&editor, u"BitBtn5"_s); // 删除, on the first book
            QCOMPARE(Prompt::lastShown().text, u"确定要删除这条记录"_s);
        }
        QCOMPARE(f.count(u"select count(*) from baseshu"_s), u"1"_s);

        EbookStore store(AppPaths::path(u"corvina"_s));
        Tfmtrash bin(f.db(), store);
        bin.show();
        auto* list = bin.findChild<QTableWidget*>(u"LvTrash"_s);
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(cell(list, 0, 0), u"围城"_s);
        QCOMPARE(cell(list, 0, 1), u"纸书"_s);
        QVERIFY(cell(list, 0, 2).startsWith(QDate::currentDate().toString(Qt::ISODate)));
        QVERIFY(!cell(list, 0, 3).isEmpty());
        click(&bin, u"BtnTrashRestore"_s);
        QCOMPARE(list->rowCount(), 0);
        QVERIFY(bin.changedLibrary());
        QVERIFY(!bin.findChild<QPushButton*>(u"BtnTrashEmpty"_s)->isEnabled());
        QCOMPARE(f.count(u"select quote(facepic) || name || isread from baseshu where id = %1"_s.arg(id)), before);
    }

    void purgeAndEmptyAskFirst()
    {
        GuiFixture f;
        for (const QString& name : { u"一"_s, u"二"_s, u"三"_s })
            Trash::remove(f.db(), Trash::Kind::Book, f.addBook(name, u"还没读"_s), QDateTime::currentDateTime());
        EbookStore store(AppPaths::path(u"corvina"_s));
        Tfmtrash bin(f.db(), store);
        bin.show();
        auto* list = bin.findChild<QTableWidget*>(u"LvTrash"_s);
        QCOMPARE(list->rowCount(), 3);
        Prompt::enqueueAnswer(QMessageBox::Cancel);
        click(&bin, u"BtnTrashPurge"_s);
        QCOMPARE(Prompt::lastShown().text, u"彻底删除“%1”？删除后无法恢复。"_s.arg(cell(list, 0, 0)));
        QCOMPARE(list->rowCount(), 3);
        Prompt::enqueueAnswer(QMessageBox::Ok);
        click(&bin, u"BtnTrashPurge"_s);
        QCOMPARE(list->rowCount(), 2);
        Prompt::enqueueAnswer(QMessageBox::Cancel);
        click(&bin, u"BtnTrashEmpty"_s);
        QCOMPARE(Prompt::lastShown().text, u"清空回收站（2 项）？删除后无法恢复。"_s);
        QCOMPARE(list->rowCount(), 2);
        Prompt::enqueueAnswer(QMessageBox::Ok);
        click(&bin, u"BtnTrashEmpty"_s);
        QCOMPARE(list->rowCount(), 0);
        QCOMPARE(f.count(u"select count(*) from qh_trash_books"_s), u"0"_s);
        QVERIFY(!bin.changedLibrary());
    }

    // The navigation item opens the bin; an e-book put back there is in the list again.
    void navigationItemOpensTheBin()
    {
        GuiFixture f;
        TFormtest window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Prompt::takeShown();
        EbookStore store(AppPaths::path(u"corvina"_s));
        QFile source(f.dir.filePath(u"a.pdf"_s));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("%PDF-1.4 not much else");
        source.close();
        const QString stored = store.newStoredName();
        store.store(source.fileName(), stored);
        f.db().execute(u"insert into dzbook (name, filename) values ('电子书', '%1')"_s.arg(stored));
        window.ebookPage()->list().refresh();
        QVERIFY(RecycleBin::removeEbook(f.db(), store, 1, QDateTime::currentDateTime()));
        window.ebookPage()->list().refresh();
        QCOMPARE(window.ebookPage()->list().recordCount(), 0);

        bool opened = false;
        onModal<Tfmtrash>([&](Tfmtrash* bin) {
            opened = true;
            QCOMPARE(bin->windowTitle(), u"回收站"_s);
            auto* list = bin->findChild<QTableWidget*>(u"LvTrash"_s);
            QCOMPARE(cell(list, 0, 1), u"电子书"_s);
            click(bin, u"BtnTrashRestore"_s);
        });
        window.dxNavBar1Item17Click();
        QVERIFY(opened);
        QCOMPARE(window.ebookPage()->list().recordCount(), 1);
        QVERIFY(QFileInfo::exists(store.path(stored)));
    }

    // At start, items past their days go (by the program's clock); the others stay.
    void startRemovesWhatIsPastItsDays()
    {
        GuiFixture f;
        f.module->clock.fix(QDate(2027, 3, 1));
        Trash::remove(f.db(), Trash::Kind::Book, f.addBook(u"旧"_s, u"还没读"_s), QDateTime(QDate(2027, 1, 29), QTime(8, 0)));
        Trash::remove(f.db(), Trash::Kind::Book, f.addBook(u"新"_s, u"还没读"_s), QDateTime(QDate(2027, 1, 30), QTime(8, 0)));
        TFormtest window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(f.count(u"select group_concat(name) from qh_trash_books"_s), u"新"_s);
    }

    // A summary overwritten in the editor comes back from 历史版本; Ctrl+Z in a field
    // still undoes typing.
    void overwrittenSummaryComesBack()
    {
        GuiFixture f;
        const qint64 id = f.addBook(u"红楼梦"_s, u"还没读"_s, 1);
        f.db().execute(u"update baseshu set contentjj = '多年写下的简介' where id = %1"_s.arg(id));
        TForm2 editor;
        editor.show();
        auto* summary = editor.findChild<QPlainTextEdit*>(u"db_contentjj"_s);
        QVERIFY(summary);
        QCOMPARE(summary->toPlainText(), u"多年写下的简介"_s);
        click(&editor, u"BitBtn3"_s); // 编缉
        summary->selectAll();
        typeText(summary, u"不小心覆盖了"_s);
        auto* category = editor.findChild<QComboBox*>(u"CBleib"_s);
        category->setEditText(u"历史"_s);
        click(&editor, u"BitBtn2"_s); // 保存
        QCOMPARE(f.count(u"select contentjj from baseshu where id = %1"_s.arg(id)), u"不小心覆盖了"_s);

        auto* title = editor.findChild<QLineEdit*>(u"db_name"_s);
        QVERIFY(title);
        title->end(false);
        typeText(title, u"X"_s);
        QCOMPARE(title->text(), u"红楼梦X"_s);
        QTest::keyClick(title, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(title->text(), u"红楼梦"_s);
        click(&editor, u"BitBtn4"_s); // 取消

        bool opened = false;
        onModal<TfmHistory>([&](TfmHistory* history) {
            opened = true;
            auto* list = history->findChild<QListWidget*>(u"LvHistory"_s);
            QCOMPARE(list->count(), 2);
            QVERIFY(list->item(0)->text().contains(u"改了类别、内容简介"_s));
            const QString shown = history->findChild<QPlainTextEdit*>(u"MemoHistory"_s)->toPlainText();
            QVERIFY(shown.contains(u"多年写下的简介"_s));
            QVERIFY(shown.contains(u"这个版本：文学"_s)); // categories by their names
            click(history, u"BtnHistoryRestore"_s);
        });
        editor.BtnHistoryClick();
        QVERIFY(opened);
        QCOMPARE(f.count(u"select contentjj from baseshu where id = %1"_s.arg(id)), u"多年写下的简介"_s);
        QCOMPARE(summary->toPlainText(), u"多年写下的简介"_s);
        QCOMPARE(category->currentText(), u"文学"_s);
    }

    // The e-book details have theirs: the notes come back; the password is never shown.
    void ebookDetailsHaveTheirHistory()
    {
        GuiFixture f;
        f.db().execute(u"insert into dzbook (name, filename, place, readbiji) values ('书', '202612101010101234', "
                       "'secret', '读书笔记第一版')"_s);
        f.db().execute(u"update dzbook set readbiji = '第二版', place = 'other' where ID = 1"_s);
        RecordSet list(f.db());
        list.setSql(u"select * from dzbook"_s);
        list.open();
        Tfmreadbook details(list);
        details.show();
        bool opened = false;
        onModal<TfmHistory>([&](TfmHistory* history) {
            opened = true;
            const QString shown = history->findChild<QPlainTextEdit*>(u"MemoHistory"_s)->toPlainText();
            QVERIFY(shown.contains(u"读书笔记第一版"_s));
            QVERIFY(shown.contains(u"文档密码"_s));
            QVERIFY(!shown.contains(u"secret"_s) && !shown.contains(u"other"_s));
            click(history, u"BtnHistoryRestore"_s);
        });
        click(&details, u"BtnHistory"_s);
        QVERIFY(opened);
        QCOMPARE(details.findChild<QPlainTextEdit*>(u"DBMemo1"_s)->toPlainText(), u"读书笔记第一版"_s);
        QCOMPARE(f.count(u"select place from dzbook"_s), u"secret"_s);
    }
};

QTEST_MAIN(TestBinWindows)

#include "test_binwindows.moc"
