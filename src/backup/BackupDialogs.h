#pragma once

// The window side of backup and restore ("备份数据", "恢复数据"): the file dialogs,
// progress with cancel, the confirmation and the closing messages, all through
// Prompt. The backup and the check of a backup run as background tasks
// (tasks/BackgroundTask.h) on a connection of their own, behind a progress
// dialog with 取消; what follows them runs on the window's thread when they end.

#include <QString>

#include <functional>

class BackgroundTask;
class Connection;
class Restore;
class QObject;
class QWidget;

namespace BackupDialogs {

// Asks where to save, and starts writing the backup; says what was saved when it
// ends. Returns the task (null when nothing was started); it goes by itself.
BackgroundTask* backup(QWidget* parent, Connection& connection);

// Asks for a backup and starts checking the whole of it; when the check ends,
// apply() follows. Returns the task (null when nothing was started).
BackgroundTask* restore(QWidget* parent, Connection& connection, std::function<void()> reread);

// Asks for confirmation and puts a checked backup in place of the library. Before
// the swap every record set of the connection drops its pending edit; after it has
// been tried (whether it succeeded or not) `reread` runs, which must re-read every
// window's data.
void apply(QWidget* parent, Connection& connection, Restore& restore, const std::function<void()>& reread);

// Compacts the library file on a thread, behind a progress dialog over every
// window (the user's input waits from the first moment). The connection is held
// closed meanwhile, so that nothing opens the file being replaced; it opens again
// on the window's thread when the compaction has ended, "压库成功" or the reason
// of the failure is said, and `reopened` runs. Returns the task.
BackgroundTask* compact(QWidget* parent, Connection& connection, std::function<void()> reopened);

// Re-reads every open record set of the connection from the file, but those owned
// (directly or further down) by `skip`. A set that cannot be re-read is closed, so
// that no row from before stays in it.
void rereadRecordSets(Connection& connection, const QObject* skip = nullptr);

} // namespace BackupDialogs
