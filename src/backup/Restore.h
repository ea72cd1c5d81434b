#pragma once

#include <QDateTime>
#include <QString>

#include <atomic>
#include <functional>

class Connection;

// Puts a backup (Backup.h) back in place of the library and its store, together.
//
//   Restore restore(connection);
//   if (!restore.verify(path)) ...           // cancelled
//   ask the user with restore.summary();
//   cancel() every record set, restore.apply(), refresh() every open one
//
// verify() reads and checks the whole backup, unpacking it into a staging folder
// inside the data folder; it changes nothing of the library and throws
// EBackupError naming the entry at fault. apply() swaps the staged library and
// store in, guarded by a journal file, so that a failure at any moment (the
// process killed included) leaves either the old library and store or the new
// ones, whole: recoverAtStart() finishes or undoes an interrupted swap.
class Restore
{
public:
    using Progress = std::function<void(qint64 done, qint64 total)>;

    struct Summary
    {
        int booksNow = 0, ebooksNow = 0; // in the library in use
        int booksInBackup = 0, ebooksInBackup = 0;
        int ebooksNotInBackup = 0; // e-books now whose store file the backup lacks
        QDateTime created; // when the backup was written
    };

    explicit Restore(Connection& connection);
    ~Restore(); // removes a staging folder that was not applied
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

    void setProgress(Progress progress); // bytes of the backup file read
    void cancel(); // stops a running verify(); it then returns false
    // verify() reads the library in use through this connection (one of the
    // verifying thread's own) rather than the one it restores; null: that one.
    void readThrough(Connection* reading) { m_reading = reading; }

    // Throws EBackupError; false when cancelled (nothing is left behind).
    bool verify(const QString& path);
    Summary summary() const { return m_summary; }

    // Closes the connection (its close listeners run), replaces "data/AccessMng.mdb"
    // and "corvina" with the verified backup, and opens the connection again on the
    // restored library. Throws EBackupError after putting the old library back.
    void apply();

    // Called at start-up, before the library is opened: completes or rolls back a
    // restore that was interrupted, and removes what a cancelled one left. Returns a
    // line for the log ("" when there was nothing to do).
    static QString recoverAtStart();

private:
    Connection& m_connection;
    Connection* m_reading = nullptr;
    Progress m_progress;
    std::atomic_bool m_cancel { false };
    Summary m_summary;
    QString m_staging; // verified and complete when not empty
};
