#include "GuiFixture.h"

#include "../ebooks/TestPdf.h"

#include "catalogue/manig.h"
#include "ebooks/EbookPage.h"
#include "ebooks/PdfViewer.h"
#include "shell/ErrorHandler.h"
#include "shell/NavBar.h"
#include "shell/Unittest.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

struct Library : GuiFixture
{
    Library()
    {
        db().execute(u"delete from tblei"_s);
        book(u"甲"_s, u"小说"_s);
        book(u"乙"_s, u"诗歌"_s);
        book(u"丙"_s, u"诗歌"_s);
        addEbook(u"旧书"_s, u"2026120910000011111"_s);
    }
    void book(const QString& name, const QString& leib) { addBook(name, u"还没读"_s, category(leib)); }
    void addEbook(const QString& name, const QString& stored)
    {
        QDir().mkpath(dir.filePath(u"corvina"_s));
        QFile file(dir.filePath(u"corvina/"_s + stored));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(70000, 'e'));
        db().execute(u"insert into dzbook (name, filename) values ('%1', '%2')"_s.arg(name, stored));
    }
    // The bytes of the library file and the store.
    QByteArray disk()
    {
        QCryptographicHash sum(QCryptographicHash::Sha256);
        QStringList paths { dir.filePath(u"data/AccessMng.mdb"_s) };
        for (QDirIterator it(dir.filePath(u"corvina"_s), QDir::Files); it.hasNext();)
            paths << it.next();
        paths.sort();
        for (const QString& path : paths) {
            QFile file(path);
            sum.addData(path.toUtf8());
            if (file.open(QIODevice::ReadOnly))
                sum.addData(file.readAll());
        }
        return sum.result();
    }
};

struct Window
{
    TFormtest window;
    Window()
    {
        window.resize(1000, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Prompt::takeShown();
    }
    void click(const char* item) { QTest::mouseClick(window.findChild<NavItem*>(QLatin1String(item)), Qt::LeftButton); }
    QStringList shown()
    {
        QStringList texts;
        for (const Prompt::Shown& s : Prompt::takeShown())
            if (!s.text.isEmpty()) // file dialogs are recorded without a text
                texts << s.text;
        return texts;
    }
    QString backup(const QString& path)
    {
        Prompt::enqueueFileNames({ path });
        click("dxNavBar1Item9");
        return shown().join(u'|');
    }
    // Opens the kept catalogue editor, lets `work` act in it, and closes it.
    TForm2* editor(const std::function<void(TForm2*)>& work)
    {
        TForm2* form = nullptr;
        QTimer::singleShot(0, [&] {
            form = qobject_cast<TForm2*>(QApplication::activeModalWidget());
            if (form) {
                work(form);
                form->reject();
            }
        });
        window.dxNavBar1Item12Click();
        return form;
    }
    QStringList links()
    {
        QStringList captions;
        for (NavItem* item : window.findChild<NavGroup*>(u"Group2"_s)->items())
            captions << item->text();
        return captions;
    }
};

} // namespace

class TestBackupWindow : public QObject
{
    Q_OBJECT
private slots:
    void itemsOfTheSettingsGroup();
    void backupDeleteRestore();
    void damagedBackupChangesNothing();
};

void TestBackupWindow::itemsOfTheSettingsGroup()
{
    Library f;
    Window w;
    QStringList captions;
    for (NavItem* item : w.window.findChild<NavGroup*>(u"Group5"_s)->items())
        captions << item->objectName() + u' ' + item->text();
    QCOMPARE(captions,
        (QStringList { u"dxNavBar1Item6 用户管理"_s, u"dxNavBar1Item9 备份数据"_s, u"dxNavBar1Item10 恢复数据"_s }));

    // Dialogs cancelled: nothing shown, above all no compaction (its question would abort here).
    Prompt::enqueueFileNames({});
    w.click("dxNavBar1Item9");
    Prompt::enqueueFileNames({});
    w.click("dxNavBar1Item10");
    QCOMPARE(w.shown(), QStringList());
    QVERIFY(!QFile::exists(f.dir.filePath(u"Temp.mdb"_s)));

    QVERIFY(w.backup(f.dir.filePath(u"corvina/x"_s)).contains(u"corvina"_s));
    QVERIFY(!QFile::exists(f.dir.filePath(u"corvina/x.qhbak"_s)));
}

