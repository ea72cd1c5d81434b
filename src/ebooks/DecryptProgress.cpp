#include "ebooks/DecryptProgress.h"

#include "tasks/BackgroundTask.h"
#include "widgets/SizeText.h"
#include "widgets/TaskProgress.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressDialog>
#include <QWindow>

using namespace Qt::StringLiterals;

// While the work runs, the program takes no clicks, moves, keys or closes
// except in the progress dialog (a grid would go on selecting rows under a
// held button); it notes a left-button release.
class DecryptProgress::InputGuard : public QObject
{
public:
    InputGuard(QWidget* dialog, bool& released)
        : m_dialog(dialog)
        , m_released(released)
    {
        qApp->installEventFilter(this);
    }
    ~InputGuard() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                m_released = true;
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Close:
        case QEvent::ShortcutOverride:
            return !inDialog(watched);
        default:
            return false;
        }
    }

private:
    // Input reaches the window (QWindow) first, then the widget under it.
    bool inDialog(QObject* watched) const
    {
        if (!m_dialog)
            return false;
        if (auto* window = qobject_cast<QWindow*>(watched))
            return window == m_dialog->windowHandle();
        auto* widget = qobject_cast<QWidget*>(watched);
        return widget && (widget == m_dialog || m_dialog->isAncestorOf(widget));
    }

    QPointer<QWidget> m_dialog;
    bool& m_released;
};

DecryptProgress::DecryptProgress(QWidget* window)
    : QObject(window)
{ }

DecryptProgress::~DecryptProgress()
{
    delete m_task; // stops the work and waits for it, before what it writes here goes
}

DecryptProgress* DecryptProgress::start(
    QWidget* window, const QString& title, const QString& bookName, bool cancellable, Work work)
{
    auto* self = new DecryptProgress(window);
    self->m_task = new ThreadTask(
        [self, work = std::move(work)](TaskControl& control) {
            // The task, and so this object, outlives its work.
            self->m_workCompleted = work([&control](qint64 done, qint64 total) { return control.step(done, total); });
        },
        self);
    self->m_task->setCancellable(cancellable);
    auto* progress = new TaskProgress(self->m_task, window, title);
    progress->setDialogObjectName(u"DecryptProgress"_s);
    progress->setLabel([bookName](qint64 done, qint64 total, const QString&) {
        return u"%1\n%2 / %3"_s.arg(bookName, sizeText(done), sizeText(total));
    });
    self->m_guard = std::make_unique<InputGuard>(progress->dialog(), self->m_released);
    connect(self->m_task, &BackgroundTask::finished, self, &DecryptProgress::ended);
    self->m_task->start();
    return self;
}

bool DecryptProgress::completed() const
{
    return m_task->state() == BackgroundTask::State::Succeeded && m_workCompleted;
}

void DecryptProgress::rethrow() const
{
    m_task->rethrow();
}

void DecryptProgress::ended()
{
    m_guard.reset(); // the window takes input again before anyone hears of the end
    deleteLater();
    emit finished();
}
