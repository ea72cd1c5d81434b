#pragma once

// The numbers behind the statistics page, read through statements of their own
// (never through a window's record set).

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <utility>

class Connection;

struct Counts
{
    QList<std::pair<QString, qint64>> rows; // label, count; in the order shown
    qint64 total() const;
    qint64 value(const QString& label) const; // 0 when absent
};

struct LibraryStats
{
    Counts byCategory; // "未分类" for books without one (or with a vanished one)
    Counts byStatus; // 还没读, 正在读, 已读完, then "其他" when any
    Counts byPlace; // "未填写" for an empty place
    Counts finishedByMonth; // the 24 months up to this one, oldest first (yyyy-MM), books and e-books
    Counts finishedByYear; // yyyy, books and e-books
    Counts addedByYear; // yyyy, paper books
    Counts loansByBorrower; // every loan there was
    Counts ebooksByStatus;
    qint64 books = 0;
    qint64 booksOut = 0; // loans not ended
    qint64 ebooks = 0;
    qint64 storeBytes = 0; // the encrypted e-book store on disk (its bin apart)
    int binItems = 0;      // books and e-books in the recycle bin
    qint64 binBytes = 0;   // their rows and the bin's files
};

namespace Statistics {

// The statements collect() runs, in its order (for measurements against the bare engine).
QList<QByteArray> statements();

// Reads every count. storeFolder (when not empty) is summed for the store's size.
LibraryStats collect(Connection& connection, const QDate& today, const QString& storeFolder = {});

} // namespace Statistics
