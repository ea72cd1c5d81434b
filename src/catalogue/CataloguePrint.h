#pragma once

// The printed catalogue and the printed loan list, as PDF files drawn by Qt's
// own PDF writer: A4 pages with the library's name, the date and page numbers.

#include <QDate>
#include <QList>
#include <QString>

#include <functional>

class Connection;
struct Loan;

// done, total; returns false to stop.
using PrintProgress = std::function<bool(qint64 done, qint64 total)>;

struct PrintOptions
{
    enum class Grouping
    {
        Category,
        Place
    };
    Grouping grouping = Grouping::Category;
    bool covers = false;
    QString libraryName = QStringLiteral("青禾书屋");
    QDate date = QDate::currentDate();
};

namespace CataloguePrint {

// Writes the catalogue to path: every book when allBooks is set, else the books
// of these ids; grouped as the options say, titles in order within each group.
// The file is written under a temporary name and renamed when whole. Returns the
// number of pages. Throws EDatabaseError, or Exception for a file that cannot be
// written; a stopped run (progress returned false) leaves no file and returns 0.
int catalogue(Connection& connection, const QString& path, const QList<qint64>& books, bool allBooks,
    const PrintOptions& options, const PrintProgress& progress = {});

// The loans as a table, one row each.
int loans(const QString& path, const QList<Loan>& loans, const PrintOptions& options);

} // namespace CataloguePrint
