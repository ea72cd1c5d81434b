#pragma once

// The data layer's one way to run SQL on an SQLite handle: a prepared statement
// that is finalised on every way out and turns every engine error into an
// EDatabaseError carrying the engine's message. Internal to the data layer.

#include "data/Connection.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <sqlite3.h>

#include <utility>

class Statement
{
public:
    // Prepares the first statement of sql; tail (when given) receives where the next begins.
    // Text of blanks or comments only prepares nothing (isEmpty()).
    Statement(sqlite3* db, const QByteArray& sql, const char** tail = nullptr);
    Statement(sqlite3* db, const char* sql)
        : Statement(db, QByteArray(sql))
    { }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool isEmpty() const { return m_stmt == nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }

    // Parameters count from 1. An invalid QVariant binds NULL; bytes bind a blob,
    // integers an integer, anything else its text.
    Statement& bind(int index, const QVariant& value);
    // A blob the statement reads in place: data must outlive the next step().
    Statement& bindStaticBlob(int index, const void* data, qsizetype size);

    bool step(); // true for a row, false when done
    void reset(); // ready to step again, bindings kept
    int columnCount() const { return sqlite3_column_count(m_stmt); }
    QVariant value(int column) const; // NULL reads as an invalid QVariant
    QString text(int column) const; // NULL reads as ""
    qint64 integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

    // Runs every statement of a text, stepping each to its end.
    static void execute(sqlite3* db, const QByteArray& sql);
    // The first column of the first row as text ("" when there is none).
    static QString scalar(sqlite3* db, const QByteArray& sql);

    [[noreturn]] static void fail(const QString& message);
    [[noreturn]] static void failEngine(sqlite3* db);

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// One use of a statement the connection keeps prepared (Connection::kept): bind,
// step, read; reset when this goes, so that no read stays open in the file. Not
// for a text that is in use further up the same call.
class KeptStatement
{
public:
    KeptStatement(Connection& connection, const QByteArray& sql)
        : m_stmt(connection.kept(sql))
    { }
    ~KeptStatement() { m_stmt.reset(); }
    KeptStatement(const KeptStatement&) = delete;
    KeptStatement& operator=(const KeptStatement&) = delete;
    Statement* operator->() const { return &m_stmt; }
    Statement& operator*() const { return m_stmt; }

private:
    Statement& m_stmt;
};

// Runs a write in a transaction of its own (unless the caller already has one):
// on an error the file is rolled back and nothing is half written.
template <typename Work> decltype(auto) inTransaction(sqlite3* db, Work&& work)
{
    const bool own = sqlite3_get_autocommit(db) != 0;
    if (own && sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        Statement::failEngine(db);
    try {
        if constexpr (std::is_void_v<decltype(work())>) {
            std::forward<Work>(work)();
            if (own && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
                Statement::failEngine(db);
        } else {
            auto result = std::forward<Work>(work)();
            if (own && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
                Statement::failEngine(db);
            return result;
        }
    } catch (...) {
        if (own && !sqlite3_get_autocommit(db))
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}
