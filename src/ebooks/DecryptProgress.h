#pragma once

// Decrypting a book out of the store (export, drag-out) off the user-interface
// thread: the window keeps painting, and when the work lasts more than about
// 300 ms a progress dialog shows the book's name and the megabytes done, with
// "取消" where the work may be cancelled. Until the work ends the window takes
// no clicks, moves or keys (a left-button release still goes through, so a
// drag whose button came up meanwhile is known).

#include <QString>

#include <functional>

class QProgressDialog;
class QWidget;

class DecryptProgress
{
public:
    // Called on the worker thread with the bytes done and the total; returns false once cancelled.
    using Report = std::function<bool(qint64 done, qint64 total)>;
    // The work, on the worker thread; returns false when it was cancelled.
    using Work = std::function<bool(const Report& report)>;

    DecryptProgress(QWidget* window, const QString& title, const QString& bookName, bool cancellable);

    // Runs work and waits for it, letting events through. Errors it throws are
    // thrown again here. False when it was cancelled.
    bool run(const Work& work);

    // Whether the left mouse button came up while the work ran.
    bool leftButtonReleased() const { return m_released; }

    // Tests: called with the dialog once it shows (the delay is then skipped).
    static void setDialogHook(std::function<void(QProgressDialog*)> hook);

private:
    QWidget* m_window;
    QString m_title;
    QString m_bookName;
    bool m_cancellable;
    bool m_released = false;
};
