// Backup of a library with pictures and a large e-book store, timed beside a plain
// `tar -cf` of the same files in the same run (best of the rounds each). The backup
// also snapshots the database, sums every entry and flushes its file to the disk, so
// the tar is timed twice: as it is, and followed by a flush of its output.
//
//   bench_backup [books=1000] [e-book megabytes=2048] [e-book files=100] [rounds=2]

#include "backup/Backup.h"
#include "data/udata.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

void bind(sqlite3_stmt* stmt, int column, const QByteArray& bytes)
{
    sqlite3_bind_blob(stmt, column, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

void fillLibrary(Connection& db, int books, qint64 megabytes, int files)
{
    db.execute(u"begin"_s);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db.handle(),
        "insert into baseshu (name, zuozhe, isread, facepic, 格式, pic1, 格式1, pic2, 格式2) "
        "values (?1, '作者', '已读完', ?2, 'jpg', ?3, 'jpg', ?4, 'jpg')",
        -1, &stmt, nullptr);
    for (int i = 0; i < books; ++i) {
        const QByteArray name = u"第%1本书"_s.arg(i).toUtf8();
        sqlite3_bind_text(stmt, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        bind(stmt, 2, noise(160 * 1024, quint32(3 * i)));
        bind(stmt, 3, noise(60 * 1024, quint32(3 * i + 1)));
        bind(stmt, 4, noise(60 * 1024, quint32(3 * i + 2)));
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    const qint64 perFile = megabytes * 1024 * 1024 / files;
    const QByteArray block = noise(4 << 20, 99);
    for (int i = 0; i < files; ++i) {
        const QString stored = u"20261209120000%1"_s.arg(i, 4, 10, QChar(u'0'));
        QFile file(AppPaths::path(u"corvina/"_s + stored));
        file.open(QIODevice::WriteOnly);
        for (qint64 left = perFile; left > 0; left -= block.size())
            file.write(block.constData(), std::min<qint64>(left, block.size()));
        db.execute(u"insert into dzbook (name, filename) values ('电子书%1.pdf', '%2')"_s.arg(i).arg(stored));
    }
    db.execute(u"commit"_s);
}

double seconds(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto arg = [&](int i, qint64 fallback) { return args.size() > i ? args[i].toLongLong() : fallback; };
    const int books = int(arg(1, 1000));
    const qint64 megabytes = arg(2, 2048);
    const int files = int(std::max<qint64>(arg(3, 100), 1));
    const int rounds = int(std::max<qint64>(arg(4, 2), 1));

    QTemporaryDir home;
    QTemporaryDir out;
    qputenv("QINGHE_HOME", home.path().toUtf8());
    TDataModule2 module;
    QDir(home.path()).mkpath(u"corvina"_s);
    std::printf("making a library of %d books with pictures and %lld MB of e-books in %d files...\n", books,
        static_cast<long long>(megabytes), files);
    fillLibrary(module.Adocon, books, megabytes, files);

    double best[3] = { 1e9, 1e9, 1e9 }; // tar, tar + flush, backup
    qint64 sizes[2] = {};
    for (int round = 0; round < rounds; ++round) {
        const QString tarFile = out.path() + u"/plain.tar"_s;
        QElapsedTimer clock;
        clock.start();
        QProcess::execute(u"tar"_s, { u"-cf"_s, tarFile, u"-C"_s, home.path(), u"data/AccessMng.mdb"_s, u"corvina"_s });
        best[0] = std::min(best[0], seconds(clock));
        const int fd = ::open(QFile::encodeName(tarFile).constData(), O_RDONLY);
        ::fsync(fd);
        ::close(fd);
        best[1] = std::min(best[1], seconds(clock));
        sizes[0] = QFileInfo(tarFile).size();
        QFile::remove(tarFile);

        Backup backup(module.Adocon);
        clock.restart();
        backup.write(out.path() + u"/"_s + Backup::defaultFileName());
        best[2] = std::min(best[2], seconds(clock));
        sizes[1] = backup.result().bytes;
        QFile::remove(out.path() + u"/"_s + Backup::defaultFileName());
    }
    const double mb = double(sizes[1]) / (1024 * 1024);
    std::printf("%-24s %10s %10s %8s\n", "", "seconds", "MB/s", "ratio");
    std::printf("%-24s %10.2f %10.0f %8s\n", "tar -cf", best[0], double(sizes[0]) / (1024 * 1024) / best[0], "1.00");
    std::printf("%-24s %10.2f %10.0f %8.2f\n", "tar -cf, then fsync", best[1],
        double(sizes[0]) / (1024 * 1024) / best[1], best[1] / best[0]);
    std::printf("%-24s %10.2f %10.0f %8.2f  (%.2f against tar + fsync)\n", "backup", best[2], mb / best[2],
        best[2] / best[0], best[2] / best[1]);
    return 0;
}
