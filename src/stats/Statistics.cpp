#include "stats/Statistics.h"

#include "data/Connection.h"
#include "data/Statement.h"

#include <QDirIterator>
#include <QFileInfo>

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
        Category,
        Status,
        Place,
        FinishedMonth,
        FinishedYear,
        AddedYear,
        Borrower,
        EbookStatus,
        QueryCount
    };

    constexpr std::array<const char*, QueryCount> sql {
        "select coalesce(t.leib, '未分类'), count(*) from baseshu b left join tblei t on t.id = b.leibie "
        "group by t.id order by count(*) desc, t.id",
        "select case when isread in ('还没读', '正在读', '已读完') then isread else '其他' end, count(*) "
        "from baseshu group by 1",
        "select case when trim(coalesce(place, '')) = '' then '未填写' else trim(place) end, count(*) from baseshu "
        "group by 1 order by 2 desc, 1",
        "select substr(finished, 1, 7), count(*) from (select finished from qh_book_dates union all "
        "select finished from qh_ebook_dates) where finished >= ?1 group by 1",
        "select substr(finished, 1, 4), count(*) from (select finished from qh_book_dates union all "
        "select finished from qh_ebook_dates) where finished is not null group by 1 order by 1",
        "select substr(added, 1, 4), count(*) from qh_book_dates where added is not null group by 1 order by 1",
        "select borrower, count(*) from qh_loans where borrower <> '' group by borrower order by 2 desc, 1",
        "select case when isread in ('还没读', '正在读', '已读完') then isread else '其他' end, count(*) "
        "from dzbook group by 1",
    };

    Counts run(sqlite3* db, Query query, const QString& parameter = {})
    {
        Statement stmt(db, sql[query]);
        if (!parameter.isEmpty())
            stmt.bind(1, parameter);
        Counts counts;
        while (stmt.step())
            counts.rows.append({ stmt.text(0), stmt.integer(1) });
        return counts;
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

    Counts everyMonth(const Counts& found, const QDate& today)
    {
        Counts months;
        const QDate last(today.year(), today.month(), 1);
        for (int back = 23; back >= 0; --back) {
            const QString month = last.addMonths(-back).toString(u"yyyy-MM"_s);
            months.rows.append({ month, found.value(month) });
        }
        return months;
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

QString firstMonth(const QDate& today)
{
    return QDate(today.year(), today.month(), 1).addMonths(-23).toString(u"yyyy-MM"_s);
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
        stats.byCategory = run(db, Category);
        stats.byStatus = statusOrder(run(db, Status));
        stats.byPlace = run(db, Place);
        stats.finishedByMonth = everyMonth(run(db, FinishedMonth, firstMonth(today)), today);
        stats.finishedByYear = run(db, FinishedYear);
        stats.addedByYear = run(db, AddedYear);
        stats.loansByBorrower = run(db, Borrower);
        stats.ebooksByStatus = statusOrder(run(db, EbookStatus));
        if (own)
            Statement::execute(db, "commit");
    } catch (...) {
        if (own)
            sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr);
        throw;
    }
    stats.books = stats.byStatus.total();
    stats.ebooks = stats.ebooksByStatus.total();
    if (!storeFolder.isEmpty())
        stats.storeBytes = folderBytes(storeFolder);
    return stats;
}

} // namespace Statistics
