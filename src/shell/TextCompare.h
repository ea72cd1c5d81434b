#pragma once

#include <QStringView>

struct sqlite3;

// Text comparison as the library's users expect it: letter case never matters,
// for Latin letters beyond ASCII too ("É" equals "é").
namespace TextCompare {

// The collation every text column of the library file is declared with.
inline constexpr const char* collationName = "UNOCASE";

// Registers the collation and a case-insensitive like() on a connection.
// Returns an SQLite result code.
int registerOn(sqlite3* db);

// SQL LIKE: '%' any run, '_' one character, escape (when not null) makes the
// next character literal. Ignores letter case.
bool like(QStringView pattern, QStringView text, QChar escape = QChar());

} // namespace TextCompare
