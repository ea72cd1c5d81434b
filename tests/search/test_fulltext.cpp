#include "data/test_recordset_fixture.h"
#include "ebooks/TestPdf.h"

#include "ebooks/EbookStore.h"
#include "ebooks/RecycleBin.h"
#include "platform/AppPaths.h"
#include "format/Companion.h"
#include "search/FieldSearch.h"
#include "search/FullTextLibrary.h"
#include "search/FullTextSearch.h"
#include "text/PageNames.h"
#include "text/TextForms.h"
#include "crypto/AES.h"
#include "pdfworker/PdfWorkerClient.h"
#include "pdfworker/WorkerPdfs.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QSignalSpy>
#include <QElapsedTimer>

using namespace Qt::StringLiterals;

namespace {

const QString phrase = u"青禾书屋全文检索短语"_s;
[[maybe_unused]] const auto pageMaker = &makePdf; // the fixtures' maker of text-less books, unused here

// A PDF of `pages` pages, each saying which it is; `phrase` only on page `phrasePage`.
QByteArray textPdf(int pages, int phrasePage)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    QPainter painter(&writer);
    painter.setFont(QFont(u"WenQuanYi Micro Hei"_s, 14));
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.drawText(40, 60, u"Page %1 第%2页 普通文字"_s.arg(page + 1).arg(page + 1));
        if (page == phrasePage)
            painter.drawText(40, 120, u"这里是"_s + phrase + u"。"_s);
    }
    painter.end();
    return bytes;
}

// One page saying `text` (Latin letters), encrypted for a user password.
QByteArray protectedPdf(const QByteArray& text, const QByteArray& password)
{
    const Security security(password);
    std::vector<QByteArray> objects(7);
    objects[1] = "<< /Type /Catalog /Pages 2 0 R >>";
    objects[2] = "<< /Type /Pages /Kids [4 0 R] /Count 1 >>";
    objects[3] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    objects[4] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Resources << /Font << /F1 3 0 R >> >> "
                 "/Contents 5 0 R >>";
    const QByteArray content = rc4(security.objectKey(5), "BT /F1 14 Tf 20 300 Td (" + text + ") Tj ET\n");
    objects[5] = "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
    objects[6] = "<< /Filter /Standard /V 1 /R 2 /P -4 /O <" + security.owner.toHex() + "> /U <"
        + security.check.toHex() + "> >>";
    QByteArray pdf = "%PDF-1.4\n";
    QByteArray xref = "xref\n0 7\n0000000000 65535 f \n";
    for (size_t object = 1; object < objects.size(); ++object) {
        xref += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(object) + " 0 obj\n" + objects[object] + "\nendobj\n";
    }
    const QByteArray start = QByteArray::number(pdf.size());
    return pdf + xref + "trailer\n<< /Size 7 /Root 1 0 R /Encrypt 6 0 R /ID [<" + DocumentId.toHex() + "> <"
        + DocumentId.toHex() + ">] >>\nstartxref\n" + start + "\n%%EOF\n";
}

struct TextFixture : LibraryFixture
{
    TextFixture()
        : store(EbookStore(AppPaths::path(u"corvina"_s)))
    {
        QDir().mkpath(store.folder());
    }

    // Stores a PDF (made outside the data folder) and lists it; returns its stored name.
    QString add(const QString& name, const QByteArray& pdf, const QString& password = {})
    {
        const QString source = sources.filePath(name);
        QFile file(source);
        file.open(QIODevice::WriteOnly);
        file.write(pdf);
        file.close();
        const QString storedName = store.newStoredName();
        store.store(source, storedName);
        RecordSet rows(db());
        rows.setSql(u"select * from dzbook where 1=0"_s);
        rows.open();
        rows.append();
        rows.setText(u"name"_s, name);
        rows.setText(u"filename"_s, storedName);
        rows.setText(u"place"_s, password);
        rows.post();
        return storedName;
    }

