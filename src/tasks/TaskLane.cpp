#include "tasks/TaskLane.h"

#include <QObject>
#include <QThread>

namespace Tasks {

TaskLane::TaskLane(const QString& name)
    : m_thread(std::make_unique<QThread>())
    , m_context(new QObject)
{
    m_thread->setObjectName(name);
    m_context->moveToThread(m_thread.get());
    m_thread->start();
}

TaskLane::~TaskLane()
{
    stop();
}

void TaskLane::post(std::function<void()> job)
{
    if (m_stopped)
        return;
    QMetaObject::invokeMethod(m_context, std::move(job), Qt::QueuedConnection);
}

void TaskLane::stop(std::function<void()> last)
{
    if (m_stopped)
        return;
    m_stopped = true;
    // Queued behind the jobs already posted, so they have all run when the loop ends.
    QMetaObject::invokeMethod(m_context, [last = std::move(last)] {
        if (last)
            last();
        QThread::currentThread()->quit();
    }, Qt::QueuedConnection);
    m_thread->wait();
    delete m_context;
    m_context = nullptr;
}

} // namespace Tasks
