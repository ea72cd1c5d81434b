// The e-book store: search statements, imports as the program runs them
// (ImportProgress) with their duplicates, failures and cancels, an import
// killed part-way, and the store files no row names.

#include "data/test_recordset_fixture.h"

#include "crypto/AES.h"
#include "ebooks/EbookImport.h"
#include "ebooks/EbookSql.h"
#include "ebooks/EbookStore.h"
#include "platform/AppPaths.h"
#include "ebooks/ImportProgress.h"
#include "widgets/Prompt.h"

#include <QApplication>
#include <QSignalSpy>

#include <QProcess>
#include <QRandomGenerator>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

QByteArray bytes(int size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    for (char& c : data)
        c = char(rng.bounded(256));
    return data;
}

QString writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Writes each imported row as the page does, through a record set on the list.
std::function<void(const QString&, const QString&)> rowWriter(RecordSet& list)
{
    return [&list](const QString& name, const QString& storedName) {
        list.append();
        list.setText(u"name"_s, name);
        list.setText(u"filename"_s, storedName);
        list.post();
    };
}

using WriteRow = std::function<void(const QString&, const QString&)>;

// Runs an import the way the e-book page does: each file stored on a worker
// thread behind the progress dialog, its row written here. Returns how many
// rows were written; errors are shown as the program shows them.
int runImport(std::unique_ptr<EbookImport> job, const WriteRow& writeRow)
{
    int rows = 0;
    ImportProgress progress(
        std::move(job),
        [&](const QString& name, const QString& storedName) {
            writeRow(name, storedName);
            ++rows;
        },
        nullptr);
    QSignalSpy finished(&progress, &ImportProgress::finished);
    progress.start();
    if (!progress.isFinished() && !finished.wait(120000))
        qFatal("the import never ended");
    return rows;
}

// A library with its store and its list.
struct StoreFixture : LibraryFixture
{
    StoreFixture()
        : list(db())
    {
        QDir().mkpath(store.folder());
        list.setSql(QString::fromUtf16(EbookSql::allBooks));
        list.open();
    }
    QString source(const QString& name, const QByteArray& data = "%PDF-1.4 x")
    {
        QDir(dir.path()).mkpath(u"in"_s);
        return writeFile(dir.filePath(u"in/"_s + name), data);
    }
    std::unique_ptr<EbookImport> job(const QStringList& sources)
    {
        return std::make_unique<EbookImport>(store, sources, names());
    }
    int run(std::unique_ptr<EbookImport> job) { return runImport(std::move(job), rowWriter(list)); }
    QStringList names()
    {
        QStringList result;
        for (int row = 0; row < list.recordCount(); ++row)
            result << list.textAt(row, list.fieldIndex(u"name"_s));
        return result;
    }
    QStringList storeFiles() { return QDir(store.folder()).entryList(QDir::Files); }

    EbookStore store = EbookStore(AppPaths::path(u"corvina"_s));
    RecordSet list;
};

} // namespace