    QList<FindHit> find(FullTextLibrary& library, const QString& text)
    {
        sqlite3* handle = FieldSearch::openReadOnly(db().databasePath());
        const auto close = qScopeGuard([handle] { FieldSearch::closeHandle(handle); });
        return FullTextSearch::run(handle, FindQuery::from(text), library);
    }

    QTemporaryDir sources;
    EbookStore store;
};

} // namespace

class TestFullText : public QObject
{
    Q_OBJECT
private slots:
    void extractionAndScan();
    void phraseFoundOnItsPage();
    void passwordSetLater();
    void damagedCompanionIsRebuilt();
    void killedBuildLeavesNoHalfCompanion();
    void scanFindsEveryPlaceOnce();
    void scanStopsAtTheCapAndWhenCalledOff();
    void textsThatCannotBeKeptAreSaidOnce();
    void hitsNameThePagesAsTheBookDoes();
    void companionsAreBoundedAndKept();
    void closingDuringABuildEndsAtOnce();
};

void TestFullText::extractionAndScan()
{
    // The worker reads the text page by page, in the viewer's page order.
    {
        TextFixture f;
        PdfWorkerClient worker;
        QStringList pages;
        const auto collect = [&](const WorkerProtocol::Frame& frame) { pages << frame.body.value(u"text"_s).toString(); };
        const WorkerResult read = worker.run(WorkerJob::text(f.store.path(f.add(u"a.pdf"_s, textPdf(3, 2))), {}), collect);
        QCOMPARE(read.result(), u"ok"_s);
        QCOMPARE(pages.size(), 3);
        QVERIFY(pages[2].contains(phrase));
        QVERIFY(!pages[1].contains(phrase));
        const QString locked = f.store.path(f.add(u"b.pdf"_s, protectedPdf("Secret", "pw")));
        QCOMPARE(worker.run(WorkerJob::text(locked, {})).result(), u"password"_s);
        QCOMPARE(worker.run(WorkerJob::text(f.store.path(f.add(u"c.pdf"_s, "not a pdf")), {})).result(), u"damaged"_s);
    }

    const BookText text = TextForms::bookText({ u"Alpha beta"_s, u"紅樓夢 and QT"_s, u"qt again, Qt"_s });
    QCOMPARE(FullTextSearch::occurrences(text.utf8, "qt").size(), 3); // either case
    const QList<FindHit> hits = FullTextSearch::pagesHolding(text, "qt");
    QCOMPARE(hits.size(), 2); // one per page
    QCOMPARE(hits[0].page, 1);
    QCOMPARE(hits[0].snippet.mid(hits[0].markStart, hits[0].markLength), u"QT"_s);
    // Kept in simplified characters: either form of a query finds it.
    QCOMPARE(FullTextSearch::pagesHolding(text, FullTextSearch::needleFor(FindQuery::from(u"红楼梦"_s))).size(), 1);
    QCOMPARE(FullTextSearch::pagesHolding(text, FullTextSearch::needleFor(FindQuery::from(u"紅樓夢"_s))).size(), 1);

    const std::optional<BookText> back = BookText::parse(text.serialize());
    QVERIFY(back);
    QCOMPARE(back->utf8, text.utf8);
    QCOMPARE(back->pageStarts, text.pageStarts);
    QByteArray damaged = text.serialize();
    damaged[damaged.size() - 3] = char(damaged[damaged.size() - 3] ^ 0x55);
    QVERIFY(!BookText::parse(damaged));
}

