#pragma once

// The one way this program works off the window's thread.
//
// A BackgroundTask is a job whose work runs elsewhere: on a thread pool
// (ThreadTask) or in a child process (ProcessTask, tasks/ProcessTask.h). The
// object itself lives on the thread that made it (the window's thread), never
// blocks it, and tells it everything through signals:
//
//   progressed(done, total, text)  the work's latest step, at most one queued at a time
//   finished()                     once, when the work has ended; state() says how:
//                                  Succeeded, Failed (errorMessage(), error()) or Cancelled
//
// cancel() asks the work to stop: a thread's work polls TaskControl::isCancelled()
// (or the false that TaskControl::step returns); a process is killed. A task
// that is cancelled ends Cancelled even when its work ran on to the end, so a
// caller never acts on the result of work the user stopped.
//
//     auto* task = new ThreadTask([path](TaskControl& control) { copyOut(path, control); }, this);
//     task->setAutoDelete(true);
//     connect(task, &BackgroundTask::finished, this, [this, task] { ErrorHandler::guard([task] { task->rethrow(); }); });
//     new TaskProgress(task, window(), u"导出电子书"_s);   // widgets/: a dialog only after 300 ms
//     task->start();
//
// What the work writes into captured variables may be read once finished()
// has come: the work has returned by then.

#include <QObject>
#include <QString>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

class QThreadPool;

namespace Tasks {
struct Shared;
}

// Handed to a thread's work: the cancel token it polls and where it reports its steps.
class TaskControl
{
public:
    explicit TaskControl(std::shared_ptr<Tasks::Shared> shared);

    bool isCancelled() const;
    // The same token, for code below that polls a flag of its own.
    const std::atomic<bool>* cancelFlag() const;
    // The work has done `done` of `total` (bytes, files… as it counts), with an
    // optional text for the user. False once the task is cancelled.
    bool step(qint64 done, qint64 total, const QString& text = QString());

private:
    std::shared_ptr<Tasks::Shared> m_shared;
};

class BackgroundTask : public QObject
{
    Q_OBJECT
public:
    enum class State { Ready, Running, Succeeded, Failed, Cancelled };

    ~BackgroundTask() override;

    virtual void start() = 0;
    // Asks the work to stop; finished() follows (at once when it had not started).
    virtual void cancel();

    State state() const { return m_state; }
    bool isRunning() const { return m_state == State::Running; }
    bool isFinished() const { return m_state >= State::Succeeded; }
    bool wasCancelled() const { return m_state == State::Cancelled || m_cancelRequested; }

    // Whether the user may stop it (a progress dialog then shows 取消). Default true.
    bool isCancellable() const { return m_cancellable; }
    void setCancellable(bool cancellable) { m_cancellable = cancellable; }
    // Deleted (later) once finished() has been delivered.
    void setAutoDelete(bool autoDelete) { m_autoDelete = autoDelete; }

    // The latest step reported.
    qint64 done() const { return m_done; }
    qint64 total() const { return m_total; }
    QString stepText() const { return m_stepText; }

    // After Failed: the message for the user, and for a thread's work what it threw.
    QString errorMessage() const { return m_errorMessage; }
    std::exception_ptr error() const { return m_error; }
    // Throws the work's error again (on the caller's thread, so its handler shows it); nothing when there was none.
    void rethrow() const;

signals:
    void progressed(qint64 done, qint64 total, const QString& text);
    void finished();

protected:
    explicit BackgroundTask(QObject* parent);

    void markRunning();
    void reportStep(qint64 done, qint64 total, const QString& text);
    // Ends the task (once; later calls are ignored) and emits finished().
    void finish(State state, const QString& errorMessage = QString(), std::exception_ptr error = nullptr);
    bool cancelRequested() const { return m_cancelRequested; }

private:
    State m_state = State::Ready;
    bool m_cancellable = true;
    bool m_autoDelete = false;
    bool m_cancelRequested = false;
    qint64 m_done = 0;
    qint64 m_total = 0;
    QString m_stepText;
    QString m_errorMessage;
    std::exception_ptr m_error;
};

// Work on a thread pool. Destroying the task cancels it and waits for the work
// to return, so the work may use what its owner owns: work should poll the
// token often (every few milliseconds).
class ThreadTask : public BackgroundTask
{
    Q_OBJECT
public:
    using Work = std::function<void(TaskControl& control)>;

    explicit ThreadTask(Work work, QObject* parent = nullptr);
    ~ThreadTask() override;

    // The pool it runs on; the global one unless set before start().
    void setPool(QThreadPool* pool) { m_pool = pool; }
    void start() override;
    void cancel() override;

private:
    void workEnded();
    void deliverStep();

    Work m_work;
    QThreadPool* m_pool = nullptr;
    std::shared_ptr<Tasks::Shared> m_shared;
};
