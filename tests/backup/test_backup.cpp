#include "data/test_recordset_fixture.h"

#include "backup/Backup.h"
#include "backup/Restore.h"
#include "data/Schema.h"
#include "data/Trash.h"
#include "ebooks/EbookStore.h"
#include "ebooks/RecycleBin.h"
#include "ebooks/LastPage.h"
#include "format/BackupFormat.h"
#include "pictures/ThumbnailCache.h"
#include "text/PinyinIndex.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>

#include <archive.h>
#include <archive_entry.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Every row of the two book tables and every store file, as one text: equal texts, equal libraries.
QByteArray signature(Connection& db, const QString& home)
{
    QByteArray out;
    for (const char* sql : { "select * from baseshu order by id", "select * from dzbook order by id" }) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db.handle(), sql, -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                out += QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, i)), sqlite3_column_bytes(stmt, i))
                           .toHex()
                    + ',';
        sqlite3_finalize(stmt);
    }
    QStringList files = QDir(home + u"/corvina"_s).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : files) {
        QFile file(home + u"/corvina/"_s + name);
        file.open(QIODevice::ReadOnly);
        out += name.toUtf8() + ':' + QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
    }
    return out;
}

// The bytes on the disk: the library file and the store, for "nothing changed".
QByteArray diskState(const QString& home)
{
    QCryptographicHash sum(QCryptographicHash::Sha256);
    QDirIterator it(home, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    QStringList paths;
    while (it.hasNext())
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

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(size).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// A library with awkward content: quotes, commas, line breaks, empty and missing values,
// pictures, an empty e-book, a name too long for plain tar, a ".part" file, a stray file
// and a row whose file is gone.
// The store names of fill()'s e-books: the first three have a store file, the last none.
QString storedName(int i)
{
    return u"202612091010101234"_s + QString::number(5 + i);
}

void fill(LibraryFixture& f)
{
    f.addBook(u"It's, \"quoted\"\n第二行"_s, u"已读完"_s, f.category(u"小说"_s), u"jpg"_s, randomBytes(300000));
    f.addBook(QString(), QString());
    f.addBook(u"红楼梦"_s, u"还没读"_s);
    const QString store = f.dir.path() + u"/corvina/"_s;
    QDir().mkpath(store);
    const QString longName = QString(40, QChar(0x4e66)) + u" 1.pdf"_s;
    // Display names of every kind; store names of the form the import gives them.
    const QStringList names { u"2026120910101012345"_s, u"空"_s, longName, u"gone"_s };
    for (int i = 0; i < names.size(); ++i)
        f.db().execute(u"insert into dzbook (name, filename) values ('%1', '%2')"_s.arg(names[i], storedName(i)));
    writeFile(store + storedName(0), randomBytes(3 << 20));
    writeFile(store + storedName(1), {});
    writeFile(store + storedName(2), "x");
    writeFile(store + storedName(0) + u".text"_s, randomBytes(4000)); // its text, carried with it
    writeFile(store + u"2026120999999999999.part"_s, "import in progress");
    writeFile(store + u"stray"_s, "no row");
}

QString backupOf(LibraryFixture& f, const QString& folder)
{
    const QString path = folder + u'/' + Backup::defaultFileName(QDate(2026, 12, 9));
    Backup backup(f.db());
    [&] { QVERIFY(backup.write(path)); }();
    return path;
}

// A tar or zip of another program.
QString foreignArchive(const QString& path, bool zip)
{
    archive* a = archive_write_new();
    zip ? archive_write_set_format_zip(a) : archive_write_set_format_pax_restricted(a);
    archive_write_open_filename(a, QFile::encodeName(path).constData());
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, "readme.txt");
    archive_entry_set_size(entry, 5);
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_write_header(a, entry);
    archive_write_data(a, "hello", 5);
    archive_entry_free(entry);
    archive_write_free(a);
    return path;
}

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip();
    void damagedBackupChangesNothing_data();
    void damagedBackupChangesNothing();
    void cancelLeavesNothing();
    void killedRestoreLeavesWholeLibrary();
    void plantedJournalChangesNothing_data();
    void plantedJournalChangesNothing();
    void hostileLibrariesAreRefused_data();
    void hostileLibrariesAreRefused();
    void librariesInUseAreTaken();
    void olderBackupIsBroughtUpToDate();
    void binTravelsWithTheBackup();
};

