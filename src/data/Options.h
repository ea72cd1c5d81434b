#pragma once

// The choices of the settings window (设置), kept in qh_settings: where and how
// often the library backs itself up, when the window locks itself, how long the
// recycle bin keeps what was deleted.

#include <QString>

class Connection;

struct Options
{
    QString backupFolder; // empty: no automatic backup
    int backupDays = 7; // 0: no automatic backup
    int backupKeep = 5; // automatic backups kept in the folder
    int lockMinutes = 15; // 0: never locks when idle
    int trashDays = 30; // days a deleted book stays in the recycle bin; 0: for ever

    // Each value's name in qh_settings.
    static constexpr const char* backupFolderKey = "autoBackup.folder";
    static constexpr const char* backupDaysKey = "autoBackup.days";
    static constexpr const char* backupKeepKey = "autoBackup.keep";
    static constexpr const char* lockMinutesKey = "lock.idleMinutes";
    static constexpr const char* trashDaysKey = "trash.days";

    // What the library holds; a value missing or out of its range reads as its default.
    static Options load(Connection& connection);
    void save(Connection& connection) const;
};

namespace OptionRanges {
inline constexpr int maxBackupDays = 365;
inline constexpr int minBackupKeep = 1;
inline constexpr int maxBackupKeep = 30;
inline constexpr int maxLockMinutes = 1440;
inline constexpr int minTrashDays = 0;
inline constexpr int maxTrashDays = 3650;
} // namespace OptionRanges
