#pragma once

#include "search/FindHit.h"
#include "search/FindQuery.h"

#include <QHash>

#include <atomic>

struct sqlite3;

// The search over the fields of every book: paper books by title, author,
// publisher, ISBN, category, storage place, borrower, summary, contents and
// notes; e-books by title, author, summary and notes. The typed text reaches
// the engine only as bound parameters.
//
// It runs on any thread with a handle of its own (openReadOnly), so the
// window's connection is never shared.
namespace FieldSearch {

// A read-only handle on the library file with the search's functions
// registered; closed by closeHandle. Throws EDatabaseError.
sqlite3* openReadOnly(const QString& databasePath);
void closeHandle(sqlite3* db);

// Registers qh_find(needles, text...) and qh_isbn(forms, isbn) on a handle;
// returns an SQLite result code.
int registerFunctions(sqlite3* db);

// The books whose fields hold the text (paper and e-book groups of the
// result), each with its first matching field. `cancelled`, when given, is
// polled between rows: a newer search stops this one and its result is empty.
FindResults run(sqlite3* db, const FindQuery& query, const std::atomic<bool>* cancelled = nullptr);

// The books of a table ("baseshu" or "dzbook") whose pinyin holds the letters,
// with the label of the field spelled ("书名"). Reads the index tables as the
// pinyin index keeps them; none yet gives none.
QHash<qint64, QString> pinyinMatches(sqlite3* db, const QString& table, const QString& letters);

} // namespace FieldSearch