void TestBackup::roundTrip()
{
    LibraryFixture f;
    fill(f);
    QTemporaryDir out;
    const QString path = out.path() + u"/书屋 备份.qhbak"_s;
    Backup backup(f.db());
    qint64 last = -1, total = 0;
    backup.setProgress([&](qint64 done, qint64 all) {
        QVERIFY(done >= last && done <= all);
        last = done, total = all;
    });
    QVERIFY(backup.write(path));
    QCOMPARE(last, total);
    QCOMPARE(backup.result().books, 3);
    QCOMPARE(backup.result().ebooks, 4);
    QCOMPARE(backup.result().storeFiles, 3);
    QCOMPARE(backup.result().missing, QStringList { storedName(3) });
    QCOMPARE(backup.result().unlisted, 1); // "stray"; the ".part" is no store file at all
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList { u"书屋 备份.qhbak"_s });
    QFile::remove(f.dir.path() + u"/corvina/2026120999999999999.part"_s);
    QFile::remove(f.dir.path() + u"/corvina/stray"_s);
    const QByteArray before = signature(f.db(), f.dir.path());

    // Afterwards: books deleted, an e-book imported, a store file lost.
    RecordSet books(f.db());
    books.setSql(u"select * from baseshu"_s);
    books.open();
    f.db().execute(u"delete from baseshu; insert into dzbook (name, filename) values ('新', '新')"_s);
    writeFile(f.dir.path() + u"/corvina/新"_s, "new");
    QFile::remove(f.dir.path() + u"/corvina/"_s + storedName(1));

    Restore restore(f.db());
    QVERIFY(restore.verify(path));
    QCOMPARE(restore.summary().booksNow, 0);
    QCOMPARE(restore.summary().ebooksNow, 5);
    QCOMPARE(restore.summary().booksInBackup, 3);
    QCOMPARE(restore.summary().ebooksInBackup, 4);
    QCOMPARE(restore.summary().ebooksNotInBackup, 2); // "gone" and the new one
    restore.apply();
    QVERIFY(f.db().isOpen());
    QCOMPARE(signature(f.db(), f.dir.path()), before);
    books.refresh();
    QCOMPARE(books.recordCount(), 3);
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        (QStringList { u"corvina"_s, u"data"_s }));
    // The restored library, store and store files are the user's alone.
    const auto others = QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    for (const QString& restored : { u"/data/AccessMng.mdb"_s, u"/corvina"_s, u"/corvina/"_s + storedName(0) })
        QVERIFY2(!(QFileInfo(f.dir.path() + restored).permissions() & others), qPrintable(restored));
    QCOMPARE(QFileInfo(out.path() + u"/书屋 备份.qhbak"_s).permissions() & others, QFileDevice::Permissions());
    QCOMPARE(QDir(f.dir.path() + u"/data"_s).entryList(QDir::Files | QDir::Hidden), QStringList { u"AccessMng.mdb"_s });
}

void TestBackup::damagedBackupChangesNothing_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");
    QTest::newRow("truncated") << u"truncate"_s << u"不完整"_s;
    QTest::newRow("store entry changed") << u"store"_s << u"条目“corvina/2026120910101012345”的校验和(SHA-256)不符"_s;
    QTest::newRow("database entry changed") << u"database"_s << u"条目“AccessMng.mdb”的校验和(SHA-256)不符"_s;
    QTest::newRow("manifest cut off") << u"manifest"_s << u"缺少清单"_s;
    QTest::newRow("other program's tar") << u"tar"_s << u"不是青禾书屋的备份文件"_s;
    QTest::newRow("zip") << u"zip"_s << u"不是青禾书屋的备份文件"_s;
    QTest::newRow("not an archive") << u"random"_s << u"不是青禾书屋的备份文件"_s;
    QTest::newRow("empty file") << u"empty"_s << u"不是青禾书屋的备份文件"_s;
    QTest::newRow("no such file") << u"missing"_s << u"找不到备份文件"_s;
}

