// The data folder kept safe: no export takes the place of one of its files,
// whatever path leads there; what the program keeps there is the user's alone;
// temporary files of a run killed half-way go at the next start.

#include "data/test_recordset_fixture.h"

#include "Exception.h"
#include "backup/Backup.h"
#include "backup/Compaction.h"
#include "catalogue/CatalogueCsv.h"
#include "crypto/AES.h"
#include "ebooks/DragCopy.h"
#include "ebooks/EbookExport.h"
#include "ebooks/EbookStore.h"
#include "format/BookText.h"
#include "format/Companion.h"
#include "platform/AppPaths.h"
#include "platform/DataFolder.h"
#include "platform/TempFiles.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QString modeOf(const QString& path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return u"missing"_s;
    return QString::number(info.st_mode & 07777, 8);
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// A store file of plain bytes, encrypted as the import does.
QString storeFile(const QString& folder, const QByteArray& plain)
{
    const QString source = folder + u"/plain"_s;
    const QString store = folder + u"/store"_s;
    writeFile(source, plain);
    AesEncryptFile(source.toStdString(), store.toStdString(), kEbookKey, 2);
    QFile::remove(source);
    return store;
}

QStringList hiddenIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System).filter(QRegularExpression(u"^\\."_s));
}

// The child side of the kill -9 tests: writes until it is killed.
int workInChild(const QString& what, const QString& home, const QString& target)
{
    qputenv("QINGHE_HOME", home.toUtf8());
    TDataModule2 module;
    module.Adocon.open();
    std::puts("started");
    std::fflush(stdout);
    if (what == u"--export"_s)
        EbookExport::write(home + u"/corvina/2026120910101012345"_s, target);
    else if (what == u"--backup"_s)
        Backup(module.Adocon).write(target);
    else if (what == u"--compact"_s)
        Compaction::RunCompaction(module.Adocon.databasePath(), Compaction::databasePassword());
    return 0;
}

} // namespace

class TestDataFolder : public QObject
{
    Q_OBJECT
private slots:
    void exportsNeverReplaceProgramFiles();
    void programFilesArePrivate();
    void killedWritesLeaveNothingAfterNextStart_data();
    void killedWritesLeaveNothingAfterNextStart();
    void plantedListRemovesOnlyTemporaryFiles();
};

void TestDataFolder::exportsNeverReplaceProgramFiles()
{
    LibraryFixture f;
    f.addBook(u"红楼梦"_s, u"已读完"_s);
    const QString home = f.dir.path();
    const QString library = home + u"/data/AccessMng.mdb"_s;
    QDir().mkpath(home + u"/corvina"_s);
    QDir().mkpath(home + u"/temp"_s);
    writeFile(home + u"/skinh.she"_s, "skin");
    writeFile(home + u"/corvina/2026120910101012345"_s, "stored");
    writeFile(home + u"/我的.pdf"_s, "a file of the user's own");
    QTemporaryDir outside;
    const QString store = storeFile(outside.path(), "%PDF-1.4 a book");
    QVERIFY(QFile::link(library, outside.filePath(u"link.pdf"_s)));
    QVERIFY(QFile::link(home + u"/data"_s, outside.filePath(u"folder"_s)));
    QVERIFY(
        ::link(QFile::encodeName(library).constData(), QFile::encodeName(outside.filePath(u"hard.pdf"_s)).constData())
        == 0);
    const QByteArray before = bytesOf(library);

    const QStringList targets { library, library + u"-journal"_s, home + u"/data/../data/AccessMng.mdb"_s,
        outside.filePath(u"link.pdf"_s), outside.filePath(u"folder/AccessMng.mdb"_s), outside.filePath(u"hard.pdf"_s),
        home + u"/corvina/2026120910101012345"_s, home + u"/corvina/new.pdf"_s, home + u"/temp/x.pdf"_s,
        home + u"/skinh.she"_s, home + u"/Temp.mdb"_s, home + u"/restore.journal"_s,
        home + u"/restore-staging/AccessMng.mdb"_s, home + u"/temporaries.list"_s,
        home + u"/qinghe.lock"_s, QCoreApplication::applicationFilePath() };
    for (const QString& target : targets) {
        try {
            EbookExport::write(store, target);
            QFAIL(qPrintable(u"exported onto "_s + target));
        } catch (const EFCreateError& error) {
            QVERIFY2(QString::fromUtf8(error.what()).contains(u"数据文件夹"_s), error.what());
        }
        QVERIFY_THROWS_EXCEPTION(EFCreateError, CatalogueCsv::exportTo(f.db(), target));
        Backup backup(f.db());
        QVERIFY_THROWS_EXCEPTION(Exception, backup.write(target));
    }
    QCOMPARE(bytesOf(library), before);
    QCOMPARE(bytesOf(home + u"/skinh.she"_s), QByteArray("skin"));
    QCOMPARE(bytesOf(home + u"/corvina/2026120910101012345"_s), QByteArray("stored"));
    QVERIFY(!QFileInfo::exists(library + u"-journal"_s));
    QCOMPARE(f.count(u"select count(*) from baseshu"_s), u"1"_s);

    // A file of the user's own beside the program's, and anywhere else, is the user's choice.
    EbookExport::write(store, home + u"/红楼梦.pdf"_s);
    EbookExport::write(store, home + u"/我的.pdf"_s);
    EbookExport::write(store, outside.filePath(u"红楼梦.pdf"_s));
    QCOMPARE(bytesOf(outside.filePath(u"红楼梦.pdf"_s)), QByteArray("%PDF-1.4 a book"));
}

