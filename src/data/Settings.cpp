#include "data/Settings.h"

#include "data/Connection.h"
#include "data/Statement.h"

namespace Settings {

QString value(Connection& connection, const QString& name, const QString& fallback)
{
    Statement stmt(connection.handle(), "select value from qh_settings where name = ?1");
    stmt.bind(1, name);
    return stmt.step() ? stmt.text(0) : fallback;
}

void setValue(Connection& connection, const QString& name, const QString& value)
{
    Statement stmt(connection.handle(), "insert or replace into qh_settings (name, value) values (?1, ?2)");
    stmt.bind(1, name).bind(2, value);
    stmt.step();
}

} // namespace Settings