void TestBackup::damagedBackupChangesNothing()
{
    QFETCH(QString, damage);
    QFETCH(QString, message);
    LibraryFixture f;
    fill(f);
    QTemporaryDir out;
    QString path = backupOf(f, out.path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const auto flipAfter = [&](const QByteArray& needle, int offset) {
        const qsizetype at = bytes.indexOf(needle);
        QVERIFY(at >= 0);
        bytes[at + offset] = char(bytes[at + offset] ^ 0x55);
        file.seek(0);
        file.write(bytes);
    };
    if (damage == u"truncate")
        file.resize(bytes.size() / 2);
    else if (damage == u"store")
        flipAfter(randomBytes(3 << 20).left(64), 100000);
    else if (damage == u"database")
        flipAfter(QByteArray("SQLite format 3"), 4096 + 10);
    else if (damage == u"manifest")
        file.resize(bytes.lastIndexOf("manifest.json"));
    else if (damage == u"tar" || damage == u"zip")
        path = foreignArchive(out.path() + u"/other."_s + damage, damage == u"zip");
    else if (damage == u"random")
        file.seek(0), file.write(randomBytes(bytes.size()));
    else if (damage == u"empty")
        file.resize(0);
    else
        path += u".gone"_s;
    file.close();

    f.db().close();
    const QByteArray before = diskState(f.dir.path());
    Restore restore(f.db());
    try {
        restore.verify(path);
        QFAIL("a damaged backup was taken");
    } catch (const EBackupError& error) {
        QVERIFY2(QString::fromStdString(error.message()).contains(message), error.what());
    }
    f.db().close();
    QCOMPARE(diskState(f.dir.path()), before);
}

void TestBackup::cancelLeavesNothing()
{
    LibraryFixture f;
    fill(f);
    QTemporaryDir out;
    Backup backup(f.db());
    backup.setProgress([&](qint64 done, qint64) {
        if (done > (1 << 20))
            backup.cancel();
    });
    writeFile(out.path() + u"/.a.qhbak.999999999.tmp"_s, "left by a killed backup");
    QVERIFY(!backup.write(out.path() + u"/a.qhbak"_s));
    QVERIFY(QDir(out.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

    const QString path = backupOf(f, out.path());
    f.db().close();
    const QByteArray before = diskState(f.dir.path());
    Restore restore(f.db());
    restore.setProgress([&](qint64, qint64) { restore.cancel(); });
    QVERIFY(!restore.verify(path));
    f.db().close();
    QCOMPARE(diskState(f.dir.path()), before);
}

// The child half of killedRestoreLeavesWholeLibrary: restores, and tells when it starts.
static int restoreInChild(const QByteArray& home, const QString& path)
{
    qputenv("QINGHE_HOME", home);
    TDataModule2 module;
    module.Adocon.open();
    Restore restore(module.Adocon);
    std::puts("verify");
    std::fflush(stdout);
    restore.verify(path);
    std::puts("apply");
    std::fflush(stdout);
    restore.apply();
    return 0;
}

void TestBackup::killedRestoreLeavesWholeLibrary()
{
    // The new library is the backup; the old one has lost its books and gained an e-book.
    LibraryFixture f;
    fill(f);
    QTemporaryDir out;
    const QString path = backupOf(f, out.path());
    f.db().execute(u"delete from baseshu; insert into dzbook (name, filename) values ('新', '新')"_s);
    writeFile(f.dir.path() + u"/corvina/新"_s, "new");
    const QByteArray oldLibrary = signature(f.db(), f.dir.path());
    f.module.reset();

    QByteArray newLibrary;
    qint64 budget[2] = {}; // microseconds the child spends verifying, applying
    int olds = 0, news = 0;
    for (int round = 0; round < 16; ++round) {
        QTemporaryDir home;
        QVERIFY(QProcess::execute(u"cp"_s, { u"-a"_s, f.dir.path() + u"/."_s, home.path() }) == 0);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), { u"--restore"_s, home.path(), path });
        const auto waitFor = [&](const QByteArray& line) {
            while (!child.canReadLine() && child.waitForReadyRead(60000)) { }
            return child.readLine().trimmed() == line;
        };
        QVERIFY(waitFor("verify"));
        QElapsedTimer clock;
        clock.start();
        const int phase = round % 2; // kill while verifying, or while applying
        if (phase == 1)
            QVERIFY(waitFor("apply"));
        if (round < 2) {
            QVERIFY(phase == 1 || waitFor("apply"));
            budget[phase] = std::max<qint64>(clock.nsecsElapsed() / 1000, 1);
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(QRandomGenerator::global()->bounded(budget[phase])));
            child.kill();
        }
        QVERIFY(child.state() == QProcess::NotRunning || child.waitForFinished(60000));
        if (round == 1)
            budget[1] = std::max<qint64>(clock.nsecsElapsed() / 1000, 1);

        qputenv("QINGHE_HOME", home.path().toUtf8());
        Restore::recoverAtStart();
        TDataModule2 module;
        QCOMPARE(module.Adocon.scalar(u"pragma integrity_check"_s), u"ok"_s);
        const QByteArray now = signature(module.Adocon, home.path());
        if (round == 0)
            newLibrary = now;
        QVERIFY(round >= 2 || now == newLibrary);
        QVERIFY2(now == oldLibrary || now == newLibrary, "a mix of the old and the new library");
        (now == oldLibrary ? olds : news)++;
        QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList { u"corvina"_s, u"data"_s }));
    }
    QVERIFY(newLibrary != oldLibrary);
    qInfo("killed restores: %d left the old library, %d the new one", olds, news);
}

