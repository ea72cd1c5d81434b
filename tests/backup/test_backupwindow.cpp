#include "widgets/GuiFixture.h"
#include "widgets/LoopGaps.h"
#include "tasks/BackgroundTask.h"

#include "../ebooks/TestPdf.h"

#include "catalogue/manig.h"
#include "ebooks/EbookPage.h"
#include "ebooks/PdfViewer.h"
#include "widgets/ErrorHandler.h"
#include "widgets/NavBar.h"
#include "shell/Unittest.h"

#include <QComboBox>
#include <QPushButton>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// Three books in two categories and an e-book, under a main window; prompts scripted.
struct Library : GuiFixture
{
    TFormtest window;
    Library()
    {
        db().execute(u"delete from tblei"_s);
        for (const auto& [name, leib] :
            { std::pair(u"甲"_s, u"小说"_s), { u"乙"_s, u"诗歌"_s }, { u"丙"_s, u"诗歌"_s } })
            addBook(name, u"还没读"_s, category(leib));
        addEbook(u"2026120910000011111"_s);
        window.show();
        Prompt::takeShown();
    }
    void addEbook(const QString& stored)
    {
        QDir().mkpath(dir.filePath(u"corvina"_s));
        QFile file(dir.filePath(u"corvina/"_s + stored));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(70000, 'e')));
        db().execute(u"insert into dzbook (name, filename) values ('%1', '%1')"_s.arg(stored));
    }
    QStringList click(const char* item, const QString& file = {})
    {
        Prompt::enqueueFileNames(file.isEmpty() ? QStringList() : QStringList { file });
        QTest::mouseClick(window.findChild<NavItem*>(QLatin1String(item)), Qt::LeftButton);
        if (!QTest::qWaitFor([this] { return !window.isBackingUp(); }, 60000)) // written and checked on a thread
            qWarning("the backup task did not end");
        QStringList texts;
        for (const Prompt::Shown& s : Prompt::takeShown())
            if (!s.text.isEmpty()) // file dialogs are recorded without a text
                texts << s.text;
        return texts;
    }
    QByteArray disk() // the library file and the store
    {
        QByteArray bytes;
        for (const QString& path : { u"data/AccessMng.mdb"_s, u"corvina/2026120910000011111"_s }) {
            QFile file(dir.filePath(path));
            bytes += file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }
        return bytes;
    }
};

} // namespace

class TestBackupWindow : public QObject
{
    Q_OBJECT
private slots:
    void itemsOfTheSettingsGroup()
    {
        Library f;
        QStringList captions;
        for (NavItem* item : f.window.findChild<NavGroup*>(u"Group5"_s)->items())
            captions << item->objectName() + u' ' + item->text();
        QCOMPARE(captions,
            (QStringList {
                u"dxNavBar1Item6 用户管理"_s, u"dxNavBar1Item9 备份数据"_s, u"dxNavBar1Item10 恢复数据"_s,
                u"dxNavBar1Item18 设置"_s }));
        // Dialogs cancelled: nothing shown, above all no compaction (its unscripted question would abort).
        QCOMPARE(f.click("dxNavBar1Item9") + f.click("dxNavBar1Item10"), QStringList());
        QVERIFY(f.click("dxNavBar1Item9", f.dir.filePath(u"corvina/x"_s)).value(0).contains(u"“corvina”"_s));
        QVERIFY(!QFile::exists(f.dir.filePath(u"corvina/x.qhbak"_s)));
    }

