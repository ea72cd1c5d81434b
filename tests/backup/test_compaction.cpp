#include "data/test_recordset_fixture.h"

#include "backup/Compaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <csignal>

#include <sqlite3.h>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// The books and their pictures, as the file holds them.
QString contents(Connection& db)
{
    return db.scalar(u"select count(*) || ':' || group_concat(name || hex(facepic)) from "
                     "(select * from baseshu order by id)"_s);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A library of 40 books with 64 KB covers, 30 of them deleted again.
struct CompactFixture : LibraryFixture
{
    CompactFixture()
    {
        db().execute(
            u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 40) "
            "insert into baseshu (name, \"格式\", facepic) select '书' || i, 'jpg', randomblob(65536) from n"_s);
        db().execute(u"delete from baseshu where id % 4 <> 0"_s);
        kept = contents(db());
        db().close();
    }
    QString library() { return db().databasePath(); }
    bool compact(QString* reason = nullptr)
    {
        return Compaction::RunCompaction(library(), Compaction::databasePassword(), reason);
    }
    QString kept;
};

} // namespace

class TestCompaction : public QObject
{
    Q_OBJECT
private slots:
    void shrinksAndKeepsEveryRow_data()
    {
        QTest::addColumn<bool>("linked");
        QTest::newRow("plain") << false;
        // Reached through a symbolic link, on another file system than the scratch file.
        QTest::newRow("linked elsewhere") << true;
    }

    void shrinksAndKeepsEveryRow()
    {
        QFETCH(bool, linked);
        CompactFixture f;
        QTemporaryDir elsewhere(u"/dev/shm/qinghe-XXXXXX"_s);
        const QString real = linked ? elsewhere.filePath(u"real.mdb"_s) : f.library();
        if (linked) {
            struct stat a
            {
            }, b {};
            if (!elsewhere.isValid() || stat(QFile::encodeName(elsewhere.path()).constData(), &a) != 0
                || stat(QFile::encodeName(f.dir.path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
                QSKIP("no second file system");
            QVERIFY(QFile::copy(f.library(), real) && QFile::remove(f.library()) && QFile::link(real, f.library()));
        }
        QCOMPARE(Compaction::databasePassword(), f.db().password());
        // A record set that is mid-edit keeps its rows and its edit, and posts into the compacted file.
        RecordSet open(f.db());
        open.setSql(u"select * from baseshu"_s);
        open.open();
        open.setText(u"name"_s, u"压缩时改的"_s);
        f.db().close();
        QFile::copy(real, Compaction::scratchPath()); // left by an earlier run
        const qint64 before = QFileInfo(real).size();

        QString reason;
        QVERIFY2(f.compact(&reason), qPrintable(reason));
        QVERIFY(QFileInfo(real).size() < before / 2);
        QVERIFY(!QFile::exists(Compaction::scratchPath()));
        if (linked) {
            QCOMPARE(QFileInfo(f.library()).symLinkTarget(), real);
            QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files), QStringList { u"real.mdb"_s });
        }
        QCOMPARE(contents(f.db()), f.kept);
        open.post();
        QCOMPARE(f.count(u"select count(*) from baseshu where name = '压缩时改的'"_s), u"1"_s);
        QCOMPARE(f.count(u"pragma integrity_check"_s), u"ok"_s);
    }

    // A library large enough for the disk writes to be started while the engine
    // writes: every row kept, and the replaced file let go of soon after (no
    // descriptor of this process stays on a deleted file).
    void largeLibraryKeepsRowsAndLetsGoOfTheOldFile()
    {
        CompactFixture f;
        f.db().execute(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 200) "
                       "insert into baseshu (name, facepic) select '大书' || i, randomblob(131072) from n"_s);
        f.db().execute(u"delete from baseshu where id % 3 = 0"_s);
        const QString kept = contents(f.db());
        f.db().close();
        const auto deletedOpen = [] {
            int count = 0;
            for (const QFileInfo& fd : QDir(u"/proc/self/fd"_s).entryInfoList(QDir::System | QDir::Files))
                count += fd.symLinkTarget().endsWith(u" (deleted)"_s) ? 1 : 0;
            return count;
        };
        if (!QFileInfo::exists(u"/proc/self/fd"_s))
            QSKIP("no /proc here");
        const int before = deletedOpen();
        QString reason;
        QVERIFY2(f.compact(&reason), qPrintable(reason));
        QTRY_COMPARE_WITH_TIMEOUT(deletedOpen(), before, 5000);
        QCOMPARE(contents(f.db()), kept);
        QCOMPARE(f.count(u"pragma integrity_check"_s), u"ok"_s);
    }