void TestBackup::plantedJournalChangesNothing_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value"); // "@" stands for the outside folder, "~" for the data folder
    QTest::newRow("asides outside, commit") << u"storeAside"_s << u"@/folder"_s;
    QTest::newRow("library aside outside") << u"libraryAside"_s << u"@/file"_s;
    QTest::newRow("library outside, swap") << u"library"_s << u"@/file"_s;
    QTest::newRow("store outside, swap") << u"store"_s << u"@/folder"_s;
    QTest::newRow("staging outside") << u"staging"_s << u"@/folder"_s;
    QTest::newRow("dot-dot") << u"storeAside"_s << u"~/corvina.恢复前-20261209-101010/../../outside"_s;
    QTest::newRow("aside of another form") << u"libraryAside"_s << u"~/data/readme.txt"_s;
    QTest::newRow("unknown phase") << u"phase"_s << u"rm -rf"_s;
}

void TestBackup::plantedJournalChangesNothing()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    LibraryFixture f;
    fill(f);
    const QString home = f.dir.path();
    QTemporaryDir outside;
    QVERIFY(QDir().mkpath(outside.filePath(u"folder/inner"_s)));
    writeFile(outside.filePath(u"folder/inner/photo.jpg"_s), "family photo");
    writeFile(outside.filePath(u"file"_s), "a file of the user");
    writeFile(home + u"/data/readme.txt"_s, "mine");
    QJsonObject journal { { u"phase"_s, u"commit"_s }, { u"library"_s, home + u"/data/AccessMng.mdb"_s },
        { u"libraryAside"_s, home + u"/data/AccessMng.mdb.恢复前-20261209-101010"_s },
        { u"store"_s, home + u"/corvina"_s }, { u"storeAside"_s, home + u"/corvina.恢复前-20261209-101010"_s },
        { u"hadStore"_s, true }, { u"staging"_s, home + u"/restore-staging"_s } };
    journal[field] = QString(value).replace(u'@', outside.path()).replace(u'~', home);
    if (field.startsWith(u"library"_s) || field == u"store"_s)
        journal[u"phase"_s] = u"swap"_s;
    writeFile(home + u"/restore.journal"_s, QJsonDocument(journal).toJson());
    f.module.reset();
    const QByteArray before = diskState(home);
    const QByteArray outsideBefore = diskState(outside.path());

    qputenv("QINGHE_HOME", home.toUtf8());
    try {
        Restore::recoverAtStart();
        QFAIL("a planted journal was followed");
    } catch (const EBackupError& error) {
        QVERIFY2(QString::fromStdString(error.message()).contains(u"恢复日志"_s), error.what());
    }
    QCOMPARE(diskState(outside.path()), outsideBefore);
    QCOMPARE(diskState(home), before);
}

