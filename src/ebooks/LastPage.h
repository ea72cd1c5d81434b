#pragma once

// The page each e-book was last left at, kept in the library file (table
// qh_lastpage: e-book id -> zero-based page), made on first use.

#include <QtGlobal>

class Connection;

class LastPage
{
public:
    explicit LastPage(Connection& connection);

    // Zero-based; 0 when none is remembered.
    int page(qint64 id);
    void remember(qint64 id, int page);
    // When the e-book is deleted.
    void forget(qint64 id);

private:
    void ensureTable();

    Connection& m_connection;
    bool m_ready = false;
};
