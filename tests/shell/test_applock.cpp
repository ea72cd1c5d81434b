// The window locked when nobody uses it or the desktop locks its screen, and the
// settings window that sets the minutes and the automatic backup.

#include "widgets/GuiFixture.h"

#include "ebooks/TestPdf.h"

#include "backup/AutoBackup.h"
#include "backup/AutoBackupRunner.h"
#include "data/Options.h"
#include "ebooks/EbookPage.h"
#include "ebooks/EbookStore.h"
#include "ebooks/PdfViewer.h"
#include "platform/ScreenLockSignal.h"
#include "shell/AppLock.h"
#include "shell/IdleWatch.h"
#include "shell/Unittest.h"
#include "shell/ulock.h"
#include "shell/usettings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 minute = 60 * 1000;

struct WindowFixture : GuiFixture
{
    WindowFixture()
    {
        QDir().mkpath(AppPaths::path(u"corvina"_s));
        window.resize(1000, 700);
        window.show();
        [&] { QVERIFY(QTest::qWaitForWindowExposed(&window)); }();
        Prompt::takeShown();
        lock().idleWatch().setClock([this] { return now; });
    }
    AppLock& lock() { return *window.appLock(); }
    EbookPage* page() { return window.ebookPage(); }
    // Reads a five-page book and turns to its third page.
    void readBook()
    {
        EbookStore store(AppPaths::path(u"corvina"_s));
        const QString source = dir.filePath(u"src.pdf"_s);
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(makePdf(5));
        file.close();
        const QString stored = store.newStoredName();
        store.store(source, stored);
        RecordSet& list = page()->list();
        list.append();
        list.setText(u"name"_s, u"长.pdf"_s);
        list.setText(u"filename"_s, stored);
        list.post();
        window.dxNavBar1Item7Click();
        page()->Button4Click();
        // The PDF worker checks the book first.
        QTRY_VERIFY_WITH_TIMEOUT(page()->viewer()->hasDocument(), 60000);
        page()->viewer()->goToPage(2);
    }
    QList<QWidget*> covers(QWidget* window)
    {
        QList<QWidget*> found;
        for (QWidget* cover : window->findChildren<QWidget*>(u"LockCover"_s, Qt::FindDirectChildrenOnly))
            if (cover->isVisible())
                found << cover;
        return found;
    }
    void typePassword(const QString& password)
    {
        TFmlock* prompt = lock().prompt();
        QVERIFY(prompt);
        auto* edit = prompt->findChild<QLineEdit*>(u"Edit2"_s);
        typeText(edit, password);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    qint64 now = 0;
    TFormtest window;
};

} // namespace

