// Compaction of the library file against an fsynced copy of the same file.
//
// A library of about MB megabytes is made in a fresh temporary data folder:
// books with 200 KB covers and illustrations, a quarter of them deleted again,
// so that compaction has free pages to drop. Each round first copies the file
// (written, fsynced) and then compacts it; the file is read once before, so
// both start from the page cache. The best of ROUNDS rounds is reported.
//
//   bench_compact [MB] [ROUNDS]        (defaults 400 and 2)

#include "backup/Compaction.h"
#include "data/Statement.h"
#include "data/udata.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype pictureSize = 200 * 1024;

void makeLibrary(Connection& db, qint64 megabytes)
{
    const qint64 books = std::max<qint64>(4, megabytes * 1024 * 1024 / (3 * pictureSize));
    QByteArray picture(pictureSize, Qt::Uninitialized);
    sqlite3* handle = db.handle();
    inTransaction(handle, [&] {
        Statement insert(handle,
            "insert into baseshu (name, isread, \"格式\", facepic, pic1, pic2) values (?1, '还没读', 'jpg', ?2, ?2, ?2)");
        for (qint64 i = 0; i < books; ++i) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(picture.data()), pictureSize / 4);
            insert.bind(1, u"书%1"_s.arg(i)).bindStaticBlob(2, picture.constData(), picture.size());
            insert.step();
            insert.reset();
        }
    });
    db.execute(u"delete from baseshu where id % 4 = 0"_s);
    db.close();
}

// What a careful program does to put a file somewhere else: write it all, fsync, rename.
void copyFlushed(const QString& from, const QString& to)
{
    QFile in(from);
    QFile out(to + u".part"_s);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(from));
        std::exit(1);
    }
    std::vector<char> buffer(1 << 20);
    for (qint64 got; (got = in.read(buffer.data(), qint64(buffer.size()))) > 0;)
        out.write(buffer.data(), got);
    out.flush();
    ::fsync(out.handle());
    out.close();
    QFile::remove(to);
    QFile::rename(to + u".part"_s, to);
}

void readOnce(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        std::vector<char> buffer(1 << 20);
        while (file.read(buffer.data(), qint64(buffer.size())) > 0) { }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 400;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 2;
    QTemporaryDir home;
    qputenv("QINGHE_HOME", home.path().toUtf8());
    TDataModule2 module;
    Connection& db = module.Adocon;
    std::printf("making a library of about %lld MB...\n", megabytes);
    std::fflush(stdout);
    const QString library = db.databasePath();
    const QString copy = home.filePath(u"copy.mdb"_s);

    double bestCopy = 1e100;
    double bestCompact = 1e100;
    qint64 before = 0;
    qint64 after = 0;
    for (int round = 0; round < rounds; ++round) {
        makeLibrary(db, megabytes);
        before = QFileInfo(library).size();
        readOnce(library);
        QElapsedTimer timer;
        timer.start();
        copyFlushed(library, copy);
        bestCopy = std::min(bestCopy, timer.nsecsElapsed() / 1e9);
        QFile::remove(copy);

        readOnce(library);
        QString reason;
        timer.restart();
        if (!Compaction::RunCompaction(library, Compaction::databasePassword(), &reason)) {
            std::fprintf(stderr, "compaction failed: %s\n", qPrintable(reason));
            return 1;
        }
        bestCompact = std::min(bestCompact, timer.nsecsElapsed() / 1e9);
        after = QFileInfo(library).size();
        db.execute(u"delete from baseshu"_s); // the next round starts from a library of the same size
        db.close();
        Compaction::RunCompaction(library, Compaction::databasePassword());
    }
    std::printf("library %.0f MB, compacted %.0f MB\n", before / 1048576.0, after / 1048576.0);
    std::printf("fsynced copy  %.3f s\ncompaction    %.3f s\nratio         %.2f (goal <= 1.8)\n", bestCopy, bestCompact,
        bestCompact / bestCopy);
    return 0;
}
