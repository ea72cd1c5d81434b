#include "ebooks/DecryptProgress.h"

#include "widgets/SizeText.h"

#include <QApplication>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <QWindow>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <exception>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr int ShowAfterMs = 300;
constexpr int UpdateMs = 100;

std::function<void(QProgressDialog*)>& dialogHook()
{
    static std::function<void(QProgressDialog*)> hook;
    return hook;
}

// While the work runs, the program takes no clicks, moves, keys or closes
// except in the progress dialog (a grid would go on selecting rows under a
// held button); it notes a left-button release.
class InputGuard : public QObject
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

} // namespace

DecryptProgress::DecryptProgress(QWidget* window, const QString& title, const QString& bookName, bool cancellable)
    : m_window(window)
    , m_title(title)
    , m_bookName(bookName)
    , m_cancellable(cancellable)
{ }

void DecryptProgress::setDialogHook(std::function<void(QProgressDialog*)> hook)
{
    dialogHook() = std::move(hook);
}

bool DecryptProgress::run(const Work& work)
{
    std::atomic<qint64> done { 0 };
    std::atomic<qint64> total { 0 };
    std::atomic<bool> cancelled { false };
    const Report report = [&](qint64 d, qint64 t) {
        done = d;
        total = t;
        return !cancelled;
    };

    QProgressDialog dialog(m_window);
    dialog.setObjectName(u"DecryptProgress"_s);
    dialog.setWindowTitle(m_title);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(std::numeric_limits<int>::max()); // shown by the timer below
    dialog.setMinimumWidth(420);
    dialog.setRange(0, 1000);
    if (m_cancellable)
        dialog.setCancelButtonText(u"取消"_s);
    else
        dialog.setCancelButton(nullptr);
    dialog.hide();
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] { cancelled = true; });

    auto update = [&] {
        const qint64 t = total;
        const qint64 d = done;
        dialog.setLabelText(u"%1\n%2 / %3"_s.arg(m_bookName, sizeText(d), sizeText(t)));
        dialog.setValue(t > 0 ? int(d * 1000 / t) : 0);
    };
    QTimer updates;
    updates.setInterval(UpdateMs);
    QObject::connect(&updates, &QTimer::timeout, &dialog, update);
    QTimer showing;
    showing.setSingleShot(true);
    QObject::connect(&showing, &QTimer::timeout, &dialog, [&] {
        update();
        dialog.show();
        updates.start();
        if (dialogHook())
            dialogHook()(&dialog);
    });

    const InputGuard guard(&dialog, m_released);
    QFutureWatcher<std::exception_ptr> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<std::exception_ptr>::finished, &loop, &QEventLoop::quit);
    bool finished = false;
    watcher.setFuture(QtConcurrent::run([&work, &report, &finished]() -> std::exception_ptr {
        try {
            finished = work(report);
            return nullptr;
        } catch (...) {
            return std::current_exception();
        }
    }));
    showing.start(dialogHook() ? 0 : ShowAfterMs);
    if (!watcher.isFinished())
        loop.exec();
    watcher.waitForFinished();
    updates.stop();
    dialog.hide();
    if (const std::exception_ptr error = watcher.result())
        std::rethrow_exception(error);
    return finished;
}