class TestAppLock : public QObject
{
    Q_OBJECT
private slots:
    // Idle with a test clock: use puts it off; locked, the book is closed and the window
    // covered; a wrong password is refused, the right one brings the book back at its page.
    void idleLockAndPassword()
    {
        WindowFixture f;
        f.readBook();
        // A drag copy no drop has taken away yet.
        const QString dragged = f.page()->dragCopies().make(
            f.page()->store().path(f.page()->list().asText(u"filename"_s)), u"长"_s);
        QVERIFY(QFileInfo::exists(dragged));
        f.page()->viewer()->setOutline({ { u"第一章"_s, 0, 0 } });
        f.lock().setIdleMinutes(15);
        f.now += 14 * minute;
        f.lock().idleWatch().check();
        QVERIFY(!f.lock().isLocked());
        QTest::keyClick(&f.window, Qt::Key_Shift); // someone is there
        f.now += 14 * minute;
        f.lock().idleWatch().check();
        QVERIFY(!f.lock().isLocked());
        f.now += 1 * minute;
        f.lock().idleWatch().check();
        QVERIFY(f.lock().isLocked());

        QVERIFY(!f.page()->viewer()->hasDocument());
        QCOMPARE(f.page()->viewer()->outlineCount(), 0); // nor its chapters' names
        QVERIFY(!QFileInfo::exists(dragged)); // no decrypted copy stays behind the lock
        QCOMPARE(f.covers(&f.window).size(), 1);
        QCOMPARE(f.covers(&f.window).first()->geometry(), f.window.rect());
        TFmlock* prompt = f.lock().prompt();
        QVERIFY(prompt && prompt->isVisible());
        QCOMPARE(QApplication::activeModalWidget(), prompt);
        QCOMPARE(prompt->findChild<QLineEdit*>(u"Edit1"_s)->text(), u"admin"_s);

        // Escape and closing do not get round it.
        QTest::keyClick(prompt, Qt::Key_Escape);
        prompt->close();
        QVERIFY(prompt->isVisible() && f.lock().isLocked());

        f.typePassword(u"Admin1"_s);
        QCOMPARE(Prompt::lastShown().text, u"密码错误"_s);
        QCOMPARE(Prompt::lastShown().caption, u"提示"_s);
        QVERIFY(f.lock().isLocked());
        QVERIFY(prompt->findChild<QLineEdit*>(u"Edit2"_s)->text().isEmpty());
        QVERIFY(!f.page()->viewer()->hasDocument());

        f.typePassword(u" admin "_s);
        QVERIFY(!f.lock().isLocked());
        QVERIFY(f.covers(&f.window).isEmpty());
        QTRY_VERIFY(!prompt || !prompt->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(f.page()->viewer()->hasDocument(), 60000);
        QCOMPARE(f.page()->viewer()->currentPage(), 2);
        QCOMPARE(f.window.findChild<QTabWidget*>(u"PageControl2"_s)->currentWidget()->objectName(), u"TabSheet5"_s);

        // 0 minutes: never.
        f.lock().setIdleMinutes(0);
        f.now += 600 * minute;
        f.lock().idleWatch().check();
        QVERIFY(!f.lock().isLocked());
    }

    // The desktop locks its screen while a dialog is open over the window: the dialog is
    // covered and cannot be used, the prompt is above it; unlocked, the dialog is as it was.
    void screenLockWithDialogOpen()
    {
        WindowFixture f;
        f.lock().screenSignal().screenSaverActiveChanged(false);
        QVERIFY(!f.lock().isLocked());
        bool checked = false;
        QTimer::singleShot(0, [&] {
            auto* settings = qobject_cast<TfmSettings*>(QApplication::activeModalWidget());
            QVERIFY(settings);
            auto closeAnyway = qScopeGuard([&] { settings->reject(); });
            settings->findChild<QLineEdit*>(u"EditLockMinutes"_s)->setText(u"7"_s);
            f.lock().screenSignal().screenSaverActiveChanged(true);
            QVERIFY(f.lock().isLocked());
            QCOMPARE(f.covers(settings).size(), 1);
            QCOMPARE(f.covers(&f.window).size(), 1);
            QCOMPARE(QApplication::activeModalWidget(), f.lock().prompt());
            // A second signal while locked changes nothing.
            f.lock().screenSignal().sessionLock();
            QCOMPARE(f.covers(settings).size(), 1);
            f.typePassword(u"admin"_s);
            QVERIFY(!f.lock().isLocked());
            QVERIFY(f.covers(settings).isEmpty() && settings->isVisible());
            QCOMPARE(settings->findChild<QLineEdit*>(u"EditLockMinutes"_s)->text(), u"7"_s);
            checked = true;
        });
        f.window.dxNavBar1Item18Click();
        QVERIFY(checked);
    }

    void realScreenSaverSignal()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus here");
        WindowFixture f;
        QVERIFY(f.lock().screenSignal().isListening());
        QDBusMessage signal = QDBusMessage::createSignal(
            u"/org/freedesktop/ScreenSaver"_s, u"org.freedesktop.ScreenSaver"_s, u"ActiveChanged"_s);
        signal << true;
        QVERIFY(QDBusConnection::sessionBus().send(signal));
        QTRY_VERIFY(f.lock().isLocked());
        f.typePassword(u"admin"_s);
        QVERIFY(!f.lock().isLocked());
    }

    // The account logged in is asked for; one a restored library lacks gives way to its
    // first account rather than locking the family out.
    void accountAskedFor()
    {
        WindowFixture f;
        const auto account = [&] { return f.lock().prompt()->findChild<QLineEdit*>(u"Edit1"_s)->text(); };
        f.window.setAccount(u"妈妈"_s);
        f.lock().lock();
        QCOMPARE(account(), u"admin"_s);
        f.typePassword(u"admin"_s);
        QVERIFY(!f.lock().isLocked());

        f.db().execute(u"insert into userb (users, password) values ('妈妈', 'm1')"_s);
        f.lock().lock();
        QCOMPARE(account(), u"妈妈"_s);
        f.typePassword(u"admin"_s);
        QVERIFY(f.lock().isLocked());
        f.typePassword(u"m1"_s);
        QVERIFY(!f.lock().isLocked());
    }

    void sessionPaths()
    {
        QCOMPARE(ScreenLockSignal::sessionPath(u"2"_s), u"/org/freedesktop/login1/session/_32"_s);
        QCOMPARE(ScreenLockSignal::sessionPath(u"c12"_s), u"/org/freedesktop/login1/session/c12"_s);
        QCOMPARE(ScreenLockSignal::sessionPath(u"a-b"_s), u"/org/freedesktop/login1/session/a_2db"_s);
    }