class TestEbookStore : public QObject
{
    Q_OBJECT

private slots:
    void searchStatements_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("found");
        const QStringList all { u"abc.pdf"_s, u"Tom's.pdf"_s, u"xabcx"_s, u"红楼梦.pdf"_s };
        // Latin letters only: the title also matches by pinyin.
        // (the rows are added in order: ids 1 to 4)
        const auto pinyin = [](const QString& like, const QString& ids) {
            return u"(ID in (select ID from dzbook where %1) or ID in (%2))"_s.arg(like, ids);
        };
        const QString abc = pinyin(u"name like '%abc%'"_s, u"1,3"_s);
        QTest::newRow("both empty") << u" \t"_s << QString() << u" select *  from dzbook "_s << all;
        QTest::newRow("title") << u" abc\x01"_s << QString() << u" select *  from dzbook where "_s + abc
                               << QStringList { u"abc.pdf"_s, u"xabcx"_s };
        QTest::newRow("status") << QString() << u"正在读"_s << u" select *  from dzbook where  isread='正在读'"_s
                                << QStringList { u"abc.pdf"_s };
        QTest::newRow("both") << u"abc"_s << u"已读完"_s
                              << u" select *  from dzbook where "_s + abc + u" and isread='已读完'"_s
                              << QStringList { u"xabcx"_s };
        QTest::newRow("apostrophe") << u"Tom's"_s << QString() << u" select *  from dzbook where name like '%Tom''s%'"_s
                                    << QStringList { u"Tom's.pdf"_s };
        QTest::newRow("initials") << u"HLm"_s << QString()
                                  << u" select *  from dzbook where "_s
                + pinyin(u"name like '%HLm%'"_s, u"4"_s)
                                  << QStringList { u"红楼梦.pdf"_s };
        QTest::newRow("chinese, unchanged")
            << u"楼"_s << QString() << u" select *  from dzbook where name like '%楼%'"_s
            << QStringList { u"红楼梦.pdf"_s };
        QTest::newRow("odd status") << QString() << u"it's"_s << u" select *  from dzbook where  isread='it''s'"_s
                                    << QStringList();
    }
    void searchStatements()
    {
        QFETCH(QString, title);
        QFETCH(QString, status);
        QFETCH(QString, sql);
        QFETCH(QStringList, found);
        StoreFixture f;
        f.db().execute(u"insert into dzbook (name, isread) values ('abc.pdf', '正在读'), ('Tom''s.pdf', NULL), "
                       "('xabcx', '已读完'), ('红楼梦.pdf', NULL)"_s);
        QCOMPARE(EbookSql::search(f.db(), title, status), sql);
        f.list.setSql(sql);
        f.list.open();
        QCOMPARE(f.names(), found);
    }

    // A title the PDF gives itself comes first; the file name without its
    // extension stands in; either form of a name already listed is a duplicate.
    void importedTitles()
    {
        StoreFixture f;
        f.db().execute(u"insert into dzbook (name, filename) values ('西游记', '1'), ('水浒传.pdf', '2')"_s);
        f.list.refresh();
        auto job = f.job({ f.source(u"titled.pdf"_s), f.source(u"红楼梦.上.pdf"_s), f.source(u"西游记.PDF"_s),
            f.source(u"水浒传"_s), f.source(u".pdf"_s) });
        QStringList asked;
        job->setTitleReader([&](const QString& storeFile) {
            asked << storeFile; // the book as stored, read like every stored one
            return asked.size() == 1 ? u"  书中的 书名\n"_s : QString();
        });
        QCOMPARE(f.run(std::move(job)), 3);
        QCOMPARE(f.names(), (QStringList { u"西游记"_s, u"水浒传.pdf"_s, u"书中的 书名"_s, u"红楼梦.上"_s, u".pdf"_s }));
        QCOMPARE(asked.size(), 3);
        for (int row = 2; row < 5; ++row)
            QCOMPARE(asked[row - 2], f.store.path(f.list.textAt(row, f.list.fieldIndex(u"filename"_s))));
    }

    void importSkipsDuplicatesAndStoresEncrypted()
    {
        StoreFixture f;
        f.db().execute(u"insert into dzbook (name, filename) values ('Listed.PDF', '1')"_s);
        f.list.refresh();
        const QString longName = QString(56, u'长') + u".pdf"_s;
        const QByteArray big = bytes((1 << 20) + 5, 7);
        const QStringList sources { f.source(u"listed.pdf"_s), f.source(u"a.pdf"_s, big), f.source(u"empty.pdf"_s, {}),
            f.source(u"notes.txt"_s, "plain text"), f.source(longName), writeFile(f.dir.filePath(u"A.PDF"_s), "dup") };
        QCOMPARE(f.run(f.job(sources)), 4);
        // Titled by the file names without their extension.
        QCOMPARE(f.names(), (QStringList { u"Listed.PDF"_s, u"a"_s, u"empty"_s, u"notes"_s, longName.chopped(4) }));

        QCOMPARE(f.storeFiles().size(), 4);
        const QByteArray expected[] = { big, {}, "plain text", "%PDF-1.4 x" };
        for (int row = 1; row < 5; ++row) {
            const QString stored = f.list.textAt(row, f.list.fieldIndex(u"filename"_s));
            QVERIFY2(QRegularExpression(u"^\\d{18,21}$"_s).match(stored).hasMatch(), qPrintable(stored));
            QFile file(f.store.path(stored));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray encrypted = file.readAll();
            const qsizetype n = expected[row - 1].size();
            QCOMPARE(encrypted.size(), 8 + 16 * ((n + 15) / 16));
            QCOMPARE(qFromLittleEndian<qint64>(encrypted.constData()), qint64(n));
            if (n > 0)
                QCOMPARE(f.store.read(stored), expected[row - 1]);
        }
        QVERIFY(f.storeFiles().filter(u".part"_s).isEmpty());
        QCOMPARE(
            StoreNames::stamped(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 6)), 70), u"2024010203040500670"_s);
    }

    // A failure stops the import where it happened: earlier files keep their
    // rows, the file in hand leaves nothing, later files are never touched.
    void failuresStopTheImport_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("message");
        QTest::newRow("row refused") << u"row"_s << u"disk I/O error"_s;
        QTest::newRow("source gone") << u"source"_s << u"Cannot open file"_s;
        QTest::newRow("store unwritable") << u"store"_s << u"Cannot create file"_s;
    }
    void failuresStopTheImport()
    {
        QFETCH(QString, failure);
        QFETCH(QString, message);
        StoreFixture f;
        Prompt::setScripted(true);
        Prompt::takeShown();
        const QStringList sources { f.source(u"one.pdf"_s), f.source(u"two.pdf"_s), f.source(u"three.pdf"_s) };
        WriteRow write = rowWriter(f.list);
        auto job = f.job(sources);
        if (failure == u"row"_s) {
            write = [&, inner = write](const QString& name, const QString& storedName) {
                if (name == u"two"_s)
                    throw EDatabaseError("disk I/O error");
                inner(name, storedName);
            };
        } else if (failure == u"source"_s) {
            QFile::remove(sources[1]);
        } else {
            // A file where the store folder should be: no one, root included, can create files in it.
            QVERIFY(QDir(f.store.folder()).removeRecursively());
            QFile blocker(f.store.folder());
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            blocker.close();
            job = f.job(sources);
        }
        const int rows = runImport(std::move(job), write);
        const Prompt::Shown shown = Prompt::lastShown();
        QVERIFY2(shown.text.contains(message), qPrintable(shown.text));
        if (failure == u"store"_s) {
            QCOMPARE(rows, 0);
            QVERIFY(f.names().isEmpty());
            QVERIFY(QFileInfo(f.store.folder()).isFile());
            return;
        }
        QCOMPARE(rows, 1);
        QCOMPARE(f.names(), QStringList { u"one"_s });
        QCOMPARE(f.storeFiles(), QStringList { f.list.textAt(0, f.list.fieldIndex(u"filename"_s)) });
        QVERIFY(!f.store.remove(u"../in/one.pdf"_s) && QFile::exists(sources[0])); // the store's own files only
    }

    void cancelUndoesTheFileInHand()
    {
        StoreFixture f;
        const QString big = f.source(u"second.pdf"_s, bytes(3 << 20, 1));
        auto job = f.job({ f.source(u"first.pdf"_s), big, f.source(u"third.pdf"_s) });
        EbookImport* running = job.get();
        running->setProgress([running](qint64 done, qint64) {
            if (running->index() == 1 && done > (1 << 20))
                running->cancel();
        });
        QCOMPARE(f.run(std::move(job)), 1);
        QCOMPARE(f.names(), QStringList { u"first"_s });
        QCOMPARE(f.storeFiles().size(), 1);
    }

    // A child process imports and is killed part-way: what it finished stays whole.
    void killedImport()
    {
        StoreFixture f;
        QStringList sources;
        for (int i = 0; i < 40; ++i)
            sources << f.source(u"book%1.pdf"_s.arg(i), bytes(4 << 20, quint32(i)));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), QStringList { u"--import-child"_s } + sources);
        QVERIFY(child.waitForStarted());
        int rows = 0;
        while (rows < 3 && child.waitForReadyRead(20000))
            rows += int(child.readAll().count('\n'));
        QVERIFY(rows >= 3);
        QThread::msleep(QRandomGenerator::global()->bounded(40));
        ::kill(pid_t(child.processId()), SIGKILL);
        child.waitForFinished();

        f.list.refresh();
        QVERIFY(f.list.recordCount() >= 3);
        QVERIFY(f.storeFiles().filter(u".part"_s).size() <= 1);
        // A ".part" still being written (another running copy's) stays; an old one goes.
        QCOMPARE(f.store.removeUnfinished(QDateTime::currentDateTime().addSecs(-60)), 0);
        f.store.removeUnfinished(QDateTime::currentDateTime().addSecs(1));
        QVERIFY(f.storeFiles().filter(u".part"_s).isEmpty());
        QVERIFY(f.storeFiles().size() - f.list.recordCount() <= 1); // a file whose row was not yet written
        // Such a file is found, never removed; other files are not the store's.
        QSet<QString> listed;
        for (int row = 0; row < f.list.recordCount(); ++row)
            listed << f.list.textAt(row, f.list.fieldIndex(u"filename"_s));
        writeFile(f.store.folder() + u"/notes.txt"_s, "not ours");
        const QString young = StoreNames::stamped(QDateTime::currentDateTime(), 7);
        writeFile(f.store.path(young), "no row");
        QVERIFY(!f.store.unlisted(listed, QDateTime::currentDateTime().addSecs(-60)).contains(young)); // too young
        const QStringList unlisted = f.store.unlisted(listed, QDateTime::currentDateTime().addSecs(1));
        QVERIFY(unlisted.contains(young) && unlisted.size() <= 2 && !unlisted.contains(u"notes.txt"_s));
        QCOMPARE(f.storeFiles().size(), f.list.recordCount() + unlisted.size() + 1);
        for (int row = 0; row < f.list.recordCount(); ++row) {
            const QString name = f.list.textAt(row, f.list.fieldIndex(u"name"_s));
            const QString stored = f.list.textAt(row, f.list.fieldIndex(u"filename"_s));
            QCOMPARE(f.store.read(stored), bytes(4 << 20, quint32(name.mid(4).section(u'.', 0, 0).toInt())));
        }
    }
};

// The child of killedImport: imports its arguments into QINGHE_HOME, a line per row.
static int importChild(const QStringList& sources)
{
    Prompt::setScripted(true);
    TDataModule2 module;
    RecordSet list(module.Adocon);
    list.setSql(QString::fromUtf16(EbookSql::allBooks));
    list.open();
    const auto write = rowWriter(list);
    runImport(std::make_unique<EbookImport>(EbookStore(AppPaths::path(u"corvina"_s)), sources),
        [&](const QString& name, const QString& storedName) {
            write(name, storedName);
            std::fputs("row\n", stdout);
            std::fflush(stdout);
        });
    return 0;
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--import-child") == 0)
        return importChild(app.arguments().mid(2));
    TestEbookStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_ebookstore.moc"
