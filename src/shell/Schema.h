#pragma once

#include <QString>

struct sqlite3;

// The library file's tables, and the making of a new file on first start.
namespace Schema {

// The small table in which the file records its own password.
inline constexpr const char* metaTable = "qinghe_meta";

// The account and categories a new library starts with.
inline constexpr const char* firstUser = "admin";
inline constexpr const char* firstPassword = "admin";

// Creates a library file at path (and its folder) with the four tables, the
// first account, a few common categories and the given database password.
// The file appears whole or not at all. Throws EDatabaseError.
void createDatabase(const QString& path, const QString& password);

// The password recorded in an open file ("" when it records none).
QString storedPassword(sqlite3* db);

} // namespace Schema
