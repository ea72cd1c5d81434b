// 批量添加 of 100 ISBNs against local stand-ins for the two book sources and
// their cover host, each answering every request after 200 ms: the time until
// every row is looked up (covers included) against the ideal of
// 100 × 0.2 s ÷ 4 requests at once, and the window thread's longest gap.
//
//     bench_lookup [books] [delay ms]

#include "lookup/BookServer.h"
#include "widgets/LoopGaps.h"

#include "catalogue/TfmBatch.h"
#include "data/udata.h"
#include "lookup/BookLookup.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

QString isbn13(int n)
{
    const QString twelve = u"978000%1"_s.arg(n, 6, 10, QChar(u'0'));
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += twelve.at(i).digitValue() * (i % 2 ? 3 : 1);
    return twelve + QString::number((10 - sum % 10) % 10);
}

QByteArray coverJpeg()
{
    QImage image(400, 600, QImage::Format_RGB32);
    image.fill(QColor(90, 60, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

// The time bare Qt Network takes for `count` requests to one server, four at once.
double reference(const QUrl& base, int count)
{
    QNetworkAccessManager network;
    QElapsedTimer clock;
    clock.start();
    int started = 0;
    int ended = 0;
    std::function<void()> next = [&] {
        if (started >= count)
            return;
        QUrl url = base;
        url.setPath(u"/api/books"_s);
        url.setQuery(u"bibkeys=ISBN:%1"_s.arg(isbn13(started++)));
        QNetworkReply* reply = network.get(QNetworkRequest(url));
        QObject::connect(reply, &QNetworkReply::finished, reply, [&, reply] {
            reply->deleteLater();
            ++ended;
            next();
        });
    };
    for (int i = 0; i < 4; ++i)
        next();
    while (ended < count)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return clock.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("no_proxy", "127.0.0.1,localhost");
    if (qEnvironmentVariableIsEmpty("QINGHE_PDF_WORKER"))
        qputenv("QINGHE_PDF_WORKER", QINGHE_PROGRAM);
    QApplication app(argc, argv);
    const int books = argc > 1 ? std::atoi(argv[1]) : 100;
    const int delay = argc > 2 ? std::atoi(argv[2]) : 200;

    QTemporaryDir dir;
    qputenv("QINGHE_HOME", dir.path().toUtf8());
    TDataModule2 module;

    BookServer openLibrary;
    BookServer google;
    BookServer covers;
    const QByteArray cover = coverJpeg();
    openLibrary.route = [&](const QByteArray& target) {
        const QString isbn = QUrlQuery(QUrl(QString::fromLatin1(target))).queryItemValue(u"bibkeys"_s).mid(5);
        const QByteArray body = "{\"ISBN:" + isbn.toLatin1() + "\": {\"title\": \"Book " + isbn.toLatin1()
            + "\", \"authors\": [{\"name\": \"An Author\"}], \"publishers\": [{\"name\": \"A Press\"}], \"cover\": "
              "{\"large\": \""
            + covers.base().toString().toLatin1() + "/b/isbn/" + isbn.toLatin1() + "-L.jpg\"}}}";
        return BookServer::Reply(200, body, delay);
    };
    google.route = [&](const QByteArray&) {
        return BookServer::Reply(200,
            "{\"kind\": \"books#volumes\", \"totalItems\": 1, \"items\": [{\"volumeInfo\": {\"title\": \"A Book\", "
            "\"description\": \"About it.\", \"language\": \"en\"}}]}",
            delay);
    };
    covers.route = [&](const QByteArray&) {
        BookServer::Reply reply(200, cover, delay);
        reply.contentType = "image/jpeg";
        return reply;
    };
    qputenv("QINGHE_OPENLIBRARY_URL", openLibrary.base().toString().toUtf8());
    qputenv("QINGHE_GOOGLEBOOKS_URL", google.base().toString().toUtf8());

    const double floor = reference(openLibrary.base(), books);
    openLibrary.resetCounts();

    QStringList isbns;
    for (int i = 0; i < books; ++i)
        isbns << isbn13(i);
    TfmBatch batch;
    batch.show();
    QCoreApplication::processEvents();
    LoopGaps gaps;
    QElapsedTimer clock;
    clock.start();
    batch.addIsbns(isbns);
    const qint64 adding = clock.elapsed();
    while (batch.bookLookup()->isBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double took = clock.elapsed() / 1000.0;
    const qint64 gap = gaps.longest();
    int found = 0;
    int withCover = 0;
    for (int i = 0; i < batch.stack().size(); ++i) {
        found += batch.stack().row(i).state == BatchStack::State::Found ? 1 : 0;
        withCover += batch.stack().row(i).coverJpeg.isEmpty() ? 0 : 1;
    }
    const double ideal = books * (delay / 1000.0) / Lookup::BookLookup::PerHost;
    const double ratio = took / ideal;
    std::printf("bench_lookup: %d ISBNs, every answer after %d ms (found %d, with cover %d; %d + %d + %d requests)\n",
        books, delay, found, withCover, openLibrary.requests(), google.requests(), covers.requests());
    std::printf("  bare Qt Network, %d requests 4 at once: %6.2f s\n", books, floor);
    std::printf("  批量添加 until every row is looked up:   %6.2f s   ratio %.2f to the ideal %.2f s (goal <= 1.2); "
                "longest window gap %lld ms (goal <= 100; putting the %d rows on the stack took %lld ms)\n",
        took, ratio, ideal, static_cast<long long>(gap), books, static_cast<long long>(adding));
    std::printf("%s\n", ratio <= 1.2 && gap <= 100 && found == books ? "goal met" : "GOAL MISSED");
    return 0;
}
