#pragma once

#include <QStringView>

struct sqlite3;

// Text comparison as the library's users expect it: letter case never matters,
// for Latin letters beyond ASCII too ("É" equals "é").
namespace TextCompare {

// The collation every text column of the library file is declared with: SQLite's
// own, so that every stock tool can query the file. It folds ASCII letters only.
inline constexpr const char* collationName = "NOCASE";
// The collation files made before schema version 1 named; still known, so that
// such a file can be read (and migrated) at all.
inline constexpr const char* legacyCollationName = "UNOCASE";

// Registers the legacy collation and a case-insensitive like() on a connection.
// Returns an SQLite result code.
int registerOn(sqlite3* db);

// Makes NOCASE on this connection fold letter case beyond ASCII too. Only for a
// file where no index is ordered by NOCASE: an index must be ordered the same by
// every program that writes the file. Returns an SQLite result code.
int foldNocase(sqlite3* db);

// SQL LIKE: '%' any run, '_' one character, escape (when not null) makes the
// next character literal. Ignores letter case.
bool like(QStringView pattern, QStringView text, QChar escape = QChar());

} // namespace TextCompare
