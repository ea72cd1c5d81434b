#pragma once

// The engine side of record sets: prepared statements, the reading of a whole
// result, and the description of its columns. Internal to the data layer.

#include "shell/udata.h"

#include <QVariantList>

#include <sqlite3.h>

#include <vector>

namespace RecordSetQuery {

using namespace Qt::StringLiterals;

[[noreturn]] inline void fail(const QString& message)
{
    throw EDatabaseError(message.toStdString());
}

[[noreturn]] inline void failEngine(sqlite3* db)
{
    fail(QString::fromUtf8(sqlite3_errmsg(db)));
}

inline QString quoted(const QString& identifier)
{
    return u'"' + QString(identifier).replace(u'"', u"\"\""_s) + u'"';
}

// A prepared statement, finalised on every way out.
class Statement
{
public:
    Statement(sqlite3* db, const QByteArray& sql, const char** tail = nullptr)
        : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_stmt, tail) != SQLITE_OK)
            failEngine(db);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return m_stmt; }

    void bind(int index, const QVariant& value)
    {
        int rc;
        if (!value.isValid()) {
            rc = sqlite3_bind_null(m_stmt, index);
        } else if (value.typeId() == QMetaType::QByteArray) {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob64(m_stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT);
        } else if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int) {
            rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
        } else if (value.typeId() == QMetaType::Double) {
            rc = sqlite3_bind_double(m_stmt, index, value.toDouble());
        } else {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text64(
                m_stmt, index, text.constData(), sqlite3_uint64(text.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
        }
        if (rc != SQLITE_OK)
            failEngine(m_db);
    }

    // Steps once: true for a row, false when done; throws on an error.
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        failEngine(m_db);
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// Runs a write in a transaction of its own (unless the caller already has one):
// on an error the file is rolled back and nothing is half written.
template <typename Work> void inTransaction(sqlite3* db, Work&& work)
{
    const bool own = sqlite3_get_autocommit(db) != 0;
    if (own && sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        failEngine(db);
    try {
        work();
        if (own && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            failEngine(db);
    } catch (...) {
        if (own && !sqlite3_get_autocommit(db))
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
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

struct Row
{
    QVariantList values;
    std::vector<bool> unloaded; // a lazy blob that is not null; values holds its length
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
void fetchRow(sqlite3_stmt* stmt, const std::vector<Column>& columns, Row& row);

// Runs a statement and reads its whole result.
Result run(sqlite3* db, const QString& sql);

} // namespace RecordSetQuery
