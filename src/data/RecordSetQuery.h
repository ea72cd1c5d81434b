#pragma once

// The engine side of record sets: the reading of a whole result and the
// description of its columns. Internal to the data layer.

#include "data/RecordSet.h"
#include "data/Statement.h"

#include <QVariantList>

#include <memory>

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
    bool deferred = false; // not read with the rows; a row reads it by its key when asked
};

// One row of a result, kept small: a result of ten thousand rows of thirty
// columns is read, held and freed every time a list opens. Text read from the
// file stays as the UTF-8 bytes SQLite returned, all of a row's text in one
// buffer, and becomes a QString only when read; whole numbers and the lengths of
// lazy blobs sit in the cell itself; only other values (real numbers, blobs read
// whole, values set while editing) take a QVariant.
struct Row
{
    enum class Kind : quint8
    {
        Null,
        Text,
        Integer,
        Lazy,
        Value,
        Deferred // a deferred column of a row that has not read it yet
    };
    struct Cell
    {
        qint64 number = 0; // the integer, the lazy blob's length, or the text's offset
        int size = 0; // the text's size in bytes, or the index in values
        Kind kind = Kind::Null;
    };
    std::vector<Cell> cells;
    QByteArray text; // the text cells' UTF-8, one after another
    QVariantList values; // the Value cells

    explicit Row(size_t columns = 0)
        : cells(columns)
    { }

    // A lazy blob that is not null: its bytes are still in the file.
    bool unloaded(int i) const { return cells[size_t(i)].kind == Kind::Lazy; }
    bool deferred(int i) const { return cells[size_t(i)].kind == Kind::Deferred; }
    bool isNull(int i) const { return cells[size_t(i)].kind == Kind::Null; }
    bool packed(int i) const { return cells[size_t(i)].kind == Kind::Text; }
    QString packedText(int i) const
    {
        const Cell& c = cells[size_t(i)];
        return QString::fromUtf8(text.constData() + c.number, c.size);
    }
    // The value; a lazy blob reads as its length.
    QVariant cell(int i) const
    {
        const Cell& c = cells[size_t(i)];
        switch (c.kind) {
        case Kind::Text:
            return QVariant(packedText(i));
        case Kind::Integer:
        case Kind::Lazy:
            return QVariant(c.number);
        case Kind::Value:
            return values[c.size];
        case Kind::Null:
        case Kind::Deferred:
            break;
        }
        return {};
    }
    void set(int i, const QVariant& value)
    {
        Cell& c = cells[size_t(i)];
        if (!value.isValid()) {
            c = Cell();
        } else if (c.kind == Kind::Value) {
            values[c.size] = value;
        } else {
            c = Cell { 0, int(values.size()), Kind::Value };
            values.append(value);
        }
    }
    // Column i as another row holds it in its column j.
    void take(int i, const Row& from) { take(i, from, i); }
    void take(int i, const Row& from, int j)
    {
        const Cell& source = from.cells[size_t(j)];
        if (source.kind == Kind::Value) {
            set(i, from.values[source.size]);
        } else if (source.kind == Kind::Text) {
            cells[size_t(i)] = Cell { text.size(), source.size, Kind::Text };
            text.append(from.text.constData() + source.number, source.size);
        } else {
            cells[size_t(i)] = source;
        }
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
    bool utf8File = false; // the file's text encoding is UTF-8
    bool again = false; // read by the statement of the last run, described as it was then
};

// The select list for columns read by their result names, deferred ones as NULL,
// or (byOrigin) by their names in their table, every one; lazy blobs read as their length.
QString selectList(const std::vector<Column>& columns, bool byOrigin);

// How the rows of one result are read: the cells a row starts from (its deferred
// columns marked) and the columns read from the statement, in order.
struct RowPlan
{
    explicit RowPlan(const std::vector<Column>& columns, bool utf8File = false);
    struct Read
    {
        int column;
        bool lazy;
    };
    std::vector<Row::Cell> blank;
    std::vector<Read> reads;
    // The file keeps its text as UTF-8: a text is taken as stored, without the
    // terminated copy SQLite makes when asked for it as a C string.
    bool utf8File = false;
};

// Reads the current row of a stepped statement.
void fetchRow(const Statement& stmt, const RowPlan& plan, Row& row);
void fetchRow(const Statement& stmt, const std::vector<Column>& columns, Row& row);

// What one run of a statement leaves for the next run of the same text on the
// same handle: its description and the statement that reads it, prepared. A set
// opened again (a search, a refresh) then neither prepares nor describes anew.
// The engine prepares the statement again by itself when the schema changes; the
// description is then worked out again too.
struct Prepared
{
    sqlite3* db = nullptr;
    QString sql;
    QStringList upFront;
    Result description; // the columns, table and key; no rows
    std::unique_ptr<Statement> stmt;
    // The rows of a result given back (a set closed): the next run reads into them,
    // keeping their memory, rather than freeing them and allocating as many again.
    std::vector<Row> spare;

    void clear()
    {
        stmt.reset();
        db = nullptr;
        sql.clear();
        upFront.clear();
        spare.clear();
        description = Result();
    }
};

// Runs a statement and reads its whole result; with prepared, reusing and
// keeping what it holds. With upFront (case-folded result names), the other
// columns of a writable result are deferred: each row reads them when asked.
Result run(sqlite3* db, const QString& sql, Prepared* prepared = nullptr, const QStringList& upFront = {});

} // namespace RecordSetQuery
