#include "ebooks/DragOut.h"

#include "ebooks/DecryptProgress.h"
#include "ebooks/DragCopy.h"
#include "widgets/ErrorHandler.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <memory>

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

// Runs the drag of the copy once it is made.
Qt::DropAction dragCopy(const DecryptProgress* making, QWidget* source, DragCopy& copies, const QString& copy)
{
    if (!ErrorHandler::guard([making] { making->rethrow(); }))
        return Qt::IgnoreAction;
    // The button came up while the copy was made: there is no drag to start.
    // (A release the window system reports while the grid's own press was
    // already ended may never reach a widget; the button state tells.)
    const bool buttonUp = making->leftButtonReleased()
        || (!execFunction() && !(QGuiApplication::mouseButtons() & Qt::LeftButton));
    if (buttonUp || !source) {
        copies.discard(copy);
        return Qt::IgnoreAction;
    }

    QPointer<QDrag> drag = new QDrag(source);
    drag->setMimeData(DragOut::mimeDataFor(copy));
    const RightButtonCancels rightButton;
    const DragOut::ExecFunction& exec = execFunction();
    const Qt::DropAction action
        = exec ? exec(drag, Qt::MoveAction, Qt::MoveAction) : drag->exec(Qt::MoveAction, Qt::MoveAction);
    if (drag)
        drag->deleteLater();
    // Cancelled or refused: no one took the copy, so it goes at once.
    if (action == Qt::IgnoreAction)
        copies.discard(copy);
    return action;
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

void DragOut::startDrag(QWidget* source, std::shared_ptr<DragCopy> copies, const QString& storeFile,
    const QString& name, std::function<void(Qt::DropAction)> ended)
{
    // The grid's own press ends first, as if the button had come up where the pointer is.
    const QPoint at = source->mapFromGlobal(QCursor::pos());
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), source->mapToGlobal(QPointF(at)), Qt::LeftButton,
        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(source, &release);

    // The copy is made off the user-interface thread, under the wait cursor.
    auto copy = std::make_shared<QString>();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    DecryptProgress* making = DecryptProgress::start(source->window(), u"拖出电子书"_s, name, false,
        [copy, copies, storeFile, name](const DecryptProgress::Report& report) {
            *copy = copies->make(storeFile, name, report);
            return true;
        });
    QObject::connect(making, &DecryptProgress::finished, making,
        [making, copy, copies, source = QPointer<QWidget>(source), ended = std::move(ended)] {
            QApplication::restoreOverrideCursor();
            const Qt::DropAction action = dragCopy(making, source, *copies, *copy);
            if (ended)
                ended(action);
        });
}

void DragOut::setExecFunction(ExecFunction exec)
{
    execFunction() = std::move(exec);
}
