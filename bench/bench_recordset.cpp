// Reading the paper-book table through RecordSet against a bare SQLite loop.
//
// A library of BOOKS books, each with a 400 KB cover and five 400 KB
// illustrations, is made once under the temporary folder and kept for later
// runs. Both variants read every row's text columns and its cover; each runs in
// a child process of its own so that their memory peaks can be compared.
//
//   bench_recordset [books]        (default 1000; the scale is printed)

#include "data/Schema.h"
#include "data/udata.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTextStream>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype pictureSize = 400 * 1024;
const char* const password = "tovrik";

const QStringList textColumns { u"name"_s, u"zuozhe"_s, u"publish"_s, u"isbn"_s, u"boxbz"_s, u"contentjj"_s, u"place"_s,
    u"isread"_s, u"isjie"_s, u"jieshumen"_s, u"isgo"_s, u"gocause"_s, u"yuzhong"_s, u"目录"_s, u"readbiji"_s, u"格式"_s,
    u"格式1"_s, u"格式2"_s, u"格式3"_s, u"格式4"_s, u"格式5"_s };

qint64 vmHwmKb()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

void check(sqlite3* db, int rc)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

void makeLibrary(const QString& path, int books)
{
    std::printf(
        "making %s with %d books (%.1f GB)...\n", qPrintable(path), books, double(books) * 6 * pictureSize / 1e9);
    std::fflush(stdout);
    QFile::remove(path);
    Schema::createDatabase(path, QString::fromLatin1(password));
    sqlite3* db = nullptr;
    check(db, sqlite3_open(path.toUtf8().constData(), &db));
    check(db, sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr));
    sqlite3_stmt* stmt = nullptr;
    check(db,
        sqlite3_prepare_v2(db,
            "insert into baseshu (name, zuozhe, publish, isbn, leibie, contentjj, place, isread, 格式, "
            "facepic, pic1, pic2, pic3, pic4, pic5) values (?, ?, '人民文学出版社', '978-7-02-000000-0', 1, ?, "
            "'书房', '已读完', 'jpg', ?, ?, ?, ?, ?, ?)",
            -1, &stmt, nullptr));
    QByteArray picture(pictureSize, Qt::Uninitialized);
    QRandomGenerator random(42);
    for (int i = 0; i < books; ++i) {
        const QByteArray name = u"第 %1 本书"_s.arg(i).toUtf8();
        const QByteArray summary = QString(200, u'简').toUtf8();
        sqlite3_bind_text(stmt, 1, name.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, "作者", -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 3, summary.constData(), -1, SQLITE_TRANSIENT);
        for (int p = 0; p < 6; ++p) {
            random.fillRange(reinterpret_cast<quint32*>(picture.data()), picture.size() / 4);
            sqlite3_bind_blob(stmt, 4 + p, picture.constData(), int(picture.size()), SQLITE_TRANSIENT);
        }
        check(db, sqlite3_step(stmt));
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr));
    sqlite3_close(db);
}

// The reference: one statement naming exactly the values read.
quint64 bareLoop(const QString& path)
{
    sqlite3* db = nullptr;
    check(db, sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr));
    QStringList quotedColumns;
    for (const QString& column : textColumns)
        quotedColumns << u'"' + column + u'"';
    const QByteArray sql = u"select id, leibie, %1, facepic from baseshu"_s.arg(quotedColumns.join(u", "_s)).toUtf8();
    sqlite3_stmt* stmt = nullptr;
    check(db, sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr));
    quint64 sum = 0;
    const int cover = int(textColumns.size()) + 2;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        sum += quint64(sqlite3_column_int64(stmt, 0) + sqlite3_column_int64(stmt, 1));
        for (int i = 2; i < cover; ++i) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            sum += quint64(QString::fromUtf8(text, sqlite3_column_bytes(stmt, i)).size());
        }
        const QByteArray bytes(
            static_cast<const char*>(sqlite3_column_blob(stmt, cover)), sqlite3_column_bytes(stmt, cover));
        sum += quint64(bytes.size()) + quint8(bytes.at(bytes.size() / 2));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return sum;
}

