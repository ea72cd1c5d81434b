#pragma once

#include <QString>

struct sqlite3;

// The database engine's last error on db as a message for the user, in
// Chinese: what is wrong and what to do. The engine's own words follow in
// brackets where they help to find the cause (a damaged or locked file); a
// text too long for its column names the field and its limit instead.
namespace EngineMessage {

QString of(sqlite3* db);

// The same for an error code and the engine's text, as sqlite3_errmsg gives it.
QString of(int extendedCode, const QString& engineText);

} // namespace EngineMessage