void TestBackupWindow::backupDeleteRestore()
{
    Library f;
    Window w;
    const QString path = f.dir.filePath(u"家里的书"_s);
    const QString saved = w.backup(path);
    QVERIFY2(saved.contains(u"纸书 3 本，电子书 1 本"_s), qPrintable(saved));
    QVERIFY(QFile::exists(path + u".qhbak"_s));

    // After the backup: books and a category deleted, an e-book imported, one being read,
    // and a pending edit left in the editor.
    f.db().execute(u"delete from baseshu where name <> '甲'"_s);
    f.db().execute(u"delete from tblei where leib = '诗歌'"_s);
    f.addEbook(u"新书"_s, u"2026121010000022222"_s);
    TForm2* editor = w.editor([](TForm2* form) {
        form->master()->edit();
        form->master()->setText(u"name"_s, u"未存的改动"_s);
    });
    QVERIFY(editor && editor->master()->state() == RecordSet::State::Edit);
    QCOMPARE(editor->master()->recordCount(), 1);
    PdfViewer* viewer = w.window.ebookPage()->viewer();
    QVERIFY(viewer->OpenDocumentStream(makePdf(2), {}));
    w.window.FormShow();
    QVERIFY(w.window.statusText(0).endsWith(u"图书总数：  1"_s));

    Prompt::enqueueFileNames({ path + u".qhbak"_s });
    Prompt::enqueueAnswer(QMessageBox::Ok);
    w.click("dxNavBar1Item10");
    const QStringList shown = w.shown();
    QCOMPARE(shown.size(), 2);
    for (const QString& part : { u"现在的书库：纸书 1 本，电子书 2 本"_s, u"备份中的书库：纸书 3 本，电子书 1 本"_s,
             u"备份之后导入的 1 本电子书将随现在的电子书库一起删除。"_s, u"没有保存的修改将被放弃"_s })
        QVERIFY2(shown.at(0).contains(part), qPrintable(shown.at(0)));
    QCOMPARE(shown.at(1), u"恢复完成：纸书 3 本，电子书 1 本。"_s);

    // Every window shows the restored library; the pending edit went nowhere.
    QVERIFY(w.window.statusText(0).endsWith(u"图书总数：  3"_s));
    QCOMPARE(w.links(), (QStringList { u"小说"_s, u"诗歌"_s }));
    QCOMPARE(w.window.ebookPage()->list().recordCount(), 1);
    QVERIFY(!viewer->hasDocument());
    QVERIFY(!QFile::exists(f.dir.filePath(u"corvina/2026121010000022222"_s)));
    QCOMPARE(editor->master()->state(), RecordSet::State::Browse);
    QCOMPARE(editor->master()->recordCount(), 3);
    w.editor([](TForm2* form) {
        form->master()->first();
        form->master()->next();
    });
    QCOMPARE(f.count(u"select group_concat(name, ',') from (select name from baseshu order by id)"_s), u"甲,乙,丙"_s);
    QCOMPARE(editor->findChild<QComboBox*>(u"CBleib"_s)->count(), 2);
}

void TestBackupWindow::damagedBackupChangesNothing()
{
    Library f;
    Window w;
    const QString path = f.dir.filePath(u"b.qhbak"_s);
    w.backup(path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.seek(file.readAll().indexOf(QByteArray(1000, 'e')) + 100); // inside the e-book's entry
    file.write("damaged");
    file.close();
    f.db().execute(u"delete from baseshu"_s);
    const QByteArray before = f.disk();

    Prompt::enqueueFileNames({ path });
    w.click("dxNavBar1Item10");
    const QStringList shown = w.shown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(
        shown.at(0).startsWith(u"这个备份不能恢复，书库没有任何改动：\n备份文件已损坏"_s), qPrintable(shown.at(0)));
    QVERIFY2(shown.at(0).contains(u"“corvina/2026120910000011111”"_s), qPrintable(shown.at(0)));
    QCOMPARE(f.disk(), before);
    QVERIFY(!QFile::exists(f.dir.filePath(u"restore-staging"_s)));
}

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    TestBackupWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_backupwindow.moc"
