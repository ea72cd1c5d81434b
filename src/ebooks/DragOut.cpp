#include "ebooks/DragOut.h"

#include "ebooks/DecryptProgress.h"
#include "ebooks/DragCopy.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QScopeGuard>
#include <QUrl>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

// The right button pressed while dragging cancels the drag, as Escape does.
class RightButtonCancels : public QObject
{
public:
    RightButtonCancels() { qApp->installEventFilter(this); }
    ~RightButtonCancels() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress
            && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            QDrag::cancel();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

DragOut::ExecFunction& execFunction()
{
    static DragOut::ExecFunction exec;
    return exec;
}

} // namespace

bool DragOut::exceedsStartDistance(QPoint press, QPoint now)
{
    return std::abs(now.x() - press.x()) >= 5 || std::abs(now.y() - press.y()) >= 5;
}

QMimeData* DragOut::mimeDataFor(const QString& path)
{
    auto* data = new QMimeData;
    data->setUrls({ QUrl::fromLocalFile(path) });
    data->setData(ownDragFormat(), QByteArray("1"));
    return data;
}

Qt::DropAction DragOut::startDrag(QWidget* source, DragCopy& copies, const QString& storeFile, const QString& name)
{
    // The grid's own press ends first, as if the button had come up where the pointer is.
    const QPoint at = source->mapFromGlobal(QCursor::pos());
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), source->mapToGlobal(QPointF(at)), Qt::LeftButton,
        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(source, &release);

    // The copy is made off the user-interface thread, under the wait cursor.
    QString copy;
    DecryptProgress making(source->window(), u"拖出电子书"_s, name, false);
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        making.run([&](const DecryptProgress::Report& report) {
            copy = copies.make(storeFile, name, report);
            return true;
        });
    }
    // The button came up while the copy was made: there is no drag to start.
    // (A release the window system reports while the grid's own press was
    // already ended may never reach a widget; the button state tells.)
    const bool buttonUp = making.leftButtonReleased()
        || (!execFunction() && !(QGuiApplication::mouseButtons() & Qt::LeftButton));
    if (buttonUp) {
        copies.discard(copy);
        return Qt::IgnoreAction;
    }

    QPointer<QDrag> drag = new QDrag(source);
    drag->setMimeData(mimeDataFor(copy));
    const RightButtonCancels rightButton;
    const ExecFunction& exec = execFunction();
    const Qt::DropAction action
        = exec ? exec(drag, Qt::MoveAction, Qt::MoveAction) : drag->exec(Qt::MoveAction, Qt::MoveAction);
    if (drag)
        drag->deleteLater();
    // Cancelled or refused: no one took the copy, so it goes at once.
    if (action == Qt::IgnoreAction)
        copies.discard(copy);
    return action;
}

void DragOut::setExecFunction(ExecFunction exec)
{
    execFunction() = std::move(exec);
}
