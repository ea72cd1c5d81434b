#pragma once

// The backups the library makes by itself: when one is due (the last that went
// through is older than the interval), a backup file in the chosen folder, written
// and then checked whole as a restore would check it, and only then given its
// name "青禾书屋自动备份-YYYYMMDD-HHMMSS.qhbak". The oldest of those this feature
// made beyond the number kept are removed after that, never another file.
//
// run() is the work of one backup, for a thread of its own (AutoBackupRunner):
// it opens a connection of its own on the library file, read only.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

class Connection;
class TaskControl;

namespace AutoBackup {

// qh_settings: when the last backup went through (UTC, ISO form) and the stamps
// of the backups made and still kept, oldest first, blank-separated.
inline constexpr const char* lastKey = "autoBackup.last";
inline constexpr const char* madeKey = "autoBackup.made";

QString fileName(const QString& stamp);
QString stampOf(const QDateTime& at); // "20261210-093000"
// The stamp of a name this feature gives ("" for any other name).
QString stampInName(const QString& fileName);

bool isDue(const QString& folder, int days, const QDateTime& last, const QDateTime& now);

struct Job
{
    QString connectionString; // the library's; opened read only
    QString folder;
    int keep = 5;
    QDateTime now;
    QStringList made; // stamps, oldest first
    // Tests: runs on the written file before it is checked.
    std::function<void(const QString& path)> afterWrite;
};

struct Outcome
{
    enum Kind { Done, FolderMissing, Cancelled } kind = Done;
    QString file; // the new backup's path
    QStringList made; // the stamps kept, the new one last
    QStringList removed; // paths of the old backups removed
};

// Throws EBackupError (or EDatabaseError) when the backup cannot be written or
// fails its check; the file it was writing is gone then, and nothing else changed.
Outcome run(const Job& job, TaskControl& control);

} // namespace AutoBackup
