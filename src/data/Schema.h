#pragma once

#include <QString>
#include <QStringList>

#include <vector>

struct sqlite3;

// The library file's tables, and the making of a new file on first start.
namespace Schema {

// The small table in which the file records its own password.
inline constexpr const char* metaTable = "qinghe_meta";

// The program's record of the e-books the PDF engine was tried on in a helper
// process: "ok", or "bad" for one that hung or crashed it (by stored name).
inline constexpr const char* pdfCheckTable
    = "CREATE TABLE IF NOT EXISTS qh_pdfcheck (filename TEXT PRIMARY KEY, verdict TEXT NOT NULL, checked TEXT NOT NULL)";

// The page each e-book was last left at, made when a book is first read.
inline constexpr const char* lastPageTable
    = "CREATE TABLE IF NOT EXISTS qh_lastpage (id INTEGER PRIMARY KEY, page INTEGER NOT NULL)";
// What the PDF worker found of each e-book, per job ("check", "text"): "ok",
// "bad" (set aside: the same failure twice), or "strike" (one failure, named in
// reason). A row holds only for the store file's size and the worker version it
// names; a restore empties the table.
inline constexpr const char* pdfVerdictTable
    = "CREATE TABLE IF NOT EXISTS qh_pdfverdict (filename TEXT NOT NULL, job TEXT NOT NULL, size INTEGER NOT NULL, "
      "worker INTEGER NOT NULL, verdict TEXT NOT NULL, reason TEXT NOT NULL, checked TEXT NOT NULL, "
      "PRIMARY KEY (filename, job))";

// The pages' own numbers of the e-books that have them ("iv", then "1" on the
// tenth page...), by stored name: one label a page, joined by unit separators.
inline constexpr const char* pageLabelsTable = "CREATE TABLE IF NOT EXISTS qh_pagelabels (filename TEXT PRIMARY KEY "
                                               "CHECK (length(filename) <= 255), labels TEXT NOT NULL)";

// Choices the program remembers between runs (name -> value), such as the
// options of the printed catalogue.
inline constexpr const char* settingsTable
    = "CREATE TABLE IF NOT EXISTS qh_settings (name TEXT PRIMARY KEY CHECK (length(name) <= 100), "
      "value TEXT NOT NULL CHECK (length(value) <= 1000))";

// The account and categories a new library starts with.
inline constexpr const char* firstUser = "admin";
inline constexpr const char* firstPassword = "admin";

// Creates a library file at path (and its folder) with the four tables, the
// first account, a few common categories and the given database password.
// The file appears whole or not at all. Throws EDatabaseError.
void createDatabase(const QString& path, const QString& password);

// The password recorded in an open file ("" when it records none).
QString storedPassword(sqlite3* db);

// Versions of the schema. A file records its version in "pragma user_version"
// (0: made before versions were kept). A new file is made at the latest version;
// an older file is brought up to it when it is opened, one step at a time.
//
// To change the schema: change the tables createDatabase() makes, and append a
// step with the next version number to the list in SchemaVersions.cpp that turns
// a file of the version before into one of yours. Nothing else reads the number.
struct Migration
{
    int version;             // the version the file has after this step
    const char* what;        // for messages
    void (*apply)(sqlite3*); // runs inside the step's transaction; throws EDatabaseError
};
const std::vector<Migration>& migrations();
int latestVersion();
int version(sqlite3* db);

// Runs every step above the file's version, each in a transaction of its own that
// also records the new version, so a kill at any moment leaves the file whole at one
// version or the next. A read-only file is left as it is. A file newer than this
// program is refused (EDatabaseError). The table qinghe_meta, when missing, is made again.
void migrate(sqlite3* db);

// Whether an open file is a library of this program: its four tables are there.
// Checked before anything is written to a file.
bool isLibrary(sqlite3* db);

// The program's own tables of loans (qh_loans) and reading dates (qh_book_dates,
// qh_ebook_dates) with the triggers that fill them from the book rows.
void addLoansAndReadingDates(sqlite3* db);
// The same tables made again in their present form (texts' length limits, the title a deleted
// book's loans keep) with their rows, and the triggers of the present version.
void rebuildLoansAndReadingDates(sqlite3* db);
// An open loan, of unknown date, for every book marked lent that has none.
void openLoansOfLentBooks(sqlite3* db);

// The columns of the book tables, in their order (baseshu, dzbook).
const QStringList& bookColumns();
const QStringList& ebookColumns();
// The text columns whose earlier values a book's history keeps: what a person
// types about a book (not its pictures, their format tags, its stored file name,
// nor the loan's two columns, which the loans keep themselves).
const QStringList& bookHistoryColumns();
const QStringList& ebookHistoryColumns();

// The recycle bin (qh_trash_books, qh_trash_ebooks): a deleted book's whole row,
// the day it was deleted, its reading dates and the ids of its loans.
void addTrash(sqlite3* db);
// The earlier versions of books and e-books (qh_history) and the triggers that
// keep them whenever a row's text columns change, 20 a book at most.
void addHistory(sqlite3* db);
inline constexpr int historyLimit = 20;

// Whether an index of the file orders text by the named collation.
bool indexUses(sqlite3* db, const char* collation);

} // namespace Schema
