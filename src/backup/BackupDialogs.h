#pragma once

// The window side of backup and restore ("备份数据", "恢复数据"): the file dialogs,
// progress with cancel, the confirmation and the closing messages, all through
// Prompt. Everything runs on the user-interface thread; the progress callbacks
// let events through so that the cancel button works.

#include <QString>

#include <functional>

class Connection;
class QObject;
class QWidget;

namespace BackupDialogs {

// Asks where to save, writes the backup and says what was saved.
void backup(QWidget* parent, Connection& connection);

// Asks for a backup, checks the whole of it, asks for confirmation and puts it in
// place of the library. Before the swap every record set of the connection drops
// its pending edit; after it has been tried (whether it succeeded or not)
// `reread` runs, which must re-read every window's data. True when restored.
bool restore(QWidget* parent, Connection& connection, const std::function<void()>& reread);

// Re-reads every open record set of the connection from the file, but those owned
// (directly or further down) by `skip`. A set that cannot be re-read is closed, so
// that no row from before stays in it.
void rereadRecordSets(Connection& connection, const QObject* skip = nullptr);

} // namespace BackupDialogs