    void settingsWindow()
    {
        GuiFixture f;
        TfmSettings settings(f.db());
        settings.show();
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        auto edit = [&](const char* name) { return settings.findChild<QLineEdit*>(QLatin1String(name)); };
        QCOMPARE(edit("EditBackupFolder")->text(), QString());
        QVERIFY(settings.findChild<QLabel*>(u"LabelSameDisk"_s)->text().isEmpty());
        QCOMPARE(edit("EditBackupDays")->text(), u"7"_s);
        QCOMPARE(edit("EditBackupKeep")->text(), u"5"_s);
        QCOMPARE(edit("EditLockMinutes")->text(), u"15"_s);
        QCOMPARE(edit("EditTrashDays")->text(), u"30"_s);
        QVERIFY(settings.width() <= 1366 && settings.height() <= 700);

        // Bad values: named, the box focused, nothing kept.
        Prompt::takeShown();
        settings.BtnOKClick();
        QCOMPARE(Prompt::lastShown().text, u"请选择备份文件夹，或把“备份间隔”设为 0（不自动备份）。"_s);
        edit("EditBackupDays")->setText(u"七"_s);
        settings.BtnOKClick();
        QCOMPARE(Prompt::lastShown().text, u"“备份间隔”应填 0 到 365 之间的整数（天数，0 表示不自动备份）。"_s);
        QCOMPARE(QApplication::focusWidget(), edit("EditBackupDays"));
        edit("EditBackupDays")->setText(u"3"_s);
        edit("EditBackupKeep")->setText(u"0"_s);
        settings.BtnOKClick();
        QCOMPARE(Prompt::lastShown().text, u"“保留份数”应填 1 到 30 之间的整数。"_s);
        edit("EditBackupKeep")->setText(u"4"_s);
        edit("EditBackupFolder")->setText(AppPaths::path(u"data"_s));
        settings.BtnOKClick();
        QVERIFY(Prompt::lastShown().text.startsWith(u"备份文件夹不能在书库自己的数据文件夹里"_s));
        QVERIFY(settings.isVisible());
        QCOMPARE(Options::load(f.db()).backupDays, 7);

        // Chosen through the folder dialog; on the library's disk, so the warning shows.
        QTemporaryDir usb;
        Prompt::enqueueFileNames({ usb.path() });
        QTest::mouseClick(settings.findChild<QPushButton*>(u"BtnBackupFolder"_s), Qt::LeftButton);
        QCOMPARE(edit("EditBackupFolder")->text(), QDir::toNativeSeparators(usb.path()));
        QVERIFY(settings.findChild<QLabel*>(u"LabelSameDisk"_s)->text().startsWith(u"注意：这个文件夹与书库在同一块磁盘上"_s));
        edit("EditLockMinutes")->setText(u"0"_s);
        edit("EditTrashDays")->setText(u"60"_s);
        edit("EditTrashDays")->setFocus();
        QTest::keyClick(edit("EditTrashDays"), Qt::Key_Return); // Enter is 确定
        QVERIFY(!settings.isVisible());
        QCOMPARE(settings.result(), int(QDialog::Accepted));
        const Options kept = Options::load(f.db());
        QCOMPARE(kept.backupFolder, usb.path());
        QCOMPARE(kept.backupDays, 3);
        QCOMPARE(kept.backupKeep, 4);
        QCOMPARE(kept.lockMinutes, 0);
        QCOMPARE(kept.trashDays, 60);

        // A folder not there now is kept only after a question; Escape leaves everything.
        TfmSettings again(f.db());
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        again.findChild<QLineEdit*>(u"EditBackupFolder"_s)->setText(usb.path() + u"/unplugged"_s);
        Prompt::enqueueAnswer(QMessageBox::Cancel);
        again.BtnOKClick();
        QVERIFY(Prompt::lastShown().text.startsWith(u"现在找不到文件夹"_s));
        QVERIFY(again.isVisible());
        QTest::keyClick(&again, Qt::Key_Escape);
        QVERIFY(!again.isVisible());
        QCOMPARE(Options::load(f.db()).backupFolder, usb.path());
    }

    // Due at start: the main window runs it without being asked and says how it went.
    void backupAtStart()
    {
        GuiFixture f;
        QTemporaryDir usb;
        Options options;
        options.backupFolder = usb.path() + u"/missing"_s;
        options.save(f.db());
        {
            TFormtest window;
            window.show();
            auto* status = window.findChild<QLabel*>(u"StatusBar1Backup"_s);
            QTRY_COMPARE(status->text(),
                u"自动备份未完成：找不到备份文件夹 "_s + QDir::toNativeSeparators(usb.path() + u"/missing"_s));
            QVERIFY(status->isVisible());
            // Not again in the same run, even when the window shows its data anew.
            window.FormShow();
            QVERIFY(!window.autoBackup()->isRunning());
        }
        options.backupFolder = usb.path();
        options.save(f.db());
        TFormtest window;
        window.show();
        auto* status = window.findChild<QLabel*>(u"StatusBar1Backup"_s);
        QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith(u"自动备份完成"_s), 30000);
        const QStringList made = QDir(usb.path()).entryList(QDir::Files);
        QCOMPARE(made.size(), 1);
        QVERIFY(!AutoBackup::stampInName(made.first()).isEmpty());
    }
};

QTEST_MAIN(TestAppLock)
#include "test_applock.moc"
