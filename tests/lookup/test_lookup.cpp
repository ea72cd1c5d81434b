// Looking books up by ISBN against a local server that answers in the
// sources' real forms: the mapping and merging of fields, and every way an
// answer can go wrong (unknown, malformed, 500, slow, huge, redirected).

#include "data/Isbn.h"
#include "lookup/BookLookup.h"
#include "lookup/BookSource.h"
#include "pictures/CoverPicture.h"
#include "lookup/SourcesFixture.h"

#include <QBuffer>
#include <QImageReader>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Lookup::Answer;
using Outcome = Lookup::Answer::Outcome;

class TestLookup : public QObject
{
    Q_OBJECT

    // Looks one ISBN up and waits for its answer.
    static Answer ask(Lookup::BookLookup& lookup, const QString& isbn, int waitMs = 8000)
    {
        QSignalSpy answered(&lookup, &Lookup::BookLookup::answered);
        const int ticket = lookup.lookUp(isbn);
        if (!answered.wait(waitMs))
            return { Outcome::NotFound, u"(no answer)"_s, {}, {}, {}, {}, u"timeout"_s };
        [&] { QCOMPARE(answered.first().at(0).toInt(), ticket); }();
        return answered.first().at(1).value<Answer>();
    }

private slots:
    void cleaning_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("memo");
        QTest::newRow("entities") << u"Tom &amp; Huck &#39;s &#x4E66; &lt;b&gt; &bogus;"_s
                                  << u"Tom & Huck 's 书 <b> &bogus;"_s << u"Tom & Huck 's 书 <b> &bogus;"_s;
        QTest::newRow("tags") << u"<p>One <i>two</i></p><p>three<br/>four</p>"_s << u"One two three four"_s
                              << u"One two\nthree\nfour"_s;
        QTest::newRow("controls and NUL") << u"a\u0000b\u0007c\td\r\ne"_s << u"abc d e"_s << u"abc d\ne"_s;
        QTest::newRow("no character") << u"x&#0;&#xD800;&#x110000;y"_s << u"xy"_s << u"xy"_s;
    }
    void cleaning()
    {
        QFETCH(QString, raw);
        QFETCH(QString, line);
        QFETCH(QString, memo);
        QCOMPARE(Lookup::cleanLine(raw), line);
        QCOMPARE(Lookup::cleanMemo(raw), memo);
    }

    void cutAndLanguages()
    {
        // Cut by characters as the database counts them; a pair is never split.
        const QString clef = QString::fromUcs4(U"𝄞", 1);
        QCOMPARE(Lookup::cutTo(u"abc"_s, 2), u"ab"_s);
        QCOMPARE(Lookup::cutTo(u"a"_s + clef + u"b"_s, 2), u"a"_s + clef);
        QCOMPARE(Lookup::cutTo(QString(300, u'书'), Lookup::ShortColumn).size(), 255);
        Lookup::BookFields long_;
        long_.name = QString(400, u'x');
        QCOMPARE(Lookup::fitted(long_).name.size(), 255);
        QCOMPARE(Lookup::languageName(u"zh-CN"_s), u"中文"_s);
        QCOMPARE(Lookup::languageName(u"en"_s), u"英文"_s);
        QCOMPARE(Lookup::languageName(u"/languages/jpn"_s), u"日文"_s);
        QCOMPARE(Lookup::languageName(u"xx"_s), QString());
    }

    // Open Library first for most ISBNs: its title and publisher win, Google
    // Books fills what it lacks (the description, the language).
    void mergesInOpenLibraryOrder()
    {
        SourcesFixture sources;
        Lookup::BookLookup lookup;
        const Answer answer = ask(lookup, u"978-0-451-52653-3"_s);
        QCOMPARE(answer.outcome, Outcome::Found);
        QCOMPARE(answer.isbn13, u"9780451526533"_s);
        QCOMPARE(answer.fields.name, u"The adventures of Tom Sawyer"_s);
        QCOMPARE(answer.fields.zuozhe, u"Mark Twain"_s);
        QCOMPARE(answer.fields.publish, u"Signet Classic"_s);
        QCOMPARE(answer.fields.yuzhong, u"英文"_s);
        QCOMPARE(answer.fields.contentjj,
            u"Tom Sawyer & Huck Finn's adventures along the Mississippi.\nWith an introduction by Robert S. Tumin."_s);
        // The cover is Open Library's large one, stored as a JPEG of the program's own making.
        QVERIFY(sources.server.targets().contains("/b/id/295577-L.jpg"));
        QVERIFY(answer.coverJpeg.startsWith("\xFF\xD8\xFF") && answer.coverJpeg != sources.cover);
        QCOMPARE(QImage::fromData(answer.coverJpeg).size(), QSize(300, 450));
        QVERIFY(!answer.coverPreview.isNull());
    }

    // 978-7: Google Books first; an ISBN-10 is asked as its ISBN-13.
    void chinesePublishersAskGoogleFirst()
    {
        SourcesFixture sources;
        Lookup::BookLookup lookup;
        const Answer answer = ask(lookup, u"7-02-000220-X"_s);
        QCOMPARE(answer.outcome, Outcome::Found);
        QCOMPARE(answer.isbn13, u"9787020002207"_s);
        QCOMPARE(answer.fields.name, u"红楼梦"_s);
        QCOMPARE(answer.fields.zuozhe, u"曹雪芹，高鹗"_s);
        QCOMPARE(answer.fields.publish, u"人民文学出版社"_s);
        QCOMPARE(answer.fields.yuzhong, u"中文"_s);
        QVERIFY(!answer.fields.contentjj.contains(QChar(0)));
        QVERIFY(answer.fields.contentjj.startsWith(u"《红楼梦》是一部"_s));
        // Open Library has no cover for it: Google's largest link.
        QVERIFY(sources.server.targets().last().startsWith("/books/content?id=dCPAtAEACAAJ"));
        QVERIFY(sources.server.targets().last().contains("zoom=1"));
        QVERIFY(!answer.coverJpeg.isEmpty());
        bool askedIsbn13 = false;
        for (const QByteArray& target : sources.server.targets())
            askedIsbn13 |= target.contains("9787020002207");
        QVERIFY(askedIsbn13);
    }

    // Google Books lists other editions beside the one asked for: the volume
    // carrying the ISBN (here as its ISBN-10) is the one taken.
    void googleTakesTheVolumeOfTheIsbn()
    {
        SourcesFixture sources;
        Lookup::BookLookup lookup;
        const QString isbn = SourcesFixture::isbn13(u"978000000006"_s);
        const QByteArray answer = R"({"kind": "books#volumes", "totalItems": 2, "items": [
            {"kind": "books#volume", "volumeInfo": {"title": "Another edition",
             "industryIdentifiers": [{"type": "ISBN_13", "identifier": "9780000000075"}]}},
            {"kind": "books#volume", "volumeInfo": {"title": "This edition",
             "industryIdentifiers": [{"type": "OTHER", "identifier": "UOM:39015"},
                                     {"type": "ISBN_10", "identifier": ")" + Isbn::toIsbn10(isbn).toLatin1() + R"("}]}}]})";
        sources.special.insert({ SourcesFixture::GoogleBooks, isbn }, BookServer::Reply { 200, answer });
        QCOMPARE(ask(lookup, isbn).fields.name, u"This edition"_s);
    }

    void unknownAndInvalid()
    {
        SourcesFixture sources;
        Lookup::BookLookup lookup;
        Answer answer = ask(lookup, SourcesFixture::isbn13(u"978000000001"_s));
        QCOMPARE(answer.outcome, Outcome::NotFound);
        QCOMPARE(sources.server.requests(), 2);
        answer = ask(lookup, u"978-7-02-000220-8"_s); // wrong check digit
        QCOMPARE(answer.outcome, Outcome::Invalid);
        QCOMPARE(answer.typed, u"978-7-02-000220-8"_s);
        QCOMPARE(sources.server.requests(), 2); // never asked
    }

    // Answers that are no answers: the failure is reported, never "not found",
    // unless the other source found the book.
    void badAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("sendLength");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("500") << 500 << QByteArray("oops") << true << u""_s;
        QTest::newRow("malformed JSON") << 200 << QByteArray("{\"totalItems\": 1, \"items\": [") << true
                                        << u"无法识别"_s;
        QTest::newRow("not an object") << 200 << QByteArray("[1, 2]") << true << u"无法识别"_s;
        QTest::newRow("huge, announced") << 200 << QByteArray(3 * 1024 * 1024, ' ') << true << u"2 MB"_s;
        QTest::newRow("huge, unannounced") << 200 << QByteArray(3 * 1024 * 1024, ' ') << false << u"2 MB"_s;
    }
    void badAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, sendLength);
        QFETCH(QString, reasonPart);
        SourcesFixture sources;
        Lookup::BookLookup lookup;
        BookServer::Reply bad { status, body };
        bad.sendLength = sendLength;
        const QString unknown = SourcesFixture::isbn13(u"978000000002"_s);
        sources.special.insert({ SourcesFixture::OpenLibrary, unknown }, bad);
        sources.special.insert({ SourcesFixture::GoogleBooks, unknown }, bad);
        Answer answer = ask(lookup, unknown);
        QCOMPARE(answer.outcome, Outcome::Unreachable);
        QVERIFY2(!answer.reason.isEmpty() && answer.reason.contains(reasonPart), qPrintable(answer.reason));

        // The same failure of one source while the other knows the book.
        sources.special.insert({ SourcesFixture::GoogleBooks, u"9780451526533"_s }, bad);
        answer = ask(lookup, u"9780451526533"_s);
        QCOMPARE(answer.outcome, Outcome::Found);
        QCOMPARE(answer.fields.name, u"The adventures of Tom Sawyer"_s);
        QCOMPARE(answer.fields.contentjj, QString());
    }

    // The answers are read in the helper process: without one, the look-up
    // says so instead of reading them here.
    void noReaderNoAnswer()
    {
        SourcesFixture sources;
        const QByteArray worker = qgetenv("QINGHE_PDF_WORKER");
        qputenv("QINGHE_PDF_WORKER", "/nonexistent/qinghe");
        const auto restore = qScopeGuard([&] { qputenv("QINGHE_PDF_WORKER", worker); });
        Lookup::BookLookup lookup;
        const Answer answer = ask(lookup, u"9780451526533"_s);
        QCOMPARE(answer.outcome, Outcome::Unreachable);
        QVERIFY2(answer.reason.contains(u"无法读取"_s), qPrintable(answer.reason));
    }

    void slowAnswersTimeOut()
    {
        SourcesFixture sources;
        sources.delayMs = 1500;
        Lookup::BookLookup lookup;
        lookup.setRequestTimeout(400);
        QElapsedTimer clock;
        clock.start();
        const Answer answer = ask(lookup, u"9780451526533"_s);
        QCOMPARE(answer.outcome, Outcome::Unreachable);
        QVERIFY(answer.reason.contains(u"0.4"_s));
        QVERIFY(clock.elapsed() < 1400);
    }

    void redirects()
    {
        SourcesFixture sources;
        Lookup::BookLookup lookup;
        const QString moved = SourcesFixture::isbn13(u"978000000003"_s);
        // Within the same host: followed.
        BookServer::Reply redirect { 302, {} };
        redirect.location = "/moved/openlibrary";
        sources.special.insert({ SourcesFixture::OpenLibrary, moved }, redirect);
        sources.extra = [&](const QUrl& url) -> BookServer::Reply {
            if (url.path() == u"/moved/openlibrary"_s)
                return { 200, "{\"ISBN:" + moved.toLatin1() + "\": {\"title\": \"Moved\"}}" };
            return { 404, {} };
        };
        Answer answer = ask(lookup, moved);
        QCOMPARE(answer.outcome, Outcome::Found);
        QCOMPARE(answer.fields.name, u"Moved"_s);
        // To another host in the clear: refused, and that host is never asked.
        redirect.location = "http://localhost:" + QByteArray::number(sources.server.port()) + "/moved/openlibrary";
        sources.special.insert({ SourcesFixture::OpenLibrary, moved }, redirect);
        sources.server.resetCounts();
        answer = ask(lookup, moved);
        QCOMPARE(answer.outcome, Outcome::Unreachable);
        QVERIFY2(answer.reason.contains(u"拒绝转向"_s), qPrintable(answer.reason));
        QCOMPARE(sources.server.requests(), 2);
    }

    // The system's proxy (http_proxy here) carries the requests: the sources'
    // own hosts, which do not resolve, are never looked up by this side.
    void systemProxy()
    {
        SourcesFixture sources;
        const QList<QByteArray> names { "http_proxy", "no_proxy", "QINGHE_OPENLIBRARY_URL", "QINGHE_GOOGLEBOOKS_URL" };
        QList<QByteArray> before;
        for (const QByteArray& name : names)
            before << qgetenv(name.constData());
        const auto restore = qScopeGuard([&] {
            for (qsizetype i = 0; i < names.size(); ++i)
                qputenv(names.at(i).constData(), before.at(i));
        });
        qputenv("http_proxy", sources.server.base().toString().toUtf8());
        qputenv("no_proxy", "");
        qputenv("QINGHE_OPENLIBRARY_URL", "http://openlibrary.invalid");
        qputenv("QINGHE_GOOGLEBOOKS_URL", "http://googlebooks.invalid");
        Lookup::BookLookup lookup;
        const Answer answer = ask(lookup, u"9780451526533"_s);
        QCOMPARE(answer.outcome, Outcome::Found);
        QCOMPARE(answer.fields.name, u"The adventures of Tom Sawyer"_s);
        QVERIFY(sources.server.targets().contains(
            "http://openlibrary.invalid/api/books?bibkeys=ISBN:9780451526533&jscmd=data&format=json"));
        QVERIFY(sources.server.targets().contains("http://googlebooks.invalid/books/v1/volumes?q=isbn:9780451526533"));
    }

    // Covers: too large in bytes or in pixels, damaged, or of another type.
    void covers()
    {
        SourcesFixture sources;
        Lookup::BookLookup lookup;
        BookServer::Reply huge { 200, QByteArray(11 * 1024 * 1024, 'x') };
        sources.coverReply = huge;
        Answer answer = ask(lookup, u"9780451526533"_s);
        QCOMPARE(answer.outcome, Outcome::Found);
        QVERIFY(answer.coverJpeg.isEmpty());

        // A frame of a kind no decoder takes.
        QByteArray damaged = sources.cover;
        damaged.replace("\xFF\xC0", "\xFF\xC5");
        sources.coverReply = BookServer::Reply { 200, damaged };
        QVERIFY(ask(lookup, u"9780451526533"_s).coverJpeg.isEmpty());

        sources.coverReply = BookServer::Reply { 200, SourcesFixture::jpeg(QSize(120, 180), "PNG") };
        answer = ask(lookup, u"9780451526533"_s);
        QVERIFY(answer.coverJpeg.startsWith("\xFF\xD8\xFF"));
        QCOMPARE(QImage::fromData(answer.coverJpeg).size(), QSize(120, 180));

        // A big but sound cover (a photo-like PNG of several megabytes) is taken.
        QImage noisy(1600, 1200, QImage::Format_RGB32);
        quint32 seed = 7;
        for (int y = 0; y < noisy.height(); ++y) {
            auto* line = reinterpret_cast<quint32*>(noisy.scanLine(y));
            for (int x = 0; x < noisy.width(); ++x)
                line[x] = (seed = seed * 1664525u + 1013904223u) | 0xFF000000u;
        }
        QByteArray big;
        QBuffer buffer(&big);
        buffer.open(QIODevice::WriteOnly);
        noisy.save(&buffer, "PNG", 0);
        QVERIFY(big.size() > 5 * 1024 * 1024 && big.size() < Lookup::BookLookup::MaxCoverBytes);
        sources.coverReply = BookServer::Reply { 200, big };
        answer = ask(lookup, u"9780451526533"_s);
        QCOMPARE(QImage::fromData(answer.coverJpeg).size(), QSize(1600, 1200));

        // A header that claims more pixels than the editor takes.
        QByteArray giant = SourcesFixture::jpeg(QSize(16, 16));
        const qsizetype sof = giant.indexOf("\xFF\xC0");
        QVERIFY(sof > 0);
        giant[sof + 5] = char(0xFF);
        giant[sof + 6] = char(0xFF);
        giant[sof + 7] = char(0xFF);
        giant[sof + 8] = char(0xFF);
        QVERIFY(Pictures::coverPicture(giant, QSize(100, 100)).jpeg.isEmpty());
    }

    // At most four requests at once to a host, whatever the number of ISBNs;
    // a cancelled look-up answers nothing.
    void limitsAndCancel()
    {
        SourcesFixture sources;
        sources.delayMs = 150;
        Lookup::BookLookup lookup;
        QSignalSpy answered(&lookup, &Lookup::BookLookup::answered);
        QList<int> tickets;
        for (int i = 0; i < 10; ++i)
            tickets << lookup.lookUp(SourcesFixture::isbn13(u"97800000010"_s + QString::number(i)));
        lookup.cancel(tickets.at(9));
        QTRY_COMPARE_WITH_TIMEOUT(answered.size(), 9, 10000);
        QCOMPARE(sources.server.mostAtOnce(), Lookup::BookLookup::PerHost);
        for (const QList<QVariant>& arguments : answered)
            QVERIFY(arguments.at(0).toInt() != tickets.at(9));
        QVERIFY(!lookup.isBusy());
        QTest::qWait(200);
        QCOMPARE(answered.size(), 9);
    }
};

QTEST_GUILESS_MAIN(TestLookup)
#include "test_lookup.moc"
