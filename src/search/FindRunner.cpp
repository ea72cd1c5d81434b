#include "search/FindRunner.h"

#include "data/Connection.h"
#include "data/SqliteHandle.h"
#include "search/FieldSearch.h"
#include "search/FindQuery.h"
#include "search/FullTextLibrary.h"
#include "search/FullTextSearch.h"
#include "tasks/BackgroundTask.h"

#include <QCoreApplication>

#include <memory>

FindRunner::FindRunner(QString databasePath, FullTextLibrary* library, QObject* parent)
    : QObject(parent)
    , m_databasePath(std::move(databasePath))
    , m_library(library)
{
    m_pool.setMaxThreadCount(1);
}

FindRunner::~FindRunner()
{
    cancel();
    // The tasks, children of this object, each wait for their work as they go.
}

void FindRunner::cancel()
{
    if (!m_task)
        return;
    ThreadTask* task = m_task;
    m_task = nullptr;
    // Never deleted here: this may run inside the task's own finished().
    if (task->isFinished()) {
        task->deleteLater();
        return;
    }
    task->cancel();
    task->setAutoDelete(true); // once its work has noticed
}

void FindRunner::waitForDone()
{
    m_pool.waitForDone();
    if (m_task)
        QCoreApplication::sendPostedEvents(m_task);
}

void FindRunner::find(const FindQuery& query, bool fullText)
{
    cancel();
    auto results = std::make_shared<FindResults>();
    const QString path = m_databasePath;
    FullTextLibrary* library = fullText ? m_library : nullptr;
    auto* task = new ThreadTask(
        [query, path, library, results](TaskControl& control) {
            const SqliteHandle handle(FieldSearch::openReadOnly(path));
            sqlite3* db = handle.db;
            *results = FieldSearch::run(db, query, control.cancelFlag());
            if (library && !control.isCancelled())
                results->fullText = FullTextSearch::run(db, query, *library, control.cancelFlag());
        },
        this);
    task->setPool(&m_pool);
    m_task = task;
    const QString text = query.text;
    connect(task, &BackgroundTask::finished, this, [this, task, text, results] {
        if (task != m_task)
            return;
        if (task->state() == BackgroundTask::State::Succeeded)
            emit found(text, *results);
        else if (task->state() == BackgroundTask::State::Failed)
            emit failed(text, task->errorMessage());
    });
    task->start();
}