void TestDataFolder::programFilesArePrivate()
{
    const mode_t usual = ::umask(022);
    QTemporaryDir outside;
    {
        LibraryFixture f;
        const QString home = f.dir.path();
        // What the program makes: the library and its folder, folders, store files, drag copies, backups.
        QCOMPARE(modeOf(home + u"/data"_s), u"700"_s);
        QCOMPARE(modeOf(home + u"/data/AccessMng.mdb"_s), u"600"_s);
        DataFolder::makeFolder(home + u"/corvina"_s);
        DataFolder::makeFolder(home + u"/temp"_s);
        QCOMPARE(modeOf(home + u"/corvina"_s), u"700"_s);
        writeFile(outside.filePath(u"book.pdf"_s), "%PDF-1.4");
        EbookStore(AppPaths::path(u"corvina"_s)).store(outside.filePath(u"book.pdf"_s), u"2026120910101012345"_s);
        QCOMPARE(modeOf(home + u"/corvina/2026120910101012345"_s), u"600"_s);
        // The book's text beside it, from its first byte.
        Companion::write(home + u"/corvina/2026120910101012345"_s, BookText::join({ u"第一页"_s }));
        QCOMPARE(modeOf(home + u"/corvina/"_s + Companion::fileName(u"2026120910101012345"_s)), u"600"_s);
        writeFile(home + u"/temp/书.pdf"_s, "an older copy, readable by all");
        QVERIFY(
            QFile::setPermissions(home + u"/temp/书.pdf"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        DragCopy dragCopies(home + u"/temp"_s); // its copies go when it does
        dragCopies.make(home + u"/corvina/2026120910101012345"_s, u"书"_s);
        QCOMPARE(modeOf(home + u"/temp/书.pdf"_s), u"600"_s);
        const QString backup = outside.filePath(u"备份.qhbak"_s);
        QVERIFY(Backup(f.db()).write(backup));
        QCOMPARE(modeOf(backup), u"600"_s);
        // A file the user exports follows the umask.
        EbookExport::write(home + u"/corvina/2026120910101012345"_s, outside.filePath(u"out.pdf"_s));
        QCOMPARE(modeOf(outside.filePath(u"out.pdf"_s)), u"644"_s);
        CatalogueCsv::exportTo(f.db(), outside.filePath(u"books.csv"_s));
        QCOMPARE(modeOf(outside.filePath(u"books.csv"_s)), u"644"_s);

        // A data folder of an older version, readable by all, is brought to these modes; the user's own file is not.
        f.db().close();
        for (const QString& path : { home, home + u"/data"_s, home + u"/corvina"_s, home + u"/temp"_s })
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0755) == 0);
        writeFile(home + u"/skinh.she"_s, "skin");
        writeFile(home + u"/readme.txt"_s, "mine");
        for (const QString& path : { home + u"/data/AccessMng.mdb"_s, home + u"/corvina/2026120910101012345"_s,
                 home + u"/temp/书.pdf"_s, home + u"/skinh.she"_s, home + u"/readme.txt"_s })
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
        DataFolder::makeAllPrivate();
        QDirIterator it(home, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo entry(it.next());
            if (entry.fileName() != u"readme.txt"_s)
                QVERIFY2(
                    modeOf(entry.filePath()) == (entry.isDir() ? u"700"_s : u"600"_s), qPrintable(entry.filePath()));
        }
        QCOMPARE(modeOf(home), u"700"_s);
        QCOMPARE(modeOf(home + u"/readme.txt"_s), u"644"_s);
    }
    ::umask(usual);
}

