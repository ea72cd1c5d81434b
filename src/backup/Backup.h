#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

class Connection;

// Writes one backup file of the library: a snapshot of the open database, taken with
// the engine's online backup while the program runs, and every store file of
// "corvina" that belongs to a dzbook row (see BackupFormat.h). The file appears under
// its name only when it is complete and on the disk; a failure or a cancel leaves
// nothing behind, not even a temporary file.
class Backup
{
public:
    // Bytes done and bytes in all, called often (about every megabyte) on the calling thread.
    using Progress = std::function<void(qint64 done, qint64 total)>;

    struct Result
    {
        int books = 0; // rows of baseshu in the snapshot
        int ebooks = 0; // rows of dzbook in the snapshot
        int storeFiles = 0; // store files written
        qint64 bytes = 0; // size of the backup file
        QStringList missing; // stored names of rows whose store file was not found
        int unlisted = 0; // store files that no row names, left out
    };

    explicit Backup(Connection& connection);

    // "青禾书屋备份-YYYYMMDD.qhbak"
    static QString defaultFileName(const QDate& date = QDate::currentDate());

    void setProgress(Progress progress);
    // Asks a running write() to stop; safe from the progress callback or another thread.
    void cancel();

    // Writes the backup to target, replacing a file of that name. Returns false when
    // cancelled. Throws EBackupError (BackupFormat.h) or EDatabaseError.
    bool write(const QString& target);
    const Result& result() const { return m_result; }

private:
    Connection& m_connection;
    Progress m_progress;
    std::atomic_bool m_cancel { false };
    Result m_result;
};
