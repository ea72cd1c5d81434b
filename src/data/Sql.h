#pragma once

#include <QString>

// Building statement texts: a value typed by the user is trimmed and written as
// a literal in single quotes, each single quote inside it doubled.
namespace Sql {

// A NUL character would end the statement text early (the engine then reports a
// broken token); inside a value it is written as char(0), so the value stays exact.
inline QString quoted(const QString& value)
{
    QString text = value.trimmed();
    text.replace(QLatin1Char('\''), QStringLiteral("''"));
    text.replace(QChar(0), QStringLiteral("'||char(0)||'"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// Text as it comes in (typed, read from a file): without NUL characters, which no
// text of the library holds.
inline QString withoutNul(QString text)
{
    text.remove(QChar(0));
    return text;
}

} // namespace Sql
