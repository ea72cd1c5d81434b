#include "tasks/BackgroundTask.h"

#include <QMetaObject>
#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace Qt::StringLiterals;

namespace Tasks {

// What a thread's work and its task share. The task outlives the work (its
// destructor waits), so the work may post to it while it runs.
struct Shared
{
    std::atomic<bool> cancelled { false };
    std::mutex mutex;
    // Under mutex: the latest step, and whether a delivery of it is queued.
    qint64 done = 0;
    qint64 total = 0;
    QString text;
    bool stepQueued = false;
    // Under mutex: the work's end.
    bool started = false;
    bool ended = false;
    std::exception_ptr error;
    std::condition_variable endedChanged;
    std::function<void()> postStep;
    std::function<void()> postEnd;
};

} // namespace Tasks

namespace {

QString messageOf(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return u"未知错误"_s;
    }
}

} // namespace

// ---- TaskControl --------------------------------------------------------

TaskControl::TaskControl(std::shared_ptr<Tasks::Shared> shared)
    : m_shared(std::move(shared))
{ }

bool TaskControl::isCancelled() const
{
    return m_shared->cancelled.load();
}

const std::atomic<bool>* TaskControl::cancelFlag() const
{
    return &m_shared->cancelled;
}

bool TaskControl::step(qint64 done, qint64 total, const QString& text)
{
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->done = done;
        m_shared->total = total;
        m_shared->text = text;
        if (!m_shared->stepQueued && m_shared->postStep) {
            m_shared->stepQueued = true;
            m_shared->postStep();
        }
    }
    return !isCancelled();
}

// ---- BackgroundTask -----------------------------------------------------

BackgroundTask::BackgroundTask(QObject* parent)
    : QObject(parent)
{ }

BackgroundTask::~BackgroundTask() = default;

void BackgroundTask::cancel()
{
    if (isFinished())
        return;
    m_cancelRequested = true;
    if (m_state == State::Ready)
        finish(State::Cancelled);
}

void BackgroundTask::rethrow() const
{
    if (m_error)
        std::rethrow_exception(m_error);
}

void BackgroundTask::markRunning()
{
    m_state = State::Running;
}

void BackgroundTask::reportStep(qint64 done, qint64 total, const QString& text)
{
    if (isFinished())
        return;
    m_done = done;
    m_total = total;
    m_stepText = text;
    emit progressed(done, total, text);
}

void BackgroundTask::finish(State state, const QString& errorMessage, std::exception_ptr error)
{
    if (isFinished())
        return;
    m_state = state;
    m_errorMessage = errorMessage;
    m_error = std::move(error);
    emit finished();
    if (m_autoDelete)
        deleteLater();
}

// ---- ThreadTask ---------------------------------------------------------

ThreadTask::ThreadTask(Work work, QObject* parent)
    : BackgroundTask(parent)
    , m_work(std::move(work))
    , m_shared(std::make_shared<Tasks::Shared>())
{
    m_shared->postStep = [this] { QMetaObject::invokeMethod(this, &ThreadTask::deliverStep, Qt::QueuedConnection); };
    m_shared->postEnd = [this] { QMetaObject::invokeMethod(this, &ThreadTask::workEnded, Qt::QueuedConnection); };
}

ThreadTask::~ThreadTask()
{
    m_shared->cancelled = true;
    std::unique_lock lock(m_shared->mutex);
    m_shared->endedChanged.wait(lock, [this] { return !m_shared->started || m_shared->ended; });
    m_shared->postStep = nullptr;
    m_shared->postEnd = nullptr;
}

void ThreadTask::start()
{
    if (state() != State::Ready)
        return;
    markRunning();
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->started = true;
    }
    QThreadPool* pool = m_pool ? m_pool : QThreadPool::globalInstance();
    pool->start([shared = m_shared, work = std::move(m_work)]() mutable {
        std::exception_ptr error;
        if (!shared->cancelled) {
            TaskControl control(shared);
            try {
                work(control);
            } catch (...) {
                error = std::current_exception();
            }
        }
        work = nullptr; // what it holds goes before the task may
        const std::lock_guard lock(shared->mutex);
        shared->error = error;
        shared->ended = true;
        if (shared->postEnd)
            shared->postEnd();
        shared->endedChanged.notify_all();
    });
}

void ThreadTask::cancel()
{
    m_shared->cancelled = true;
    BackgroundTask::cancel();
}

void ThreadTask::deliverStep()
{
    qint64 done, total;
    QString text;
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->stepQueued = false;
        done = m_shared->done;
        total = m_shared->total;
        text = m_shared->text;
    }
    reportStep(done, total, text);
}

void ThreadTask::workEnded()
{
    // Any step still queued was posted before this and has been delivered.
    std::exception_ptr error;
    {
        const std::lock_guard lock(m_shared->mutex);
        error = m_shared->error;
    }
    if (cancelRequested())
        finish(State::Cancelled);
    else if (error)
        finish(State::Failed, messageOf(error), error);
    else
        finish(State::Succeeded);
}
