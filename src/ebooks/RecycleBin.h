#pragma once

// The recycle bin as a whole: the rows of deleted books and e-books
// (data/Trash) together with the e-books' store files in the store's bin folder.
//
// The order that keeps a book whole whatever moment a crash comes: the row
// moves first, in one transaction (into the bin, or back), and the files
// follow. A crash between the two leaves a row on one side and its files on
// the other; tidy() at the next start moves the files to where their row is.

#include "data/Trash.h"

#include <QDate>
#include <QDateTime>
#include <QList>

class Connection;
class EbookStore;

namespace RecycleBin {

// Deletes an e-book into the bin: its row, then its files. False when there is no such e-book.
bool removeEbook(Connection& connection, const EbookStore& store, qint64 id, const QDateTime& when);

// Puts an item back (its row, then an e-book's files); returns the book's id.
// fileMissing (when given) says whether an e-book came back without its store file.
qint64 restore(Connection& connection, const EbookStore& store, const Trash::Item& item, bool* fileMissing = nullptr);
// Removes an item for good: its row, then an e-book's files.
void purge(Connection& connection, const EbookStore& store, const Trash::Item& item);
// Removes everything in the bin; returns how many items.
int empty(Connection& connection, const EbookStore& store);
// Removes the items kept longer than the setting's days; returns how many.
int expire(Connection& connection, const EbookStore& store, const QDate& today);

// After an interrupted move: a store file named by a row in the bin goes into
// the bin folder, one in the bin folder that an e-book row names goes back to
// the store, and one that no row names (a purge cut short) is removed. Returns
// how many files it moved or removed.
int tidy(Connection& connection, const EbookStore& store);

// What the bin holds on the disk and in the library: its files and its rows.
qint64 bytes(Connection& connection, const EbookStore& store);

} // namespace RecycleBin
