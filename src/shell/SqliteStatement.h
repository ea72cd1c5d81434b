#pragma once

#include "shell/udata.h"

#include <QString>

#include <optional>

#include <sqlite3.h>

// One prepared statement on an open SQLite handle, for the code that works on
// the file directly (indexes, bulk import and export). Errors throw
// EDatabaseError with the engine's message.
class SqliteStatement
{
public:
    SqliteStatement(sqlite3* db, const QString& sql)
        : m_db(db)
    {
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr) != SQLITE_OK)
            fail();
    }
    ~SqliteStatement() { sqlite3_finalize(m_stmt); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // True while there is a row to read.
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            fail();
        return rc == SQLITE_ROW;
    }
    void reset()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

    // Parameters count from 1; an empty optional binds NULL.
    void bind(int index, const std::optional<QString>& text)
    {
        if (!text) {
            sqlite3_bind_null(m_stmt, index);
            return;
        }
        const QByteArray utf8 = text->toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, std::optional<qint64> value)
    {
        if (value)
            sqlite3_bind_int64(m_stmt, index, *value);
        else
            sqlite3_bind_null(m_stmt, index);
    }

    // Columns count from 0; NULL reads as "" (isNull tells them apart).
    bool isNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    QString text(int column) const
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
    }
    qint64 integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

private:
    [[noreturn]] void fail() const { throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(m_db)).toStdString()); }

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};
