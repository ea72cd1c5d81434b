#pragma once

#include "catalogue/Csv.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class Connection;

// What an import of a CSV file would do, worked out before anything is written.
struct CsvImportPlan
{
    enum class Layout
    {
        Catalogue, // this program's own column names
        Goodreads, // the library export of Goodreads
        English // English column names (Title, Author, ...), not from Goodreads
    };
    struct Rejected
    {
        qint64 line = 0; // where the row starts in the file, 1-based
        QString reason;
    };

    QString path;
    QString encoding; // "UTF-8" or "GB18030"
    Layout layout = Layout::Catalogue;
    QByteArray sha256; // the file as planned; apply() refuses a file changed since
    int toAdd = 0; // books that will be added
    int duplicates = 0; // rows skipped: the book is already present (see CatalogueCsv::plan)
    QStringList skipped; // the titles of the first maxSkippedListed of them
    int rejectedCount = 0; // rows that cannot be taken
    QList<Rejected> rejected; // the first maxRejectedListed of them
    QStringList newCategories; // categories the import will create, in order of first use
    QStringList ignoredColumns; // columns of the file the catalogue has no place for

    static constexpr int maxRejectedListed = 200;
    static constexpr int maxSkippedListed = 200;
};

// The paper-book catalogue in and out of a CSV file.
namespace CatalogueCsv {

// The columns of an exported file, in order.
QStringList columnTitles();

// Writes every book's text fields, the category by its name, ordered by id:
// RFC 4180 quoting, UTF-8 with a byte-order mark, CRLF line ends. ISBNs are
// written as ="…" so that spreadsheets keep them as text, and a cell that a
// spreadsheet would run as a formula gets a leading apostrophe (CsvCells).
// The file is written under a temporary name and renamed when whole. Returns
// the number of books. Throws ECsvError or EDatabaseError; an existing file is
// then untouched.
int exportTo(Connection& connection, const QString& path, const CsvProgress& progress = {});

// Reads the whole file (streaming) and works out what an import would do;
// writes nothing. Takes this program's own export (any subset of its columns,
// 书名 required) and the library export of Goodreads. A book already present
// is skipped: one with the same ISBN (Isbn::key: hyphens and blanks
// ignored, an ISBN-10 the same as its ISBN-13), or, where the row has no valid
// ISBN, one of the same title and ISBN text. A row without a reading status
// gets "还没读"; one whose status means none of the three is rejected. A book
// without a category gets the first Goodreads shelf naming a category, else
// "未分类" (created when missing). Throws ECsvError with a message for the user
// (no title column, unreadable file, unknown encoding) or ECsvCancelled when
// progress returns false.
CsvImportPlan plan(Connection& connection, const QString& path, const CsvProgress& progress = {});

// Adds the planned books and creates their new categories in one transaction:
// all or nothing. Reads the file again and refuses (changing nothing) when it
// differs from the planned one. Returns the number of books added.
int apply(Connection& connection, const CsvImportPlan& plan, const CsvProgress& progress = {});

// The plan as the text of a confirmation box, in Chinese: counts, and the
// first few skipped titles and rejected rows.
QString previewText(const CsvImportPlan& plan);
// Every listed skipped title and rejected row, for the box's details.
QString previewDetails(const CsvImportPlan& plan);

// The category a book without one is given.
QString uncategorised();

} // namespace CatalogueCsv
