#include "data/Options.h"

#include "data/Settings.h"

using namespace Qt::StringLiterals;

namespace {

int number(Connection& connection, const char* key, int fallback, int low, int high)
{
    bool ok = false;
    const int value = Settings::value(connection, QString::fromLatin1(key)).trimmed().toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

} // namespace

Options Options::load(Connection& connection)
{
    using namespace OptionRanges;
    Options options;
    options.backupFolder = Settings::value(connection, QString::fromLatin1(backupFolderKey));
    options.backupDays = number(connection, backupDaysKey, options.backupDays, 0, maxBackupDays);
    options.backupKeep = number(connection, backupKeepKey, options.backupKeep, minBackupKeep, maxBackupKeep);
    options.lockMinutes = number(connection, lockMinutesKey, options.lockMinutes, 0, maxLockMinutes);
    options.trashDays = number(connection, trashDaysKey, options.trashDays, minTrashDays, maxTrashDays);
    return options;
}

void Options::save(Connection& connection) const
{
    Settings::setValue(connection, QString::fromLatin1(backupFolderKey), backupFolder);
    Settings::setValue(connection, QString::fromLatin1(backupDaysKey), QString::number(backupDays));
    Settings::setValue(connection, QString::fromLatin1(backupKeepKey), QString::number(backupKeep));
    Settings::setValue(connection, QString::fromLatin1(lockMinutesKey), QString::number(lockMinutes));
    Settings::setValue(connection, QString::fromLatin1(trashDaysKey), QString::number(trashDays));
}