    void failureLeavesTheLibraryAlone_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("scratch unwritable") << u"scratch"_s << u"无法删除旧的临时文件"_s;
        QTest::newRow("disk full") << u"full"_s << u"disk"_s;
        QTest::newRow("library missing") << u"missing"_s << u"无法打开数据库文件"_s;
    }

    void failureLeavesTheLibraryAlone()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        CompactFixture f;
        const QByteArray before = fileBytes(f.library());
        if (fault == u"scratch"_s) {
            QDir().mkpath(Compaction::scratchPath() + u"/busy"_s); // a folder where the scratch file goes
        } else if (fault == u"missing"_s) {
            QFile::rename(f.library(), f.library() + u".away"_s);
        }
        rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        if (fault == u"full"_s) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit small { 256 * 1024, old.rlim_max };
            setrlimit(RLIMIT_FSIZE, &small);
        }
        QString why;
        const bool done = f.compact(&why);
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!done);
        QVERIFY2(why.contains(reason, Qt::CaseInsensitive), qPrintable(why));
        if (fault == u"missing"_s) {
            QVERIFY(!QFile::exists(f.library())); // never an empty library in its place
            QVERIFY_THROWS_EXCEPTION(EDatabaseError, f.db().open());
            QVERIFY(!QFile::exists(f.library()));
            QFile::rename(f.library() + u".away"_s, f.library());
        } else {
            QVERIFY(!QFileInfo(Compaction::scratchPath()).isFile());
        }
        QCOMPARE(fileBytes(f.library()), before);
    }

    // A compaction killed at any moment leaves a library that opens with every row.
    void killedCompactionLosesNothing()
    {
        CompactFixture f;
        for (int round = 0; round < 6; ++round) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), { u"--compact-forever"_s, f.dir.path() });
            QVERIFY(child.waitForReadyRead(30000)); // compacting now
            QTest::qSleep(QRandomGenerator::global()->bounded(5, 120));
            child.kill();
            QVERIFY(child.waitForFinished(30000));
            QCOMPARE(contents(f.db()), f.kept);
            QCOMPARE(f.count(u"pragma integrity_check"_s), u"ok"_s);
            f.db().close();
        }
    }

    // A library a database tool has edited may lack the program's own table qinghe_meta.
    void libraryWithoutItsOwnTableCompacts()
    {
        CompactFixture f;
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(f.library()).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "drop table qinghe_meta", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        QString why;
        QVERIFY2(f.compact(&why), qPrintable(why));
        QCOMPARE(contents(f.db()), f.kept);
        QCOMPARE(f.count(u"select value from qinghe_meta where name = 'password'"_s), Compaction::databasePassword());
    }

    // An empty file or another program's database in the library's place is refused
    // before a single byte of it changes.
    void foreignFilesAreNeverWritten_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("another program's database")
            << QByteArray("create table notes (text); insert into notes values ('x')");
    }

    void foreignFilesAreNeverWritten()
    {
        QFETCH(QByteArray, sql);
        CompactFixture f;
        QVERIFY(QFile::remove(f.library()));
        if (!sql.isEmpty()) {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(f.library()).constData(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        } else {
            QFile empty(f.library());
            QVERIFY(empty.open(QIODevice::WriteOnly));
        }
        const QByteArray before = fileBytes(f.library());
        try {
            f.db().open();
            QFAIL("a foreign file was opened as the library");
        } catch (const EDatabaseError& error) {
            QVERIFY2(QString::fromUtf8(error.what()).contains(u"不是青禾书屋的书库"_s), error.what());
        }
        QString why;
        QVERIFY(!f.compact(&why));
        QVERIFY2(why.contains(u"不是青禾书屋的书库"_s), qPrintable(why));
        QCOMPARE(fileBytes(f.library()), before);
        QVERIFY(!QFileInfo::exists(Compaction::scratchPath()));
    }
};

// The child of killedCompactionLosesNothing: compacts until it is killed.
static int compactForever(const QByteArray& home)
{
    qputenv("QINGHE_HOME", home);
    TDataModule2 module;
    const QString path = module.Adocon.databasePath();
    std::fputs("compacting\n", stdout);
    std::fflush(stdout);
    for (;;) {
        if (!Compaction::RunCompaction(path, Compaction::databasePassword()))
            return 1;
    }
}

int main(int argc, char* argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--compact-forever") == 0)
        return compactForever(argv[2]);
    QCoreApplication app(argc, argv);
    TestCompaction test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_compaction.moc"
