#pragma once

// Long work on the library file from a window (a CSV file out or in, a printed
// catalogue) as a background task (tasks/BackgroundTask.h): on a thread, on a
// connection of its own to the same file, since a connection belongs to one
// thread, behind the task's progress dialog with 取消 (widgets/TaskProgress.h).
//
// done() runs on the window's thread once the work has run to its end, also when
// 取消 came too late to stop it: the file is then whole, the rows are in, and the
// window must say so. An error is shown by the error handler; work that stopped
// shows nothing.

#include <QString>

#include <functional>

class Connection;
class ThreadTask;
class QWidget;

namespace LibraryTask {

// done, total; false once the user has cancelled.
using Progress = std::function<bool(qint64 done, qint64 total)>;
using Work = std::function<void(Connection& connection, const Progress& progress)>;

// Starts the work at once; the task is a child of window and goes by itself.
ThreadTask* start(QWidget* window, const QString& connectionString, const QString& label, Work work,
    std::function<void()> done);

} // namespace LibraryTask
