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
class Connection;

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

// The books of a table ("baseshu" or "dzbook") whose title, author or
// publisher matches the letters in pinyin (PinyinIndex::matches), with the
// label of the first field that does ("书名", "作者", "出版社").
QHash<qint64, QString> pinyinMatches(Connection& connection, const QString& table, const QString& letters);

// Fills query.pinyinHits for both tables when the query has letters to spell.
// Runs on the thread of the connection (the pinyin index belongs to it); a
// library that cannot be indexed leaves the hits empty and the plain search runs.
void addPinyin(Connection& connection, FindQuery& query);

} // namespace FieldSearch