void TestFullText::phraseFoundOnItsPage()
{
    TextFixture f;
    const QString first = f.add(u"一.pdf"_s, textPdf(5, 3));
    const QString second = f.add(u"二.pdf"_s, textPdf(2, -1));
    FullTextLibrary library(f.store.folder(), f.db().databasePath());
    // A book the guard turns down never reaches the PDF engine, and gets no text.
    QStringList asked;
    library.setLoadCheck([&](const QString& storedName, const QString&, const PdfWorkerClient::Cancelled&) {
        asked << storedName;
        return storedName != second ? FullTextLibrary::LoadAnswer::Go : FullTextLibrary::LoadAnswer::SetAside;
    });
    library.refresh();
    QVERIFY(library.waitUntilIdle(60000));
    QCOMPARE(asked.size(), 2);
    QVERIFY(QFileInfo::exists(f.store.path(first) + u".text"_s));
    QVERIFY(!QFileInfo::exists(f.store.path(second) + u".text"_s));
    library.setLoadCheck({});
    library.clear();
    f.db().execute(u"update dzbook set place = 'x' where filename = '%1'"_s.arg(second)); // asked again
    library.refresh();
    QVERIFY(library.waitUntilIdle(60000));
    QVERIFY(QFileInfo::exists(f.store.path(second) + u".text"_s));

    QList<FindHit> hits = f.find(library, phrase);
    QCOMPARE(hits.size(), 1);
    QCOMPARE(hits[0].title, u"一.pdf"_s);
    QCOMPARE(hits[0].page, 3);
    QCOMPARE(hits[0].field, u"第 4 页"_s);
    QCOMPARE(hits[0].snippet.mid(hits[0].markStart, hits[0].markLength), phrase);
    QCOMPARE(f.find(library, u"普通文字"_s).size(), 7); // every page of both
    QCOMPARE(f.find(library, u"青禾書屋"_s).size(), 1); // traditional form of the phrase

    // A book in the recycle bin gives no hits; its companion waits in the bin with it.
    const qint64 firstId = f.db().scalar(u"select ID from dzbook where filename = '%1'"_s.arg(first)).toLongLong();
    QVERIFY(RecycleBin::removeEbook(f.db(), f.store, firstId, QDateTime::currentDateTime()));
    library.forget(first);
    QVERIFY(f.find(library, phrase).isEmpty());
    QVERIFY(QFileInfo::exists(f.store.binPath(first) + u".text"_s));

    // Nothing under the data folder (the bin included) holds the text in the clear, in any common encoding.
    QDirIterator files(f.dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    int looked = 0;
    while (files.hasNext()) {
        QFile file(files.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        for (const QByteArray& form :
            { phrase.toUtf8(), QByteArray(reinterpret_cast<const char*>(phrase.utf16()), phrase.size() * 2) })
            QVERIFY2(!bytes.contains(form), qPrintable(file.fileName()));
        QVERIFY2(!bytes.contains("Page 4"), qPrintable(file.fileName()));
        ++looked;
    }
    QVERIFY(looked >= 5); // library, two books, two companions
    RecycleBin::restore(f.db(), f.store, Trash::items(f.db()).first());
    QCOMPARE(f.find(library, phrase).size(), 1);

    // Deleting a book drops its hits and its companion.
    f.db().execute(u"delete from dzbook where filename = '%1'"_s.arg(first));
    QVERIFY(f.store.remove(first));
    library.forget(first);
    QVERIFY(!QFileInfo::exists(f.store.path(first) + u".text"_s));
    QVERIFY(f.find(library, phrase).isEmpty());
    QCOMPARE(f.find(library, u"普通文字"_s).size(), 2);
}

void TestFullText::passwordSetLater()
{
    TextFixture f;
    const QString stored = f.add(u"locked.pdf"_s, protectedPdf("Hidden Treasure", "pw"));
    FullTextLibrary library(f.store.folder(), f.db().databasePath());
    library.refresh();
    QVERIFY(library.waitUntilIdle(60000));
    QVERIFY(!QFileInfo::exists(f.store.path(stored) + u".text"_s)); // skipped: no password
    QVERIFY(f.find(library, u"treasure"_s).isEmpty());

    f.db().execute(u"update dzbook set place = 'wrong'"_s);
    library.refresh();
    QVERIFY(library.waitUntilIdle(60000));
    QVERIFY(f.find(library, u"treasure"_s).isEmpty());

    f.db().execute(u"update dzbook set place = ' pw '"_s); // blanks around, as typed
    library.refresh();
    QVERIFY(library.waitUntilIdle(60000));
    const QList<FindHit> hits = f.find(library, u"treasure"_s);
    QCOMPARE(hits.size(), 1);
    QCOMPARE(hits[0].page, 0);
}

void TestFullText::damagedCompanionIsRebuilt()
{
    TextFixture f;
    const QString stored = f.add(u"书.pdf"_s, textPdf(2, 1));
    FullTextLibrary library(f.store.folder(), f.db().databasePath());
    library.refresh();
    QVERIFY(library.waitUntilIdle(60000));
    const QString companion = f.store.path(stored) + u".text"_s;
    const QByteArray sound = [&] {
        QFile file(companion);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    for (const QByteArray& damage : { sound.left(sound.size() / 2), QByteArray("junk"), QByteArray() }) {
        QFile file(companion);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damage);
        file.close();
        library.clear();
        QVERIFY(f.find(library, phrase).isEmpty()); // no error: it is made again
        QVERIFY(library.waitUntilIdle(60000));
        QCOMPARE(f.find(library, phrase).size(), 1);
    }
    QFile::remove(companion);
    library.clear();
    QVERIFY(f.find(library, phrase).isEmpty());
    QVERIFY(library.waitUntilIdle(60000));
    QCOMPARE(f.find(library, phrase).size(), 1);

    // The store's clean-up takes a text whose book file is gone, and only that.
    const QString orphan = f.store.path(StoreNames::stamped(QDateTime::currentDateTime(), 5)) + u".text"_s;
    QFile file(orphan);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(f.store.removeStrayCompanions(), 1);
    QVERIFY(!QFileInfo::exists(orphan));
    QVERIFY(QFileInfo::exists(companion));
}

void TestFullText::killedBuildLeavesNoHalfCompanion()
{
    TextFixture f;
    const QByteArray big = textPdf(400, 399);
    QStringList stored;
    for (int i = 0; i < 12; ++i)
        stored << f.add(u"book%1.pdf"_s.arg(i), big);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    child.start(
        QCoreApplication::applicationFilePath(), { u"--build-child"_s, f.store.folder(), f.db().databasePath() });
    QVERIFY(child.waitForStarted());
    QVERIFY(child.waitForReadyRead(60000)); // one book done
    QThread::msleep(QRandomGenerator::global()->bounded(200));
    child.kill(); // SIGKILL
    child.waitForFinished();

    int whole = 0;
    for (const QString& name : stored) {
        const QString path = f.store.path(name);
        if (QFileInfo::exists(path + u".text"_s)) {
            QVERIFY2(Companion::read(path), qPrintable(name)); // never a half-written one
            ++whole;
        }
    }
    QVERIFY(whole >= 1);
    QVERIFY(whole < stored.size());
    f.store.removeUnfinished(QDateTime::currentDateTime().addSecs(5));
    QVERIFY(QDir(f.store.folder()).entryList({ u"*.part"_s }, QDir::Files).isEmpty());
    // The next run makes the rest.
    FullTextLibrary library(f.store.folder(), f.db().databasePath());
    library.refresh();
    QVERIFY(library.waitUntilIdle(120000));
    QCOMPARE(f.find(library, phrase).size(), stored.size());
}

// Every place of a needle, the slow and sure way: each start compared, ASCII letters caseless.
static QList<qsizetype> everyPlace(const QByteArray& text, const QByteArray& needle)
{
    QList<qsizetype> found;
    const QByteArray low = text.toLower();
    const QByteArray wanted = needle.toLower();
    for (qsizetype at = 0; at + wanted.size() <= low.size();) {
        if (low.mid(at, wanted.size()) == wanted) {
            found << at;
            at += wanted.size();
        } else {
            ++at;
        }
    }
    return found;
}

void TestFullText::scanFindsEveryPlaceOnce()
{
    // The scans against the plain definition, on texts made of few letters so
    // that near misses abound, long enough for the sixteen-at-a-time scan and
    // its tail, with the bytes one bit away from a letter's case ('@', '`').
    QRandomGenerator random(25);
    const QByteArray letters = "aAbB中x@`";
    for (int round = 0; round < 600; ++round) {
        QByteArray text;
        const int size = int(random.bounded(120));
        for (int i = 0; i < size; ++i)
            text += letters.at(int(random.bounded(letters.size())));
        QByteArray needle;
        const int length = 1 + int(random.bounded(5));
        for (int i = 0; i < length; ++i)
            needle += "aAbB@"[random.bounded(5)];
        QCOMPARE(FullTextSearch::occurrences(text, needle), everyPlace(text, needle));
    }
    // The other case of the first byte only long after the first place.
    const QByteArray text = QByteArray(5000, 'x') + "ab" + QByteArray(5000, 'y') + "AB" + "ab";
    QCOMPARE(FullTextSearch::occurrences(text, "ab"), (QList<qsizetype> { 5000, 10002, 10004 }));
    QCOMPARE(FullTextSearch::occurrences(text, "ab", 2).size(), 2);
}

void TestFullText::scanStopsAtTheCapAndWhenCalledOff()
{
    // A letter on every line of a long book: one hit a page, the first 200 pages.
    QStringList pages;
    for (int page = 0; page < 1024; ++page)
        pages << QString(u"the sentence here, "_s).repeated(40);
    const BookText text = TextForms::bookText(pages);
    const QList<FindHit> hits = FullTextSearch::pagesHolding(text, "e");
    QCOMPARE(hits.size(), FullTextSearch::MaxPagesPerBook);
    for (int i = 0; i < hits.size(); ++i)
        QCOMPARE(hits[i].page, i);
    QCOMPARE(FullTextSearch::pagesHolding(text, "E", 5000).size(), 1024);
    QCOMPARE(FullTextSearch::pagesHolding(text, "here, the", 5000).size(), 1024);
    const std::atomic<bool> calledOff { true };
    QVERIFY(FullTextSearch::pagesHolding(text, "e", 5000, &calledOff).isEmpty());
}

void TestFullText::textsThatCannotBeKeptAreSaidOnce()
{
    TextFixture f;
    const QString first = f.add(u"一.pdf"_s, textPdf(2, 1));
    const QString second = f.add(u"二.pdf"_s, textPdf(2, 0));
    // Where the texts go cannot be written (a folder in the way of each
    // companion's temporary file stands for a read-only folder, whoever runs this).
    for (const QString& stored : { first, second })
        QVERIFY(QDir().mkpath(f.store.path(stored) + u".text.part"_s));
    FullTextLibrary library(f.store.folder(), f.db().databasePath());
    QStringList said;
    connect(&library, &FullTextLibrary::problemFound, [&](const QString& why) { said << why; });
    QVERIFY(library.problem().isEmpty());
    library.refresh();
    QVERIFY(library.waitUntilIdle(60000));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(said.size(), 1);
    QCOMPARE(library.problem(), said.first());
    QVERIFY2(said.first().contains(QDir::toNativeSeparators(f.store.folder())), qPrintable(said.first()));
    QVERIFY(f.find(library, phrase).isEmpty());
}

void TestFullText::hitsNameThePagesAsTheBookDoes()
{
    TextFixture f;
    const QString stored = f.add(u"书.pdf"_s, textPdf(5, 3));
    FullTextLibrary library(f.store.folder(), f.db().databasePath());
    library.refresh();
    QVERIFY(library.waitUntilIdle(60000));
    QCOMPARE(f.find(library, phrase).value(0).field, u"第 4 页"_s);
    // Learnt when the book was read: two pages of front matter, then 1, 2, 3.
    PageNames::remember(f.db(), stored, { u"i"_s, u"ii"_s, u"1"_s, u"2"_s, u"3"_s });
    QCOMPARE(f.find(library, phrase).value(0).field, u"第 2 页（PDF 第 4 页）"_s);
    PageNames::remember(f.db(), stored, { u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s }); // mere numbers: none kept
    QCOMPARE(f.count(u"select count(*) from qh_pagelabels"_s), u"0"_s);
    QCOMPARE(f.find(library, phrase).value(0).field, u"第 4 页"_s);
}

// Texts in memory stay under the budget; a companion larger than its book can
// hold (a crafted backup's) is refused before it is inflated, and made again;
// one that cannot be read now is reported and left alone.
void TestFullText::companionsAreBoundedAndKept()
{
    TextFixture f;
    QStringList stored;
    for (int i = 0; i < 4; ++i)
        stored << f.add(u"书%1.pdf"_s.arg(i), textPdf(20, 19));
    FullTextLibrary library(f.store.folder(), f.db().databasePath());
    library.refresh();
    QVERIFY(library.waitUntilIdle(120000));
    const qint64 one = library.text(stored[0])->utf8.size();
    library.clear();
    library.setCacheBudget(one * 2 + one / 2);
    QCOMPARE(f.find(library, phrase).size(), 4); // every book searched ...
    QVERIFY(library.cachedBytes() <= one * 2 + one / 2); // ... two kept

    // A bomb: its compressed form claims four gigabytes of text.
    const QString companion = f.store.path(stored[0]) + u".text"_s;
    QByteArray bomb = QByteArray::fromHex("5148545800000003") + QByteArray::fromHex("28B52FFD") + char(0xE0);
    for (int i = 0; i < 8; ++i)
        bomb += char((quint64(4) << 30 >> (8 * i)) & 0xff);
    bomb += QByteArray(64 * 1024, '\0');
    const QString plain = f.sources.filePath(u"bomb"_s);
    QFile file(plain);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bomb);
    file.close();
    AesEncryptFile(plain.toStdString(), companion.toStdString(), kEbookKey, 2);
    library.clear();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!library.text(stored[0]));
    QVERIFY(clock.elapsed() < 2000);
    QVERIFY(!QFileInfo::exists(companion)); // refused and gone: made again
    QVERIFY(library.waitUntilIdle(120000));
    QVERIFY(library.text(stored[0]));

    // Not readable now (here: a folder in its place): reported, and left alone.
    const QString other = f.store.path(stored[1]) + u".text"_s;
    QVERIFY(QFile::remove(other));
    QVERIFY(QDir().mkdir(other));
    library.clear();
    QSignalSpy reported(&library, &FullTextLibrary::textUnreadable);
    QVERIFY(!library.text(stored[1]));
    QCOMPARE(reported.size(), 1);
    QVERIFY(QFileInfo(other).isDir());
    QCOMPARE(f.find(library, phrase).size(), 3); // the others are still found
}

