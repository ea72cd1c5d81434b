// The e-book store: importing PDFs against a plain copy of the same files, and
// opening and searching the e-book list against a bare SQLite read of the rows.
//
//   bench_ebooks [files] [MiB per file] [rows]     (default 20 50 10000)
//
// The files are made in a folder under the current one (the same disk as the
// copy and the store). The import is the program's own: encrypted under a
// temporary name, flushed, renamed, its row written; the copies are a 1 MiB
// read/write loop, once without and once with the same flush per file.

#include "data/TextCompare.h"
#include "data/udata.h"
#include "ebooks/EbookImport.h"
#include "ebooks/EbookSql.h"
#include "ebooks/EbookStore.h"
#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

double copyAll(const QStringList& sources, const QString& folder, bool flush)
{
    QDir().mkpath(folder);
    std::vector<char> buffer(1 << 20);
    QElapsedTimer timer;
    timer.start();
    for (const QString& source : sources) {
        const QString target = folder + u'/' + QFileInfo(source).fileName();
        const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY);
        const int out = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (ssize_t n; (n = ::read(in, buffer.data(), buffer.size())) > 0;) {
            if (::write(out, buffer.data(), size_t(n)) != n)
                qFatal("write failed");
        }
        if (flush)
            ::fsync(out);
        ::close(in);
        ::close(out);
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

double importAll(const QStringList& sources)
{
    TDataModule2 module;
    RecordSet list(module.Adocon);
    list.setSql(QString::fromUtf16(EbookSql::allBooks));
    list.open();
    const EbookStore store(AppPaths::path(u"corvina"_s));
    QDir().mkpath(store.folder());
    QElapsedTimer timer;
    timer.start();
    // The steps ImportProgress takes, here on one thread.
    EbookImport job(store, sources);
    while (job.next()) {
        job.storeCurrent();
        list.append();
        list.setText(u"name"_s, job.name());
        list.setText(u"filename"_s, job.storedName());
        list.post();
        job.commitCurrent();
    }
    return double(timer.nsecsElapsed()) / 1e9;
} // namespace

// Opening the list and one search, as the page does.
double listThroughRecordSet(const QString& search)
{
    TDataModule2 module;
    QElapsedTimer timer;
    timer.start();
    RecordSet list(module.Adocon);
    list.setSql(QString::fromUtf16(EbookSql::allBooks));
    list.open();
    list.setSql(search);
    list.open();
    for (int row = 0; row < list.recordCount(); ++row)
        list.textAt(row, 0);
    return double(timer.nsecsElapsed()) / 1e9;
}

// The same two statements, every column of every row read by hand.
double listThroughSqlite(const QString& path, const QString& search)
{
    QElapsedTimer timer;
    timer.start();
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    TextCompare::registerOn(db);
    qint64 bytes = 0;
    for (const QString& sql : { QString::fromUtf16(EbookSql::allBooks), search }) {
        sqlite3_stmt* stmt = nullptr;
        const QByteArray text = sql.toUtf8();
        sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int column = 0; column < sqlite3_column_count(stmt); ++column) {
                if (sqlite3_column_type(stmt, column) == SQLITE_BLOB)
                    bytes += sqlite3_column_bytes(stmt, column);
                else
                    bytes += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column))).size();
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return bytes >= 0 ? double(timer.nsecsElapsed()) / 1e9 : 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 20;
    const int mib = argc > 2 ? std::atoi(argv[2]) : 50;
    const int rows = argc > 3 ? std::atoi(argv[3]) : 10000;

    QTemporaryDir work(QDir::currentPath() + u"/bench-ebooks-XXXXXX"_s);
    qputenv("QINGHE_HOME", work.path().toUtf8());

    // ---- import -----------------------------------------------------------
    std::printf("making %d files of %d MiB...\n", files, mib);
    QStringList sources;
    QByteArray block(1 << 20, Qt::Uninitialized);
    QRandomGenerator rng(1);
    for (char& c : block)
        c = char(rng.bounded(256));
    QDir().mkpath(work.filePath(u"pdfs"_s));
    for (int i = 0; i < files; ++i) {
        QFile file(work.filePath(u"pdfs/电子书 %1.pdf"_s.arg(i)));
        file.open(QIODevice::WriteOnly);
        for (int m = 0; m < mib; ++m) {
            block[0] = char(m);
            file.write(block);
        }
        sources << file.fileName();
    }
    ::sync();
    const double copy = copyAll(sources, work.filePath(u"copy"_s), false);
    QDir(work.filePath(u"copy"_s)).removeRecursively();
    ::sync();
    const double copyFlushed = copyAll(sources, work.filePath(u"copy"_s), true);
    QDir(work.filePath(u"copy"_s)).removeRecursively();
    ::sync();
    const double imported = importAll(sources);
    const double total = double(files) * mib;
    std::printf("import of %d x %d MiB: %.2f s (%.0f MiB/s)\n", files, mib, imported, total / imported);
    std::printf("plain copy:           %.2f s (%.0f MiB/s)   import / copy         = %.2f\n", copy, total / copy,
        imported / copy);
    std::printf("copy, flushed:        %.2f s (%.0f MiB/s)   import / flushed copy = %.2f\n", copyFlushed,
        total / copyFlushed, imported / copyFlushed);

    // ---- list -------------------------------------------------------------
    QString search;
    {
        TDataModule2 module;
        module.Adocon.execute(u"delete from dzbook"_s);
        module.Adocon.execute(u"begin"_s);
        const QString statuses[] = { u"还没读"_s, u"正在读"_s, u"已读完"_s, QString() };
        for (int i = 0; i < rows; ++i) {
            module.Adocon.execute(u"insert into dzbook (name, filename, isread, zuozhe, place) values "
                                  "('第%1本 电子书 Linux 手册.pdf', '2024010112000012%1', '%2', '作者%3', '')"_s.arg(i)
                                      .arg(statuses[i % 4])
                                      .arg(i % 97));
        }
        module.Adocon.execute(u"commit"_s);
        search = EbookSql::search(module.Adocon, u"手册"_s, u"正在读"_s);
    }
    const QString path = work.filePath(u"data/AccessMng.mdb"_s);
    std::vector<double> ours, bare;
    for (int round = 0; round < 7; ++round) {
        ours.push_back(listThroughRecordSet(search));
        bare.push_back(listThroughSqlite(path, search));
    }
    std::printf("list of %d e-books, opened and searched: %.1f ms; bare sqlite3: %.1f ms; ratio = %.2f (goal <= 1.2)\n",
        rows, median(ours) * 1e3, median(bare) * 1e3, median(ours) / median(bare));
    return 0;
}
