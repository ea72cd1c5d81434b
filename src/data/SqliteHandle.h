#pragma once

// An SQLite handle of one's own (a thread's read-only handle, a backup's
// snapshot, a library checked before a restore), closed when it goes out of scope.

struct sqlite3;

struct SqliteHandle
{
    explicit SqliteHandle(sqlite3* handle = nullptr)
        : db(handle)
    { }
    ~SqliteHandle() { close(); }
    SqliteHandle(const SqliteHandle&) = delete;
    SqliteHandle& operator=(const SqliteHandle&) = delete;

    // Closes the handle now (statements left open are finalised with it); db becomes null.
    void close();

    sqlite3* db = nullptr;
};
