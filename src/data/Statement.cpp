#include "data/Statement.h"

#include "data/EngineMessage.h"

using namespace Qt::StringLiterals;

Statement::Statement(sqlite3* db, const QByteArray& sql, const char** tail)
    : m_db(db)
{
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_stmt, tail) != SQLITE_OK)
        failEngine(db);
}

void Statement::fail(const QString& message)
{
    throw EDatabaseError(message.toStdString());
}

void Statement::failEngine(sqlite3* db)
{
    fail(EngineMessage::of(db));
}

Statement& Statement::bind(int index, const QVariant& value)
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
    return *this;
}

Statement& Statement::bindStaticBlob(int index, const void* data, qsizetype size)
{
    if (sqlite3_bind_blob64(m_stmt, index, data, sqlite3_uint64(size), SQLITE_STATIC) != SQLITE_OK)
        failEngine(m_db);
    return *this;
}

bool Statement::step()
{
    if (!m_stmt)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    failEngine(m_db);
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
}

QVariant Statement::value(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, column));
    case SQLITE_TEXT:
        return QVariant(text(column));
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
        return QVariant(QByteArray(data, sqlite3_column_bytes(m_stmt, column)));
    }
    default:
        return {};
    }
}

QString Statement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
}

void Statement::execute(sqlite3* db, const QByteArray& sql)
{
    const char* tail = sql.constData();
    const char* end = tail + sql.size();
    while (tail < end) {
        const char* next = nullptr;
        Statement stmt(db, QByteArray::fromRawData(tail, end - tail), &next);
        tail = next;
        while (stmt.step()) { }
    }
}

QString Statement::scalar(sqlite3* db, const QByteArray& sql)
{
    Statement stmt(db, sql);
    if (stmt.step() && stmt.columnCount() > 0)
        return stmt.text(0);
    return {};
}
