// The automatic backup: due at start, written and checked in the background,
// the oldest of its own backups rotated out only after the new one went through.

#include "data/test_recordset_fixture.h"

#include "backup/AutoBackup.h"
#include "backup/AutoBackupRunner.h"
#include "backup/Restore.h"
#include "data/Options.h"
#include "data/Settings.h"
#include "platform/Disks.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

const QDateTime now(QDate(2026, 12, 10), QTime(9, 30), Qt::UTC);

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

// A library with a book and an e-book whose store file is there, backed up into `folder`.
struct AutoFixture : LibraryFixture
{
    AutoFixture()
    {
        addBook(u"红楼梦"_s, u"还没读"_s);
        QDir().mkpath(dir.path() + u"/corvina"_s);
        db().execute(u"insert into dzbook (name, filename) values ('书', '20261209101010123450')"_s);
        writeFile(dir.path() + u"/corvina/20261209101010123450"_s, QByteArray(300000, 'e'));
        QDir().mkpath(folder());
        Options options;
        options.backupFolder = folder();
        options.backupKeep = 2;
        options.save(db());
        runner.setNow([] { return now; });
    }
    QString folder() const { return dir.path() + u"/usb"_s; }
    QString setting(const char* key) { return Settings::value(db(), QString::fromLatin1(key)); }
    // Runs the backup to its end; false when it was not due.
    bool runOnce()
    {
        QSignalSpy ended(&runner, &AutoBackupRunner::ended);
        if (!runner.startIfDue())
            return false;
        [&] { QVERIFY(ended.wait(60000)); }();
        return true;
    }
    AutoBackupRunner runner { db() };
};

} // namespace