void TestBackup::hostileLibrariesAreRefused_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    QTest::newRow("no accounts table") << u"drop table userb"_s << u"缺少表 userb"_s;
    QTest::newRow("no account") << u"delete from userb"_s << u"没有任何账户"_s;
    QTest::newRow("missing column") << u"alter table userb drop column password"_s << u"缺少列 password"_s;
    QTest::newRow("trigger") << u"create trigger t after insert on dzbook begin delete from baseshu; end"_s
                             << u"触发器 t"_s;
    QTest::newRow("trigger under a cache's name")
        << u"create trigger qh_thumbs_book_added after insert on baseshu begin delete from dzbook; end"_s
        << u"触发器 qh_thumbs_book_added"_s;
    QTest::newRow("store name out of the store")
        << u"insert into dzbook (name, filename) values ('书', '../data/AccessMng.mdb')"_s << u"存储文件名"_s;
    QTest::newRow("store name in the bin out of the store")
        << u"insert into qh_trash_ebooks (deleted, name, filename) values ('2026-12-01T10:00:00', '书', '../x')"_s
        << u"回收站里的电子书“书”的存储文件名"_s;
    QTest::newRow("another table") << u"create table evil (x)"_s << u"之外的表 evil"_s;
    QTest::newRow("unique index") << u"create unique index u on baseshu (name)"_s << u"索引或唯一约束"_s;
    QTest::newRow("view") << u"create view v as select * from baseshu"_s << u"视图 v"_s;
    QTest::newRow("expression index on a cache")
        << u"create table qh_cache (x); create index qh_e on qh_cache (abs(x))"_s << u"索引或唯一约束"_s;
    QTest::newRow("newer version") << u"pragma user_version = 999"_s << u"较新版本"_s;
    // Every column the program uses, and one check more: no loan could be made again.
    QTest::newRow("constraint on a table of ours")
        << u"drop table qh_loans; create table qh_loans (id INTEGER PRIMARY KEY AUTOINCREMENT, book INTEGER NOT NULL, "
           "borrower TEXT COLLATE NOCASE NOT NULL DEFAULT '', lent TEXT, due TEXT, returned TEXT, title TEXT, "
           "CHECK (0))"_s
        << u"表 qh_loans 的定义"_s;
    QTest::newRow("constraint on a cache")
        << u"drop table qh_lastpage; create table qh_lastpage (id INTEGER PRIMARY KEY, page INTEGER NOT NULL CHECK (page < 0))"_s
        << u"表 qh_lastpage 的定义"_s;
    QTest::newRow("unique index on a cache") << u"create unique index qh_u on qh_lastpage (page)"_s
                                             << u"索引或唯一约束"_s;
    QTest::newRow("virtual table") << u"create virtual table qh_words using fts5(x)"_s << u"之外的表 qh_words"_s;
}

void TestBackup::hostileLibrariesAreRefused()
{
    QFETCH(QString, sql);
    QFETCH(QString, message);
    QTemporaryDir out;
    const QString hostile = out.filePath(u"hostile.qhbak"_s);
    {
        LibraryFixture g;
        fill(g);
        LastPage(g.db()).remember(1, 3);
        g.db().execute(sql);
        Backup backup(g.db());
        QVERIFY(backup.write(hostile));
    }
    LibraryFixture f;
    fill(f);
    f.db().close();
    const QByteArray before = diskState(f.dir.path());
    Restore restore(f.db());
    try {
        restore.verify(hostile);
        QFAIL("a hostile library was taken");
    } catch (const EBackupError& error) {
        QVERIFY2(QString::fromStdString(error.message()).contains(message), error.what());
    }
    f.db().close();
    QCOMPARE(diskState(f.dir.path()), before);
}

void TestBackup::librariesInUseAreTaken()
{
    // The tables, indexes and triggers the program adds as it runs are its own.
    LibraryFixture f;
    fill(f);
    QVERIFY(ThumbnailCache(f.db().handle()).prepare());
    PinyinIndex::update(f.db(), u"baseshu"_s);
    PinyinIndex::update(f.db(), u"dzbook"_s);
    LastPage(f.db()).remember(1, 7);
    f.db().execute(u"create index qh_lastpage_page on qh_lastpage (page)"_s);
    f.db().execute(u"analyze"_s);
    QTemporaryDir out;
    const QString path = backupOf(f, out.path());
    Restore restore(f.db());
    QVERIFY(restore.verify(path));
    restore.apply();
    QCOMPARE(LastPage(f.db()).page(1), 7);
}