// Closing the program while the builder reads a page dense with text (its
// worker busy inside the page) ends the builder and the worker at once, and
// leaves no companion behind.
void TestFullText::closingDuringABuildEndsAtOnce()
{
    TextFixture f;
    const QString stored = f.add(u"密集.pdf"_s, denseTextPdf(1500000));
    auto library = std::make_unique<FullTextLibrary>(f.store.folder(), f.db().databasePath());
    library->refresh();
    QTRY_VERIFY_WITH_TIMEOUT(library->pending() > 0, 20000);
    QTest::qWait(300); // the worker is in the page by now (it needs seconds for it)
    QElapsedTimer clock;
    clock.start();
    library.reset();
    qInfo("closed during a build in %lld ms", clock.elapsed());
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!QFileInfo::exists(f.store.path(stored) + u".text"_s));
}

// The child of killedBuildLeavesNoHalfCompanion: builds every text, a line per book.
static int buildChild(const QString& store, const QString& database)
{
    FullTextLibrary library(store, database);
    QObject::connect(&library, &FullTextLibrary::textBuilt, [] {
        std::fputs("built\n", stdout);
        std::fflush(stdout);
    });
    library.refresh();
    library.waitUntilIdle(600000);
    return 0;
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc > 3 && qstrcmp(argv[1], "--build-child") == 0)
        return buildChild(app.arguments().at(2), app.arguments().at(3));
    TestFullText test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_fulltext.moc"