quint64 recordSetLoop(const QString& path)
{
    Connection connection(u"Data Source=%1;Jet OLEDB:Database Password=%2"_s.arg(path, QLatin1String(password)));
    RecordSet set(connection);
    set.setSql(u"select * from baseshu"_s);
    set.open();
    quint64 sum = 0;
    for (set.first(); !set.eof(); set.next()) {
        sum += quint64(*set.asInteger(u"id"_s) + set.asInteger(u"leibie"_s).value_or(0));
        for (const QString& column : textColumns)
            sum += quint64(set.asText(column).size());
        const QByteArray bytes = set.asBytes(u"facepic"_s);
        sum += quint64(bytes.size()) + quint8(bytes.at(bytes.size() / 2));
    }
    return sum;
}

// Child: runs one variant and prints "milliseconds growth-of-peak-kB checksum".
int runVariant(const QString& variant, const QString& path)
{
    const qint64 before = vmHwmKb();
    QElapsedTimer timer;
    timer.start();
    const quint64 sum = variant == u"bare"_s ? bareLoop(path) : recordSetLoop(path);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    std::printf("%.3f %lld %llu\n", ms, vmHwmKb() - before, static_cast<unsigned long long>(sum));
    return 0;
}

struct Sample
{
    double ms = 0;
    qint64 growthKb = 0;
    QString sum;
};

Sample runChild(const QString& variant, const QString& path)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { u"--variant"_s, variant, path });
    child.waitForFinished(-1);
    const QStringList fields = QString::fromUtf8(child.readAllStandardOutput()).split(u' ', Qt::SkipEmptyParts);
    if (child.exitCode() != 0 || fields.size() != 3) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(variant), child.readAllStandardError().constData());
        std::exit(1);
    }
    return { fields[0].toDouble(), fields[1].toLongLong(), fields[2].trimmed() };
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--variant") == 0)
        return runVariant(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));

    QCoreApplication app(argc, argv);
    const int books = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 1000;
    const QString folder = QDir::temp().filePath(u"qinghe-bench-recordset"_s);
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(u"library-%1.mdb"_s.arg(books));
    if (!QFile::exists(path))
        makeLibrary(path, books);
    std::printf("scale: %d books, 6 pictures of %lld KB each (%s)\n", books, pictureSize / 1024, qPrintable(path));

    runChild(u"bare"_s, path); // warms the page cache
    constexpr int rounds = 5;
    std::vector<Sample> bare;
    std::vector<Sample> recordSet;
    for (int i = 0; i < rounds; ++i) {
        bare.push_back(runChild(u"bare"_s, path));
        recordSet.push_back(runChild(u"recordset"_s, path));
    }
    if (bare.front().sum != recordSet.front().sum) {
        std::fprintf(stderr, "the two variants read different values\n");
        return 1;
    }
    auto median = [](std::vector<Sample> samples) {
        std::sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.ms < b.ms; });
        return samples[samples.size() / 2];
    };
    const Sample b = median(bare);
    const Sample r = median(recordSet);
    std::printf("bare sqlite3 loop : %9.1f ms, peak memory growth %8lld KB\n", b.ms, b.growthKb);
    std::printf("RecordSet         : %9.1f ms, peak memory growth %8lld KB\n", r.ms, r.growthKb);
    std::printf("ratio (RecordSet / bare): time %.3f, peak growth %.2f\n", r.ms / b.ms,
        b.growthKb ? double(r.growthKb) / double(b.growthKb) : 0.0);
    std::printf("(one cover is %lld KB; all illustrations together would be %lld KB)\n", pictureSize / 1024,
        qint64(books) * 5 * pictureSize / 1024);
    return 0;
}
