#include "stats/Statistics.h"

#include "data/Trash.h"
#include "format/StoreNames.h"

#include "data/Connection.h"
#include "data/Statement.h"

#include <QDirIterator>
#include <QFileInfo>

#include <QHash>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

qint64 Counts::total() const
{
    qint64 sum = 0;
    for (const auto& row : rows)
        sum += row.second;
    return sum;
}

qint64 Counts::value(const QString& label) const
{
    for (const auto& row : rows) {
        if (row.first == label)
            return row.second;
    }
    return 0;
}

namespace Statistics {
namespace {

    enum Query
    {
        Books, // category, status and place of every book in one pass
        Categories,
        Finished, // every month anything was finished
        Added,
        Borrower,
        EbookStatus,
        BooksOut,
        QueryCount
    };

    // Grouped by the stored bytes (no collation to call per row); the labels are
    // trimmed and merged here.
    constexpr std::array<const char*, QueryCount> sql {
        "select leibie, isread collate binary, place collate binary, count(*) from baseshu group by 1, 2, 3",
        "select id, leib from tblei",
        "select substr(finished, 1, 7), count(*) from (select finished from qh_book_dates union all "
        "select finished from qh_ebook_dates) where finished is not null group by 1",
        "select substr(added, 1, 4), count(*) from qh_book_dates where added is not null group by 1 order by 1",
        "select borrower collate binary, count(*) from qh_loans where borrower <> '' group by 1",
        "select isread collate binary, count(*) from dzbook group by 1",
        "select count(*) from qh_loans where returned is null",
    };

    constexpr qsizetype maxLabel = 40;

    // Adds to a label's count, keeping labels in the order first seen.
    struct Tally
    {
        QHash<QString, qsizetype> index;
        Counts counts;
        void add(const QString& label, qint64 count, const QString& key = {})
        {
            const QString& by = key.isEmpty() ? label : key;
            const auto found = index.constFind(by);
            if (found != index.constEnd()) {
                counts.rows[*found].second += count;
                return;
            }
            index.insert(by, counts.rows.size());
            // A chart has room for a short label only; a long one is cut here, once (the
            // chart's own eliding of a long text costs time by the square of its length).
            counts.rows.append({ label.size() > maxLabel ? label.left(maxLabel) + u'…' : label, count });
        }
    };

    QString statusOf(const QString& stored)
    {
        for (const QString& status : { u"还没读"_s, u"正在读"_s, u"已读完"_s }) {
            if (stored == status)
                return status;
        }
        return u"其他"_s;
    }

    // The three statuses in their order, "其他" last and only when there are such rows.
    Counts statusOrder(const Counts& found)
    {
        Counts ordered;
        for (const QString& status : { u"还没读"_s, u"正在读"_s, u"已读完"_s })
            ordered.rows.append({ status, found.value(status) });
        if (const qint64 other = found.value(u"其他"_s))
            ordered.rows.append({ u"其他"_s, other });
        return ordered;
    }

    // Largest first, then by label.
    Counts largestFirst(Counts counts)
    {
        std::stable_sort(counts.rows.begin(), counts.rows.end(), [](const auto& a, const auto& b) {
            return a.second != b.second ? a.second > b.second : a.first < b.first;
        });
        return counts;
    }

    void readBooks(sqlite3* db, LibraryStats& stats)
    {
        QHash<qint64, QString> names;
        {
            Statement categories(db, sql[Categories]);
            while (categories.step())
                names.insert(categories.integer(0), categories.text(1));
        }
        Tally category, status, place;
        Statement books(db, sql[Books]);
        while (books.step()) {
            const qint64 count = books.integer(3);
            const auto name = books.value(0).isValid() ? names.constFind(books.integer(0)) : names.constEnd();
            category.add(name != names.constEnd() ? *name : u"未分类"_s, count);
            status.add(statusOf(books.text(1)), count);
            const QString where = books.text(2).trimmed();
            place.add(where.isEmpty() ? u"未填写"_s : where, count);
        }
        stats.byCategory = largestFirst(category.counts);
        stats.byStatus = statusOrder(status.counts);
        stats.byPlace = largestFirst(place.counts);
    }

    void readFinished(sqlite3* db, const QDate& today, LibraryStats& stats)
    {
        Counts months;
        Statement finished(db, sql[Finished]);
        while (finished.step())
            months.rows.append({ finished.text(0), finished.integer(1) });
        Tally years;
        for (const auto& [month, count] : months.rows) // in order: the statement groups by month
            years.add(month.left(4), count);
        stats.finishedByYear = years.counts;
        const QDate last(today.year(), today.month(), 1);
        for (int back = 23; back >= 0; --back) {
            const QString month = last.addMonths(-back).toString(u"yyyy-MM"_s);
            stats.finishedByMonth.rows.append({ month, months.value(month) });
        }
    }

    Counts run(sqlite3* db, Query query)
    {
        Statement stmt(db, sql[query]);
        Counts counts;
        while (stmt.step())
            counts.rows.append({ stmt.text(0), stmt.integer(1) });
        return counts;
    }

    qint64 folderBytes(const QString& folder)
    {
        qint64 bytes = 0;
        QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
        while (files.hasNext()) {
            files.next();
            bytes += files.fileInfo().size();
        }
        return bytes;
    }

} // namespace

QList<QByteArray> statements()
{
    QList<QByteArray> list;
    for (const char* text : sql)
        list << QByteArray(text);
    return list;
}

LibraryStats collect(Connection& connection, const QDate& today, const QString& storeFolder)
{
    sqlite3* db = connection.handle();
    LibraryStats stats;
    // One read transaction: every chart counts the same state of the file.
    const bool own = sqlite3_get_autocommit(db) != 0;
    if (own)
        Statement::execute(db, "begin");
    try {
        readBooks(db, stats);
        readFinished(db, today, stats);
        stats.addedByYear = run(db, Added);
        Tally borrowers; // one person however the name's letters were cased
        for (const auto& [name, count] : run(db, Borrower).rows)
            borrowers.add(name, count, name.toCaseFolded());
        stats.loansByBorrower = largestFirst(borrowers.counts);
        Tally ebooks;
        for (const auto& [stored, count] : run(db, EbookStatus).rows)
            ebooks.add(statusOf(stored), count);
        stats.ebooksByStatus = statusOrder(ebooks.counts);
        stats.booksOut = Statement::scalar(db, sql[BooksOut]).toLongLong();
        if (own)
            Statement::execute(db, "commit");
    } catch (...) {
        if (own)
            sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr);
        throw;
    }
    stats.books = stats.byStatus.total();
    stats.ebooks = stats.ebooksByStatus.total();
    const QList<Trash::Item> binned = Trash::items(connection);
    stats.binItems = int(binned.size());
    for (const Trash::Item& item : binned)
        stats.binBytes += item.rowBytes;
    if (!storeFolder.isEmpty()) {
        stats.storeBytes = folderBytes(storeFolder);
        stats.binBytes += folderBytes(storeFolder + u'/' + QLatin1String(StoreNames::binFolder));
    }
    return stats;
}

} // namespace Statistics
