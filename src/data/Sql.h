#pragma once

#include <QString>

// Building statement texts: a value typed by the user is trimmed and written as
// a literal in single quotes, each single quote inside it doubled.
namespace Sql {

inline QString quoted(const QString& value)
{
    QString text = value.trimmed();
    text.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

} // namespace Sql
