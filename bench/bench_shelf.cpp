// Shelf listing of many large covers, timed beside two references in the same run:
//  (a) full-size decoding plus smooth scaling of the same covers, one after another;
//  (b) the floor: libjpeg-turbo decoding each cover at 1/8 scale, spread over all cores.
// Then the same listing again, served from the thumbnail cache.
//
//   bench_shelf [books=1000] [distinct covers=32] [rounds=2]

#include "shell/ShelfListing.h"
#include "pictures/ThumbnailCache.h"
#include "pictures/Thumbnails.h"
#include "data/udata.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

#include <jpeglib.h>

#include "NoisyPhoto.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int CoverWidth = NoisyPhoto::Width;
constexpr int CoverHeight = NoisyPhoto::Height;

// The floor: libjpeg-turbo's own 1/8 decode and nothing else.
int decodeEighth(const QByteArray& bytes)
{
    return NoisyPhoto::decode(bytes, 1);
}

// Peak resident memory since the last reset, in MiB (Linux; 0 elsewhere).
double peakRssMiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

double currentRssMiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

// Starts a new peak measurement (writing 5 to clear_refs resets VmHWM on Linux).
void resetPeak()
{
    QFile clear(u"/proc/self/clear_refs"_s);
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Processor time of every thread of the process, in seconds.
double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Phase
{
    double seconds = 0; // wall clock
    double cpu = 0; // processor time, all threads
    double baseMiB = 0;
    double peakMiB = 0;
};

template <typename Work> Phase measure(Work&& work)
{
    resetPeak();
    Phase phase;
    phase.baseMiB = currentRssMiB();
    const double cpuStart = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    work();
    phase.seconds = double(timer.nsecsElapsed()) / 1e9;
    phase.cpu = cpuSeconds() - cpuStart;
    phase.peakMiB = peakRssMiB();
    return phase;
}

// The best of several rounds (other work on the machine only ever slows a round down).
Phase best(const QList<Phase>& rounds)
{
    return *std::min_element(
        rounds.cbegin(), rounds.cend(), [](const Phase& a, const Phase& b) { return a.seconds < b.seconds; });
}

void print(const char* name, const Phase& phase, int books)
{
    std::printf("%-44s %8.3f s  %6.2f ms/book  cpu %7.3f s  peak RSS %6.1f MiB (+%.1f)\n", name, phase.seconds,
        phase.seconds * 1000.0 / books, phase.cpu, phase.peakMiB, phase.peakMiB - phase.baseMiB);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int books = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    const int distinct = argc > 2 ? QByteArray(argv[2]).toInt() : 32;
    const int rounds = argc > 3 ? QByteArray(argv[3]).toInt() : 2;
    const int cores = QThreadPool::globalInstance()->maxThreadCount();

    QTemporaryDir dir;
    qputenv("QINGHE_HOME", dir.path().toUtf8());
    std::printf("%d books, %d distinct %dx%d covers, %d cores\n", books, distinct, CoverWidth, CoverHeight, cores);

    QElapsedTimer setup;
    setup.start();
    QList<QByteArray> covers(distinct);
    QtConcurrent::blockingMap(covers, [&covers](QByteArray& cover) { cover = NoisyPhoto::make(int(&cover - covers.data())); });
    const qint64 coverBytes = std::accumulate(
        covers.cbegin(), covers.cend(), qint64(0), [](qint64 sum, const QByteArray& c) { return sum + c.size(); });
    std::printf("covers made: %.0f KiB each on average (%.1f s)\n", double(coverBytes) / distinct / 1024.0,
        double(setup.elapsed()) / 1000.0);

    TDataModule2 module;
    Connection& connection = module.Adocon;
    {
        sqlite3* db = connection.handle();
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "insert into baseshu (name, isread, \"格式\", facepic) values (?1, '正在读', 'jpg', ?2)",
            -1, &insert, nullptr);
        for (int n = 0; n < books; ++n) {
            const QByteArray name = u"第%1本书"_s.arg(n + 1).toUtf8();
            const QByteArray& cover = covers.at(n % distinct);
            sqlite3_bind_text(insert, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
            sqlite3_bind_blob(insert, 2, cover.constData(), int(cover.size()), SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    std::printf("library written: %.0f MiB (%.1f s)\n\n", double(QFile(connection.databasePath()).size()) / 1048576.0,
        double(setup.elapsed()) / 1000.0);

    QImage tile(756, 139, QImage::Format_RGB32);
    tile.fill(Qt::darkCyan);
    ShelfListing listing(connection, tile);
    std::vector<int> order(static_cast<std::size_t>(books));
    std::iota(order.begin(), order.end(), 0);

    // The phases take turns, round after round, so that other load on the machine falls on
    // all of them alike; each keeps its best round.
    QList<Phase> floors, fullSizes, firstListings, secondListings;
    quint64 firstDecodes = 0, secondDecodes = 0;
    qsizetype items = 0;
    for (int round = 0; round < rounds; ++round) {
        floors << measure([&] {
            QtConcurrent::blockingMap(order, [&covers, distinct](int n) { decodeEighth(covers.at(n % distinct)); });
        });
        fullSizes << measure([&] {
            for (int n : order) {
                QImage image;
                image.loadFromData(covers.at(n % distinct), "JPG");
                const QImage thumb = image.scaled(
                    Thumbnails::Width, Thumbnails::Height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                Q_UNUSED(thumb);
            }
        });
        if (round > 0)
            connection.execute(u"delete from qh_thumbs"_s); // the first listing of each round starts cold
        quint64 before = Thumbnails::decodeCount();
        firstListings << measure([&] { items = listing.byStatus(u"正在读"_s).items.size(); });
        firstDecodes = Thumbnails::decodeCount() - before;
        before = Thumbnails::decodeCount();
        secondListings << measure([&] { items = listing.byStatus(u"正在读"_s).items.size(); });
        secondDecodes = Thumbnails::decodeCount() - before;
    }
    const Phase floor = best(floors), fullSize = best(fullSizes);
    const Phase firstListing = best(firstListings), secondListing = best(secondListings);

    print("(b) floor: 1/8 decode on all cores", floor, books);
    print("(a) full-size decode + smooth scale, serial", fullSize, books);
    print("first listing (empty cache)", firstListing, books);
    print("same listing again (cached)", secondListing, books);
    std::printf("\nitems %lld, decodes %llu then %llu, cached thumbnails %d\n", qlonglong(items), firstDecodes,
        secondDecodes, ThumbnailCache(connection.handle()).size());
    std::printf("first listing / floor          %6.2f  (goal <= 1.2; in processor time %.2f)\n",
        firstListing.seconds / floor.seconds, firstListing.cpu / floor.cpu);
    std::printf(
        "full-size serial / first       %6.2f  (goal ~2.5 on 2 cores)\n", fullSize.seconds / firstListing.seconds);
    std::printf("first / second listing         %6.1f  (goal >= 20)\n", firstListing.seconds / secondListing.seconds);
    return 0;
}