class TestAutoBackup : public QObject
{
    Q_OBJECT
private slots:
    void dueness_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("days");
        QTest::addColumn<QDateTime>("last");
        QTest::addColumn<bool>("due");
        QTest::newRow("never made") << u"/x"_s << 7 << QDateTime() << true;
        QTest::newRow("no folder") << u" "_s << 7 << QDateTime() << false;
        QTest::newRow("interval 0 is off") << u"/x"_s << 0 << QDateTime() << false;
        QTest::newRow("6 days ago") << u"/x"_s << 7 << now.addDays(-6) << false;
        QTest::newRow("7 days ago") << u"/x"_s << 7 << now.addDays(-7) << true;
        QTest::newRow("clock was ahead") << u"/x"_s << 7 << now.addDays(30) << true;
    }
    void dueness()
    {
        QFETCH(QString, folder);
        QFETCH(int, days);
        QFETCH(QDateTime, last);
        QFETCH(bool, due);
        QCOMPARE(AutoBackup::isDue(folder, days, last, now), due);
    }

    void namesOfItsOwn()
    {
        QCOMPARE(AutoBackup::fileName(u"20261210-093000"_s), u"青禾书屋自动备份-20261210-093000.qhbak"_s);
        QCOMPARE(AutoBackup::stampInName(u"青禾书屋自动备份-20261210-093000-2.qhbak"_s), u"20261210-093000-2"_s);
        for (const QString& other : { u"青禾书屋备份-20261210.qhbak"_s, u"青禾书屋自动备份-20261210-093000.qhbak.bak"_s,
                 u".青禾书屋自动备份-20261210-093000.qhbak.77.part"_s, u"青禾书屋自动备份-2026121-093000.qhbak"_s })
            QVERIFY2(AutoBackup::stampInName(other).isEmpty(), qPrintable(other));
    }

    void optionsOutOfRangeReadAsDefaults()
    {
        LibraryFixture f;
        QCOMPARE(Options::load(f.db()).backupDays, 7);
        Settings::setValue(f.db(), u"autoBackup.keep"_s, u"0"_s);
        Settings::setValue(f.db(), u"lock.idleMinutes"_s, u"十"_s);
        Settings::setValue(f.db(), u"trash.days"_s, u"45"_s);
        const Options options = Options::load(f.db());
        QCOMPARE(options.backupKeep, 5);
        QCOMPARE(options.lockMinutes, 15);
        QCOMPARE(options.trashDays, 45);
    }

    // Two older backups of its own and two files of the user's: the oldest own one goes, after
    // the new one was checked; the user's stay, even one named like an automatic backup.
    void dueBackupRunsAndRotates()
    {
        AutoFixture f;
        const QString older = u"20261120-093000"_s, old = u"20261201-093000"_s;
        for (const QString& stamp : { older, old })
            writeFile(f.folder() + u'/' + AutoBackup::fileName(stamp), "earlier backup");
        writeFile(f.folder() + u"/青禾书屋自动备份-20261001-093000.qhbak"_s, "the user's copy");
        writeFile(f.folder() + u"/notes.txt"_s, "the user's");
        writeFile(f.folder() + u"/.青禾书屋自动备份-20261101-093000.qhbak.999999999.part"_s, "killed run");
        Settings::setValue(f.db(), u"autoBackup.made"_s, older + u' ' + old);
        Settings::setValue(f.db(), u"autoBackup.last"_s, now.addDays(-8).toString(Qt::ISODate));

        QSignalSpy status(&f.runner, &AutoBackupRunner::statusChanged);
        QVERIFY(f.runOnce());
        const QString made = AutoBackup::fileName(AutoBackup::stampOf(now));
        QCOMPARE(f.runner.statusText(), u"自动备份完成："_s + QDir::toNativeSeparators(f.folder() + u'/' + made));
        QVERIFY(status.size() >= 2); // "正在自动备份……" first
        QStringList left { u"notes.txt"_s, AutoBackup::fileName(old), u"青禾书屋自动备份-20261001-093000.qhbak"_s, made };
        left.sort();
        QCOMPARE(filesIn(f.folder()), left);
        QCOMPARE(f.setting(AutoBackup::madeKey), old + u' ' + AutoBackup::stampOf(now));
        QCOMPARE(QDateTime::fromString(f.setting(AutoBackup::lastKey), Qt::ISODate), now);
        QCOMPARE(QFile(f.folder() + u'/' + made).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

        // What was written restores: the book and the e-book's store file.
        Restore restore(f.db());
        QVERIFY(restore.verify(f.folder() + u'/' + made));
        QCOMPARE(restore.summary().booksInBackup, 1);
        QCOMPARE(restore.summary().ebooksNotInBackup, 0);

        // Not due again the same day.
        QVERIFY(!f.runOnce());
    }

    void missingFolderIsReportedAndNothingRemoved()
    {
        AutoFixture f;
        writeFile(f.folder() + u'/' + AutoBackup::fileName(u"20261120-093000"_s), "earlier");
        Settings::setValue(f.db(), u"autoBackup.made"_s, u"20261120-093000 20261121-093000 20261122-093000"_s);
        Options options = Options::load(f.db());
        options.backupFolder = f.dir.path() + u"/unplugged"_s;
        options.save(f.db());

        QVERIFY(f.runOnce());
        QCOMPARE(f.runner.statusText(),
            u"自动备份未完成：找不到备份文件夹 "_s + QDir::toNativeSeparators(f.dir.path() + u"/unplugged"_s));
        QVERIFY(!QFileInfo::exists(f.dir.path() + u"/unplugged"_s));
        QCOMPARE(filesIn(f.folder()).size(), 1);
        QCOMPARE(f.setting(AutoBackup::madeKey), u"20261120-093000 20261121-093000 20261122-093000"_s);
        QVERIFY(f.setting(AutoBackup::lastKey).isEmpty());
        // Tried again at the next start, and then it goes through.
        QDir().mkpath(f.dir.path() + u"/unplugged"_s);
        QVERIFY(f.runOnce());
        QVERIFY(f.runner.statusText().startsWith(u"自动备份完成："_s));
    }

    // A file damaged between writing and checking: it is not kept, and no older one goes.
    void failedCheckRemovesNothing()
    {
        AutoFixture f;
        const QStringList stamps { u"20261120-093000"_s, u"20261121-093000"_s };
        for (const QString& stamp : stamps)
            writeFile(f.folder() + u'/' + AutoBackup::fileName(stamp), "earlier");
        Settings::setValue(f.db(), u"autoBackup.made"_s, stamps.join(u' '));
        QString checked;
        f.runner.setAfterWrite([&checked](const QString& path) {
            checked = path;
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QByteArray bytes = file.readAll();
            const qsizetype at = bytes.indexOf(QByteArray(1000, 'e'));
            QVERIFY(at > 0);
            bytes[at + 500] = 'X'; // one byte of the e-book's store file
            file.seek(0);
            file.write(bytes);
        });
        QVERIFY(f.runOnce());
        QVERIFY2(f.runner.statusText().startsWith(u"自动备份未完成：备份文件没有通过校验"_s), qPrintable(f.runner.statusText()));
        QVERIFY(!checked.isEmpty());
        QVERIFY(AutoBackup::stampInName(QFileInfo(checked).fileName()).isEmpty()); // never under a backup's name
        QCOMPARE(filesIn(f.folder()), QStringList({ AutoBackup::fileName(stamps[0]), AutoBackup::fileName(stamps[1]) }));
        QCOMPARE(readFile(f.folder() + u'/' + AutoBackup::fileName(stamps[0])), QByteArray("earlier"));
        QCOMPARE(f.setting(AutoBackup::madeKey), stamps.join(u' '));
        QVERIFY(f.setting(AutoBackup::lastKey).isEmpty());
        QVERIFY(!QFileInfo::exists(f.dir.path() + u"/restore-staging"_s));
    }

    void sameDisk()
    {
        QTemporaryDir dir;
        QVERIFY(Disks::sameDisk(dir.path(), dir.path() + u"/not/yet/made"_s));
        QVERIFY(!Disks::sameDisk(dir.path(), QString()));
        if (QFileInfo(u"/proc/self"_s).exists())
            QVERIFY(!Disks::sameDisk(dir.path(), u"/proc/self"_s));
    }
};

QTEST_GUILESS_MAIN(TestAutoBackup)
#include "test_autobackup.moc"
