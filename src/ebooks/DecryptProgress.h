#pragma once

// Decrypting a book out of the store (export, drag-out) as a background task
// (tasks/BackgroundTask.h): the window keeps painting, and when the work lasts
// more than 300 ms the task's progress dialog (widgets/TaskProgress.h) shows
// the book's name and the megabytes done, with "取消" where the work may be
// cancelled. Until the work ends the window takes no clicks, moves or keys (a
// left-button release still goes through, so a drag whose button came up
// meanwhile is known). Nothing here waits: start() returns at once and
// finished() says when the work is over.

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QWidget;
class ThreadTask;

class DecryptProgress : public QObject
{
    Q_OBJECT
public:
    // Called on the worker thread with the bytes done and the total; returns false once cancelled.
    using Report = std::function<bool(qint64 done, qint64 total)>;
    // The work, on the worker thread; returns false when it was cancelled.
    using Work = std::function<bool(const Report& report)>;

    // Starts work at once. The object (a child of window) goes by itself after finished().
    static DecryptProgress* start(
        QWidget* window, const QString& title, const QString& bookName, bool cancellable, Work work);
    ~DecryptProgress() override;

    // Once finished: whether the work ran to its end (not cancelled, no error).
    bool completed() const;
    // Once finished: throws the work's error again, on this thread; nothing when there was none.
    void rethrow() const;
    // Whether the left mouse button came up while the work ran.
    bool leftButtonReleased() const { return m_released; }

signals:
    void finished();

private:
    DecryptProgress(QWidget* window);
    void ended();

    class InputGuard;
    ThreadTask* m_task = nullptr;
    std::unique_ptr<InputGuard> m_guard;
    bool m_workCompleted = false;
    bool m_released = false;
};
