#pragma once

// Small choices the program remembers between runs, kept in the library file
// (qh_settings): the options of the printed catalogue and the like.

#include <QString>

class Connection;

namespace Settings {

// The value stored under name, or fallback when there is none.
QString value(Connection& connection, const QString& name, const QString& fallback = {});
void setValue(Connection& connection, const QString& name, const QString& value);

} // namespace Settings
