#include "catalogue/LibraryTask.h"

#include "data/Connection.h"
#include "tasks/BackgroundTask.h"
#include "widgets/ErrorHandler.h"
#include "widgets/TaskProgress.h"
#include "widgets/Titles.h"

#include <QPointer>
#include <QScopeGuard>
#include <QThreadPool>
#include <QWidget>

#include <atomic>
#include <memory>

namespace LibraryTask {

ThreadTask* start(QWidget* window, const QString& connectionString, const QString& label, Work work,
    std::function<void()> done)
{
    auto completed = std::make_shared<std::atomic<bool>>(false);
    auto* task = new ThreadTask(
        [connectionString, work = std::move(work), completed](TaskControl& control) {
            // The work mostly waits on the disk or on what it hands the pool (covers to decode):
            // the pool's threads stay for those.
            QThreadPool* pool = QThreadPool::globalInstance();
            pool->releaseThread();
            const auto back = qScopeGuard([pool] { pool->reserveThread(); });
            Connection connection(connectionString);
            work(connection, [&control](qint64 doneSoFar, qint64 total) { return control.step(doneSoFar, total); });
            *completed = true;
        },
        window);
    task->setObjectName(QStringLiteral("LibraryTask"));
    task->setAutoDelete(true);
    QPointer<TaskProgress> progress = new TaskProgress(task, window, Titles::application());
    progress->setLabel([label](qint64, qint64, const QString&) { return label; });
    QObject::connect(task, &BackgroundTask::finished, window, [task, progress, completed, done = std::move(done)] {
        // The progress box goes before any message asks for an answer.
        delete progress.data();
        if (task->state() == BackgroundTask::State::Failed)
            ErrorHandler::guard([task] { task->rethrow(); });
        else if (*completed)
            ErrorHandler::guard(done);
    });
    task->start();
    return task;
}

} // namespace LibraryTask
