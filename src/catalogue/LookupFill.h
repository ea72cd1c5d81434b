#pragma once

// What a look-up may change in a book the family is editing: the empty fields
// are filled, and the filled ones that differ from what was found are replaced
// only when the family says so (one question for all of them).

#include "lookup/BookFields.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace LookupFill {

struct Change
{
    QString column;
    QString label; // as the editor names the field
    QString value;
};

struct Plan
{
    QList<Change> fill; // empty now
    QList<Change> replace; // filled now, differently
    // "用查到的内容替换已填写的：书名、作者？", or "" when nothing differs.
    QString question() const;
};

// current(column) reads the value the book has now.
Plan plan(const std::function<QString(const QString& column)>& current, const Lookup::BookFields& found);

// The status line's texts.
QString unreachable(const QString& reason);
QString notFound(const QString& isbn);
QString invalid(const QString& isbn);

} // namespace LookupFill