    void backupDeleteRestore()
    {
        Library f;
        const QString path = f.dir.filePath(u"家里的书%2"_s);
        const QString saved = f.click("dxNavBar1Item9", path).value(0);
        QVERIFY2(saved.contains(path + u".qhbak\n\n纸书 3 本，电子书 1 本，共 "_s), qPrintable(saved));

        // After the backup: books and a category deleted, an e-book imported, one being read,
        // and a pending edit left in the kept editor.
        f.db().execute(u"delete from baseshu where name <> '甲'"_s);
        f.db().execute(u"delete from tblei where leib = '诗歌'"_s);
        f.addEbook(u"2026121010000022222"_s);
        TForm2* editor = nullptr;
        QTimer::singleShot(0, [&] {
            editor = qobject_cast<TForm2*>(QApplication::activeModalWidget());
            editor->master()->edit();
            editor->master()->setText(u"name"_s, u"未存的改动"_s);
            editor->reject();
        });
        f.window.dxNavBar1Item12Click();
        QVERIFY(editor && editor->master()->state() == RecordSet::State::Edit);
        PdfViewer* viewer = f.window.ebookPage()->viewer();
        QVERIFY(viewer->OpenDocumentStream(makePdf(2), {}));

        Prompt::enqueueAnswer(QMessageBox::Ok);
        const QStringList shown = f.click("dxNavBar1Item10", path + u".qhbak"_s);
        QCOMPARE(shown.size(), 2);
        for (const QString& part : { u"现在的书库：纸书 1 本，电子书 2 本"_s, u"备份中的书库：纸书 3 本，电子书 1 本"_s,
                 u"备份之后导入的 1 本电子书将随现在的电子书库一起删除。"_s, u"没有保存的修改将被放弃"_s })
            QVERIFY2(shown.at(0).contains(part), qPrintable(shown.at(0)));
        QCOMPARE(shown.at(1), u"恢复完成：纸书 3 本，电子书 1 本。"_s);

        // Every window shows the restored library; the pending edit went nowhere.
        QVERIFY(f.window.statusText(0).endsWith(u"图书总数：  3"_s));
        QStringList links;
        for (NavItem* item : f.window.findChild<NavGroup*>(u"Group2"_s)->items())
            links << item->text();
        QCOMPARE(links, (QStringList { u"小说"_s, u"诗歌"_s }));
        QCOMPARE(f.window.ebookPage()->list().recordCount(), 1);
        QVERIFY(!viewer->hasDocument());
        QVERIFY(!QFile::exists(f.dir.filePath(u"corvina/2026121010000022222"_s)));
        QCOMPARE(editor->master()->state(), RecordSet::State::Browse);
        QCOMPARE(editor->master()->recordCount(), 3);
        QCOMPARE(editor->findChild<QComboBox*>(u"CBleib"_s)->count(), 2);
        editor->master()->last(); // would post a pending edit
        QCOMPARE(
            f.count(u"select group_concat(name, ',') from (select name from baseshu order by id)"_s), u"甲,乙,丙"_s);
    }

