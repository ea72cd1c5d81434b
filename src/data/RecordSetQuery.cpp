#include "data/RecordSetQuery.h"

#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <limits>

namespace RecordSetQuery {
namespace {

    QString utf8(const char* text)
    {
        return text ? QString::fromUtf8(text) : QString();
    }

    // The INTEGER PRIMARY KEY of a table, or "" when it has none.
    QString rowidKey(sqlite3* db, const QByteArray& database, const QString& table)
    {
        Statement stmt(db, "select name, type from pragma_table_info(?1, ?2) where pk > 0");
        stmt.bind(1, table);
        stmt.bind(2, QString::fromUtf8(database));
        QString key;
        int count = 0;
        while (stmt.step()) {
            ++count;
            if (stmt.text(1).compare(u"INTEGER"_s, Qt::CaseInsensitive) == 0)
                key = stmt.text(0);
        }
        return count == 1 ? key : QString();
    }

    // Reads the columns of a prepared statement and decides whether its rows can be
    // written back (all columns from one table whose key is among them) and which
    // blob columns can be left in the file.
    void describe(sqlite3* db, sqlite3_stmt* stmt, Result& result, const QStringList& upFront)
    {
        const int count = sqlite3_column_count(stmt);
        bool oneTable = true;
        for (int i = 0; i < count; ++i) {
            Column column;
            column.name = utf8(sqlite3_column_name(stmt, i));
            column.table = utf8(sqlite3_column_table_name(stmt, i));
            column.origin = utf8(sqlite3_column_origin_name(stmt, i));
            column.database = QByteArray(sqlite3_column_database_name(stmt, i));
            column.blob = utf8(sqlite3_column_decltype(stmt, i)).contains(u"BLOB"_s, Qt::CaseInsensitive);
            if (!column.table.isEmpty()) {
                if (result.table.isEmpty()) {
                    result.table = column.table;
                    result.database = column.database;
                } else if (result.table != column.table || result.database != column.database) {
                    oneTable = false;
                }
            }
            result.columns.push_back(std::move(column));
        }
        if (!oneTable || result.table.isEmpty()) {
            result.table.clear();
            return;
        }
        const QString key = rowidKey(db, result.database, result.table);
        int keys = 0;
        for (int i = 0; i < count; ++i) {
            if (!key.isEmpty() && result.columns[i].origin.compare(key, Qt::CaseInsensitive) == 0) {
                result.keyColumn = i;
                ++keys;
            }
        }
        if (keys != 1) {
            // No key, or the same table twice (a self-join): read only.
            result.keyColumn = -1;
            result.table.clear();
            return;
        }
        // The blobs can stay in the file only when the wrapping select can name every column.
        QSet<QString> names;
        bool unique = true;
        for (const Column& column : result.columns) {
            const QString name = column.name.toCaseFolded();
            unique = unique && !names.contains(name);
            names.insert(name);
        }
        for (int i = 0; i < count; ++i) {
            Column& column = result.columns[size_t(i)];
            column.lazy = unique && column.blob && !column.table.isEmpty();
            column.deferred = unique && !upFront.isEmpty() && i != result.keyColumn && !column.origin.isEmpty()
                && !upFront.contains(column.name.toCaseFolded());
        }
    }

} // namespace

// The select list that reads a lazy blob column as its length (SQLite reads only
// the record header for length(), never the blob's pages).
QString selectList(const std::vector<Column>& columns, bool byOrigin)
{
    QStringList parts;
    for (const Column& column : columns) {
        const QString name = quoted(byOrigin ? column.origin : column.name);
        if ((byOrigin && column.origin.isEmpty()) || (!byOrigin && column.deferred))
            parts << u"NULL"_s;
        else
            parts << (column.lazy ? u"length(%1)"_s.arg(name) : name);
    }
    return parts.join(u", "_s);
}

RowPlan::RowPlan(const std::vector<Column>& columns, bool utf8File)
    : blank(columns.size())
    , utf8File(utf8File)
{
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].deferred)
            blank[i].kind = Row::Kind::Deferred;
        else
            reads.push_back({ int(i), columns[i].lazy });
    }
}

void fetchRow(const Statement& stmt, const std::vector<Column>& columns, Row& row)
{
    fetchRow(stmt, RowPlan(columns), row);
}