void TestDataFolder::killedWritesLeaveNothingAfterNextStart_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("export") << u"--export"_s;
    QTest::newRow("backup") << u"--backup"_s;
    QTest::newRow("compaction") << u"--compact"_s;
}

void TestDataFolder::killedWritesLeaveNothingAfterNextStart()
{
    QFETCH(QString, what);
    LibraryFixture f;
    const QString home = f.dir.path();
    // Enough to take a while: a 96 MB book, a library of 48 MB.
    QTemporaryDir outside;
    const QString big = storeFile(outside.path(), randomBytes(96 << 20));
    QVERIFY(QDir().mkpath(home + u"/corvina"_s));
    QVERIFY(QFile::rename(big, home + u"/corvina/2026120910101012345"_s));
    f.db().execute(u"insert into dzbook (name, filename) values ('大书', '2026120910101012345')"_s);
    if (what == u"--compact"_s)
        f.db().execute(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 48) "
                       "insert into baseshu (name, facepic) select '书' || i, randomblob(1 << 20) from n"_s);
    f.module.reset();
    const QString target = outside.filePath(u"out.pdf"_s);

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { what, home, target });
    QVERIFY(child.waitForReadyRead(60000));
    // Killed as soon as its temporary file is there, half-way through its work.
    const auto leftover
        = [&] { return !hiddenIn(outside.path()).isEmpty() || QFileInfo(home + u"/Temp.mdb"_s).size() > 0; };
    QElapsedTimer clock;
    clock.start();
    while (!leftover() && child.state() == QProcess::Running && clock.elapsed() < 60000)
        QThread::usleep(200);
    QVERIFY2(leftover(), "the child finished before it could be killed");
    child.kill();
    QVERIFY(child.waitForFinished(60000));
    QVERIFY(!QFileInfo::exists(target));

    qputenv("QINGHE_HOME", home.toUtf8());
    QVERIFY(TempFiles::removeLeftovers() >= 1);
    QCOMPARE(hiddenIn(outside.path()), QStringList());
    QCOMPARE(QDir(home).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(
        QDir(home + u"/corvina"_s).entryList(QDir::Files | QDir::Hidden), QStringList { u"2026120910101012345"_s });
    TDataModule2 module;
    QCOMPARE(module.Adocon.scalar(u"pragma integrity_check"_s), u"ok"_s);
}

void TestDataFolder::plantedListRemovesOnlyTemporaryFiles()
{
    LibraryFixture f;
    QTemporaryDir outside;
    const QString mine = outside.filePath(u"my notes.txt"_s);
    const QString temporary = outside.filePath(u".qinghe-AbC123"_s);
    writeFile(mine, "keep");
    writeFile(temporary, "decrypted");
    QVERIFY(QDir().mkpath(outside.filePath(u".qinghe-folder"_s)));
    writeFile(TempFiles::listPath(),
        QFile::encodeName(mine).toPercentEncoding("/") + "\n../relative\n"
            + QFile::encodeName(temporary).toPercentEncoding("/") + "\n"
            + QFile::encodeName(outside.filePath(u".qinghe-folder"_s)).toPercentEncoding("/") + "\n");
    QCOMPARE(TempFiles::removeLeftovers(), 1);
    QVERIFY(QFileInfo::exists(mine));
    QVERIFY(!QFileInfo::exists(temporary));
    QVERIFY(QFileInfo(outside.filePath(u".qinghe-folder"_s)).isDir());
    QVERIFY(!QFileInfo::exists(TempFiles::listPath()));
}

int main(int argc, char* argv[])
{
    if (argc == 4 && argv[1][0] == '-' && argv[1][1] == '-') {
        QCoreApplication app(argc, argv);
        return workInChild(
            QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TestDataFolder test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_datafolder.moc"