    // A backup of a big store is written on a thread: the window keeps turning. One
    // stopped leaves no file, no temporary file and no snapshot behind; a check
    // stopped changes nothing.
    void backupOnAThreadStopsCleanly()
    {
        Library f;
        f.addEbook(u"2026121010000033333"_s);
        QFile big(f.dir.filePath(u"corvina/2026121010000033333"_s));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(120) << 20));
        big.close();
        const QString path = f.dir.filePath(u"big.qhbak"_s);
        LoopGaps gaps;
        QVERIFY(f.click("dxNavBar1Item9", path).value(0).startsWith(u"备份完成"_s));
        qInfo("backup of a 120 MiB store: longest time without the event loop %lld ms", gaps.longest());
        QVERIFY(gaps.longest() < 300);

        const auto clickAndStop = [&](const char* item, const QString& file) {
            Prompt::enqueueFileNames({ file });
            QTest::mouseClick(f.window.findChild<NavItem*>(QLatin1String(item)), Qt::LeftButton);
            auto* task = f.window.findChild<ThreadTask*>(u"BackupTask"_s);
            QVERIFY(task && task->isRunning());
            task->cancel();
            QTRY_VERIFY(!f.window.isBackingUp());
        };
        const QString stopped = f.dir.filePath(u"stopped.qhbak"_s);
        clickAndStop("dxNavBar1Item9", stopped);
        QCOMPARE(Prompt::takeShown().last().text, u"备份已取消，没有留下备份文件。"_s);
        QCOMPARE(QDir(f.dir.path()).entryList({ u"*stopped*"_s }, QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(QDir(f.dir.filePath(u"data"_s)).entryList({ u"backup-snapshot*"_s }, QDir::Files), QStringList());

        const QByteArray before = f.disk();
        clickAndStop("dxNavBar1Item10", path);
        QCOMPARE(Prompt::takeShown().size(), 1); // the file dialog alone
        QCOMPARE(f.disk(), before);
        QCOMPARE(QDir(f.dir.filePath(u"data"_s)).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
    }

    // The compaction runs on a thread: the window's loop keeps turning, the user's
    // clicks wait, nothing opens the file being replaced, and the library is whole
    // afterwards, compacted or (on a failure) untouched.
    void compactionOnAThread()
    {
        Library f;
        f.db().execute(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 600) "
                       "insert into baseshu (name, facepic) select '大书' || i, randomblob(65536) from n"_s);
        f.db().execute(u"delete from baseshu where id % 3 <> 0"_s);
        const auto contents = [&f] {
            return f.db().scalar(u"select group_concat(id || name || length(facepic), ',') from baseshu"_s);
        };
        const QString kept = contents();
        const QString library = f.db().databasePath();
        const qint64 before = QFileInfo(library).size();
        auto* ebooks = f.window.findChild<RecordSet*>(u"qydzbook"_s);
        QVERIFY(ebooks && ebooks->isOpen());
        NavGroup* settings = f.window.findChild<NavGroup*>(u"Group5"_s);
        QPushButton probe(u"试"_s, &f.window);
        probe.show();
        int clicks = 0;
        connect(&probe, &QPushButton::clicked, this, [&clicks] { ++clicks; });

        // What the window does once at its start (the store's check, the automatic
        // backup's) is over before a user can reach the menu.
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QTest::qWait(300); // the store's check looks for the window every 50 ms
        QCOMPARE(Prompt::takeShown().size(), 0);

        LoopGaps gaps;
        Prompt::enqueueAnswer(QMessageBox::Ok);
        QTest::mouseClick(settings->header(), Qt::LeftButton);
        QVERIFY(f.window.isBackingUp());
        QVERIFY(f.db().isHeld() && !f.db().isOpen());
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, f.db().scalar(u"select 1"_s)); // never the old file
        QVERIFY(!f.db().isOpen());
        // A click meanwhile goes nowhere, before any dialog has come up.
        QTest::mouseClick(&probe, Qt::LeftButton);
        QCOMPARE(clicks, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!f.window.isBackingUp(), 60000);
        qInfo("compaction: longest time without the event loop %lld ms", gaps.longest());
        QVERIFY(gaps.longest() < 300);
        QStringList texts;
        for (const Prompt::Shown& shown : Prompt::takeShown())
            texts << shown.text;
        QCOMPARE(texts, (QStringList { u"要压缩数据库?"_s, u"压库成功"_s }));
        QVERIFY(!f.db().isHeld() && f.db().isOpen() && ebooks->isOpen());
        QCOMPARE(contents(), kept);
        QVERIFY(QFileInfo(library).size() < before / 2);
        QCOMPARE(f.db().scalar(u"pragma integrity_check"_s), u"ok"_s);
        QTest::mouseClick(&probe, Qt::LeftButton);
        QCOMPARE(clicks, 1); // the window answers again

        // A failure (the scratch file's place taken) leaves the library as it was, and usable.
        QDir().mkpath(f.dir.filePath(u"Temp.mdb/busy"_s));
        const QByteArray file = f.disk();
        Prompt::enqueueAnswer(QMessageBox::Ok);
        QTest::mouseClick(settings->header(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!f.window.isBackingUp(), 60000);
        QVERIFY(Prompt::takeShown().last().text.startsWith(u"压缩失败：无法删除旧的临时文件"_s));
        QVERIFY(!f.db().isHeld() && f.db().isOpen() && ebooks->isOpen());
        QCOMPARE(contents(), kept);
        f.db().close();
        QCOMPARE(f.disk(), file);
    }

    void damagedBackupChangesNothing()
    {
        Library f;
        const QString path = f.dir.filePath(u"b.qhbak"_s);
        f.click("dxNavBar1Item9", path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(file.readAll().indexOf(QByteArray(1000, 'e')) + 100); // inside the e-book's entry
        file.write("damaged");
        file.close();
        f.db().execute(u"delete from baseshu"_s);
        const QByteArray before = f.disk();

        const QStringList shown = f.click("dxNavBar1Item10", path);
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.at(0).startsWith(
                     u"这个备份不能恢复，书库没有任何改动：\n备份文件已损坏: 条目“corvina/2026120910000011111”"_s),
            qPrintable(shown.at(0)));
        QCOMPARE(f.disk(), before);
    }
};

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    TestBackupWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_backupwindow.moc"