void fetchRow(const Statement& stmt, const RowPlan& plan, Row& row)
{
    sqlite3_stmt* s = stmt.get();
    // A row read before (given back by a closed set) keeps its memory: its cells
    // and its text are overwritten in place.
    row.cells.assign(plan.blank.begin(), plan.blank.end());
    row.values.clear();
    // All of the row's text in one piece: the texts' sizes first, then their bytes,
    // one after the other (SQLite's pointers stay valid while no other conversion
    // of the same column is asked for).
    struct Piece
    {
        const char* source;
        int size;
    };
    const size_t count = plan.reads.size();
    constexpr size_t onStack = 64;
    Piece stackPieces[onStack];
    std::vector<Piece> heapPieces(count > onStack ? count : 0);
    Piece* pieces = count > onStack ? heapPieces.data() : stackPieces;
    size_t texts = 0;
    qint64 total = 0;
    for (const RowPlan::Read read : plan.reads) {
        // One look-up of the cell, read through the value functions: the column
        // functions each look the cell up again and check the handle's error
        // state, which was most of the cost of a row. The statement is stepped
        // on this thread only, so the unprotected value is safe to read here.
        sqlite3_value* value = sqlite3_column_value(s, read.column);
        const int type = sqlite3_value_type(value);
        Row::Cell& cell = row.cells[size_t(read.column)];
        if (type == SQLITE_TEXT && !read.lazy) {
            // A text as stored is in the file's encoding (SQLite turns what its
            // functions return into it too); empty, it has no bytes to point at.
            const char* source
                = reinterpret_cast<const char*>(plan.utf8File ? sqlite3_value_blob(value) : sqlite3_value_text(value));
            const int size = sqlite3_value_bytes(value);
            if (size > 0) {
                if (!source)
                    fail(u"内存不足，无法读取"_s);
                pieces[texts++] = Piece { source, size };
            }
            cell = Row::Cell { total, size, Row::Kind::Text };
            total += size;
        } else if (type == SQLITE_NULL) {
            continue;
        } else if (read.lazy) {
            cell = Row::Cell { sqlite3_value_int64(value), 0, Row::Kind::Lazy };
        } else if (type == SQLITE_INTEGER) {
            cell = Row::Cell { sqlite3_value_int64(value), 0, Row::Kind::Integer };
        } else {
            cell = Row::Cell { 0, int(row.values.size()), Row::Kind::Value };
            row.values.append(stmt.value(read.column));
        }
    }
    if (total > std::numeric_limits<int>::max())
        fail(u"一行的文字超过 2 GB，无法读取"_s);
    // Into the memory the row had when it holds enough; else exactly what it needs
    // (growing, a resize would add room for more, in every row of the set).
    if (row.text.isDetached() && row.text.capacity() >= total)
        row.text.resize(total);
    else
        row.text = QByteArray(total, Qt::Uninitialized);
    char* text = row.text.data();
    for (size_t k = 0; k < texts; ++k) {
        std::memcpy(text, pieces[k].source, size_t(pieces[k].size));
        text += pieces[k].size;
    }
}

namespace {

    // Steps a prepared statement to its end, into result's rows. False when the
    // engine prepared it again on the way (the schema changed): the rows read
    // are then dropped and the caller starts afresh.
    bool readRows(Statement& stmt, Result& result, bool againIsStale, std::vector<Row>& spare)
    {
        sqlite3_stmt* s = stmt.get();
        const int before = sqlite3_stmt_status(s, SQLITE_STMTSTATUS_REPREPARE, 0);
        const auto end = qScopeGuard([&stmt] { stmt.reset(); }); // no read left open, whatever happens
        result.rows.reserve(spare.size());
        const RowPlan plan(result.columns, result.utf8File);
        while (stmt.step()) {
            if (againIsStale && result.rows.empty()
                && (sqlite3_stmt_status(s, SQLITE_STMTSTATUS_REPREPARE, 0) != before
                    || size_t(sqlite3_column_count(s)) != result.columns.size()))
                return false;
            // Rows given back are taken in their order: the same rows read again
            // then fit the memory they had.
            const size_t n = result.rows.size();
            Row& row = n < spare.size() ? result.rows.emplace_back(std::move(spare[n])) : result.rows.emplace_back();
            fetchRow(stmt, plan, row);
        }
        return !againIsStale || sqlite3_stmt_status(s, SQLITE_STMTSTATUS_REPREPARE, 0) == before;
    }

} // namespace

Result run(sqlite3* db, const QString& sql, Prepared* prepared, const QStringList& upFront)
{
    std::vector<Row> spare;
    if (prepared)
        spare.swap(prepared->spare);
    if (prepared && prepared->stmt && prepared->db == db && prepared->sql == sql && prepared->upFront == upFront) {
        Result result = prepared->description;
        result.again = true;
        if (readRows(*prepared->stmt, result, true, spare))
            return result;
        prepared->clear();
    }

    Result result;
    const QByteArray text = sql.toUtf8();
    const char* tail = nullptr;
    auto stmt = std::make_unique<Statement>(db, text, &tail);
    if (stmt->isEmpty())
        fail(u"没有要执行的 SQL 语句"_s);
    describe(db, stmt->get(), result, upFront);
    result.utf8File = Statement::scalar(db, "pragma encoding") == u"UTF-8"_s;

    const bool wrap = std::any_of(
        result.columns.begin(), result.columns.end(), [](const Column& c) { return c.lazy || c.deferred; });
    if (wrap) {
        // Run the same statement inside a select that takes the blobs' lengths only
        // and leaves the deferred columns out.
        QByteArray first = text.left(tail - text.constData()).trimmed();
        while (first.endsWith(';'))
            first = first.chopped(1).trimmed();
        const QString wrapped
            = u"select %1 from (\n%2\n)"_s.arg(selectList(result.columns, false), QString::fromUtf8(first));
        try {
            stmt = std::make_unique<Statement>(db, wrapped.toUtf8());
        } catch (const EDatabaseError&) {
            for (Column& column : result.columns)
                column.lazy = column.deferred = false;
        }
    }
    // Only a single statement that reads rows is kept: others may write, or run once.
    const bool keep = prepared && tail && QByteArray(tail).trimmed().isEmpty() && sqlite3_stmt_readonly(stmt->get());
    if (prepared)
        prepared->clear();
    if (keep) {
        prepared->description = result;
    }
    readRows(*stmt, result, false, spare);
    if (keep) {
        prepared->db = db;
        prepared->sql = sql;
        prepared->upFront = upFront;
        prepared->stmt = std::move(stmt);
    }
    return result;
}

} // namespace RecordSetQuery
