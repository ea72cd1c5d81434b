#pragma once

// The engine side of record sets: the reading of a whole result and the
// description of its columns. Internal to the data layer.

#include "data/RecordSet.h"
#include "data/Statement.h"

#include <QVariantList>

#include <vector>

namespace RecordSetQuery {

using namespace Qt::StringLiterals;

[[noreturn]] inline void fail(const QString& message)
{
    Statement::fail(message);
}

inline QString quoted(const QString& identifier)
{
    return u'"' + QString(identifier).replace(u'"', u"\"\""_s) + u'"';
}

struct Column
{
    QString name;
    QString table; // the table the column comes from; empty for expressions
    QString origin; // its name in that table
    QByteArray database;
    bool blob = false; // declared BLOB in its table
    bool lazy = false; // fetched as its length; the bytes are read on demand
};

// One row of a result. Text read from the file stays as the UTF-8 bytes SQLite
// returned, all of a row's text in one buffer, and becomes a QString only when read.
struct Row
{
    QVariantList values; // a packed text cell holds an invalid QVariant here
    std::vector<bool> unloaded; // a lazy blob that is not null; values holds its length
    QByteArray text; // the packed text cells' UTF-8, one after another
    std::vector<std::pair<int, int>> spans; // per column: offset and size in text; offset -1 when not packed

    bool packed(int i) const { return size_t(i) < spans.size() && spans[size_t(i)].first >= 0; }
    QString packedText(int i) const
    {
        const auto& [offset, size] = spans[size_t(i)];
        return QString::fromUtf8(text.constData() + offset, size);
    }
    QVariant cell(int i) const { return packed(i) ? QVariant(packedText(i)) : values[i]; }
    bool isNull(int i) const { return !packed(i) && !values[i].isValid() && !unloaded[size_t(i)]; }
    void set(int i, const QVariant& value)
    {
        values[i] = value;
        if (size_t(i) < spans.size())
            spans[size_t(i)].first = -1;
    }
};

// The result of one run of the statement.
struct Result
{
    std::vector<Column> columns;
    std::vector<Row> rows;
    QString table; // the one table the columns come from, when rows can be written back
    QByteArray database;
    int keyColumn = -1; // the result column holding that table's INTEGER PRIMARY KEY
};

// The select list for columns read by their result names, or (byOrigin) by their
// names in their table, with lazy blobs read as their length.
QString selectList(const std::vector<Column>& columns, bool byOrigin);

// Reads the current row of a stepped statement.
void fetchRow(const Statement& stmt, const std::vector<Column>& columns, Row& row);

// Runs a statement and reads its whole result.
Result run(sqlite3* db, const QString& sql);

} // namespace RecordSetQuery
