#pragma once

// The recycle bin's rows: a deleted book or e-book keeps its whole row (every
// column, pictures included), the day it was deleted, its reading dates and
// the ids of its loans (which stay in qh_loans under its title), until it is
// put back or removed for good. The e-book's store file moves into the store's
// bin folder; that is the store's business (ebooks/RecycleBin).

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class Connection;
struct sqlite3;

namespace Trash {

enum class Kind
{
    Book, // baseshu, qh_trash_books
    Ebook // dzbook, qh_trash_ebooks
};

inline constexpr const char* daysSetting = "trash.days";
inline constexpr int defaultDays = 30;

struct Item
{
    Kind kind = Kind::Book;
    qint64 trashId = 0;
    qint64 bookId = 0; // the id the book had
    QString title;
    QDateTime deleted;
    qint64 rowBytes = 0; // of the row's texts and pictures
    QString storedName; // an e-book's store file
};

// Copies the row with that id into the bin; runs inside the caller's
// transaction, before the row is deleted. False when there is no such row.
bool keep(sqlite3* db, Kind kind, qint64 id, const QDateTime& when);
// Keeps and deletes the row in one transaction. False when there is no such row.
bool remove(Connection& connection, Kind kind, qint64 id, const QDateTime& when);

// Everything in the bin, the latest deleted first.
QList<Item> items(Connection& connection);
std::optional<Item> item(Connection& connection, Kind kind, qint64 trashId);

// Puts the row back in one transaction: under its former id when that is free
// (else a new one), with its reading dates, loans and history. Returns the id.
// Throws EDatabaseError (the row stays in the bin).
qint64 restore(Connection& connection, Kind kind, qint64 trashId);
// Removes the row for good, with the history of the book.
void purge(Connection& connection, Kind kind, qint64 trashId);

// The number of days an item is kept (the setting; 0: for ever).
int keptDays(Connection& connection);
// The items deleted more than keptDays() days before today.
QList<Item> expired(Connection& connection, const QDate& today);

// Stored names of the e-books in the bin.
QList<QString> storedNames(Connection& connection);

} // namespace Trash