void TestBackup::olderBackupIsBroughtUpToDate()
{
    // A backup the version before made: its loans without the limits and title of today.
    QTemporaryDir out;
    const QString older = out.filePath(u"older.qhbak"_s);
    {
        LibraryFixture g;
        fill(g);
        for (const QString& name :
            g.count(u"select group_concat(name) from sqlite_master where type = 'trigger' and name not like 'qh_thumbs%'"_s)
                .split(u','))
            g.db().execute(u"drop trigger "_s + name);
        g.db().execute(u"drop table qh_loans; create table qh_loans (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "book INTEGER NOT NULL, borrower TEXT COLLATE NOCASE NOT NULL DEFAULT '', lent TEXT, due TEXT, "
                       "returned TEXT); create index qh_loans_book on qh_loans (book, returned); "
                       "insert into qh_loans (book, borrower, lent, due) values (1, '张三', '2026-01-01', '2026-02-01'); "
                       "update baseshu set isjie = '是', jieshumen = '张三' where id = 1; pragma user_version = 7"_s);
        Backup backup(g.db());
        QVERIFY(backup.write(older));
    }
    LibraryFixture f;
    fill(f);
    Restore restore(f.db());
    QVERIFY(restore.verify(older));
    restore.apply();
    QCOMPARE(f.count(u"pragma user_version"_s).toInt(), Schema::latestVersion());
    QCOMPARE(f.count(u"select borrower || ' ' || due from qh_loans where returned is null"_s), u"张三 2026-02-01"_s);
    // Its triggers are today's: a corrected borrower corrects the loan.
    f.db().execute(u"update baseshu set jieshumen = '张山' where id = 1"_s);
    QCOMPARE(f.count(u"select count(*) || borrower from qh_loans"_s), u"1张山"_s);
}

// The recycle bin goes into a backup (its rows, and its files as stored under "corvina/trash/")
// and comes back with a restore, its e-book still able to come back whole.
void TestBackup::binTravelsWithTheBackup()
{
    LibraryFixture f;
    fill(f);
    const EbookStore store(f.dir.path() + u"/corvina"_s);
    QFile original(store.path(storedName(0)));
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray stored = original.readAll();
    original.close();
    QVERIFY(RecycleBin::removeEbook(f.db(), store, 1, QDateTime(QDate(2026, 12, 1), QTime(9, 0))));
    QVERIFY(Trash::remove(f.db(), Trash::Kind::Book, 3, QDateTime(QDate(2026, 12, 2), QTime(9, 0))));
    QTemporaryDir out;
    const QString path = backupOf(f, out.path());
    {
        archive* a = archive_read_new();
        archive_read_support_format_all(a);
        QCOMPARE(archive_read_open_filename(a, QFile::encodeName(path).constData(), 10240), ARCHIVE_OK);
        QStringList names;
        archive_entry* entry = nullptr;
        while (archive_read_next_header(a, &entry) == ARCHIVE_OK)
            names << QString::fromUtf8(archive_entry_pathname(entry));
        archive_read_free(a);
        QVERIFY(names.contains(u"corvina/trash/"_s + storedName(0)));
        QVERIFY(names.contains(u"corvina/trash/"_s + storedName(0) + u".text"_s));
        QVERIFY(!names.contains(u"corvina/"_s + storedName(0)));
    }
    RecycleBin::empty(f.db(), store);
    QVERIFY(store.binned().isEmpty());

    Restore restore(f.db());
    QVERIFY(restore.verify(path));
    restore.apply();
    const QList<Trash::Item> items = Trash::items(f.db());
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0].title, u"红楼梦"_s);
    QCOMPARE(items[1].storedName, storedName(0));
    QCOMPARE(items[1].deleted, QDateTime(QDate(2026, 12, 1), QTime(9, 0)));
    RecycleBin::restore(f.db(), store, items[1]);
    QFile back(store.path(storedName(0)));
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), stored);
    QCOMPARE(f.count(u"select name from dzbook where ID = 1"_s), u"2026120910101012345"_s);
}

int main(int argc, char* argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--restore") == 0)
        return restoreInChild(argv[2], QString::fromLocal8Bit(argv[3]));
    QCoreApplication app(argc, argv);
    TestBackup test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_backup.moc"
