#include "widgets/TaskProgress.h"

#include "tasks/BackgroundTask.h"

#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr int Steps = 1000; // byte counts pass the dialog's int range

TaskProgress::Clock& testClock()
{
    static TaskProgress::Clock clock;
    return clock;
}

std::function<void(QProgressDialog*)>& dialogHook()
{
    static std::function<void(QProgressDialog*)> hook;
    return hook;
}

qint64 now()
{
    if (testClock())
        return testClock()();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

TaskProgress::TaskProgress(BackgroundTask* task, QWidget* window, const QString& title)
    : QObject(task)
    , m_task(task)
    , m_dialog(new QProgressDialog(window))
    , m_timer(new QTimer(this))
    , m_startedAt(now())
{
    m_dialog->setWindowTitle(title);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumDuration(std::numeric_limits<int>::max()); // shown by poll()
    m_dialog->setMinimumWidth(420);
    // A bar of its own, set directly: the dialog's setValue() would run the
    // event loop from inside this object's timer.
    m_bar = new QProgressBar(m_dialog);
    m_dialog->setBar(m_bar);
    m_bar->setRange(0, Steps);
    if (task->isCancellable())
        m_dialog->setCancelButtonText(u"取消"_s);
    else
        m_dialog->setCancelButton(nullptr);
    m_dialog->hide();
    connect(m_dialog, &QProgressDialog::canceled, task, &BackgroundTask::cancel);
    connect(task, &BackgroundTask::finished, this, &TaskProgress::end);
    m_timer->setInterval(UpdateMs);
    connect(m_timer, &QTimer::timeout, this, &TaskProgress::poll);
    if (task->isFinished())
        end();
    else
        m_timer->start();
}

TaskProgress::~TaskProgress()
{
    delete m_dialog;
}

void TaskProgress::setModality(Qt::WindowModality modality)
{
    if (m_dialog)
        m_dialog->setWindowModality(modality);
}

void TaskProgress::setDialogObjectName(const QString& name)
{
    if (m_dialog)
        m_dialog->setObjectName(name);
}

void TaskProgress::setClock(Clock clock)
{
    testClock() = std::move(clock);
}

void TaskProgress::setDialogHook(std::function<void(QProgressDialog*)> hook)
{
    dialogHook() = std::move(hook);
}

void TaskProgress::poll()
{
    if (!m_task || !m_dialog || m_task->isFinished())
        return;
    if (!m_shown && now() - m_startedAt < ShowAfterMs)
        return;
    update();
    if (!m_shown) {
        m_shown = true;
        m_dialog->show();
        if (dialogHook())
            dialogHook()(m_dialog);
    }
}

void TaskProgress::update()
{
    const qint64 done = m_task->done();
    const qint64 total = m_task->total();
    const QString text = m_task->stepText();
    m_dialog->setLabelText(m_label ? m_label(done, total, text) : text);
    m_bar->setValue(total > 0 ? int(std::clamp<qint64>(done * Steps / total, 0, Steps)) : 0);
}

void TaskProgress::end()
{
    m_timer->stop();
    if (m_dialog)
        m_dialog->hide();
}
