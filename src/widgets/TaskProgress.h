#pragma once

// How a background task (tasks/BackgroundTask.h) shows itself to the user, the
// same way everywhere: nothing while it lasts less than 300 ms; then a progress
// dialog over its window with the task's steps, and 取消 when the task may be
// cancelled (the button cancels it). The dialog goes when the task finishes.
// A TaskProgress is a child of its task and goes with it.
//
//     auto* progress = new TaskProgress(task, window(), u"导出电子书"_s);
//     progress->setLabel([name](qint64 done, qint64 total, const QString&) { return … ; });

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include <functional>

class BackgroundTask;
class QProgressBar;

class QTimer;
class QWidget;

class TaskProgress : public QObject
{
    Q_OBJECT
public:
    static constexpr int ShowAfterMs = 300;
    static constexpr int UpdateMs = 100;

    using Label = std::function<QString(qint64 done, qint64 total, const QString& text)>;
    using Clock = std::function<qint64()>; // milliseconds, steadily rising

    TaskProgress(BackgroundTask* task, QWidget* window, const QString& title);
    ~TaskProgress() override;

    // The dialog's text for a step; by default the step's own text.
    void setLabel(Label label) { m_label = std::move(label); }
    // Window-modal by default; an import that lets the window go on working is not.
    void setModality(Qt::WindowModality modality);
    void setDialogObjectName(const QString& name);
    QProgressDialog* dialog() const { return m_dialog; }

    // Brings the dialog up to date, and shows it once ShowAfterMs have passed
    // since the task was handed over; a timer calls it every UpdateMs.
    void poll();

    // Tests: the clock the delay is measured on (null: the steady clock).
    static void setClock(Clock clock);
    // Tests: called with each dialog as it shows.
    static void setDialogHook(std::function<void(QProgressDialog*)> hook);

private:
    void update();
    void end();

    QPointer<BackgroundTask> m_task;
    QPointer<QProgressDialog> m_dialog;
    QProgressBar* m_bar;
    QTimer* m_timer;
    Label m_label;
    qint64 m_startedAt;
    bool m_shown = false;
};
