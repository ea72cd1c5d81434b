#include "widgets/InputHold.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

InputHold::InputHold(QObject* parent)
    : QObject(parent)
{
    QCoreApplication::instance()->installEventFilter(this);
}

InputHold::~InputHold()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool InputHold::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
        return watched->isWidgetType();
    case QEvent::Close:
        // The window manager's request only: the program's own closing goes on.
        if (event->spontaneous() && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
            event->ignore();
            return true;
        }
        return false;
    default:
        return false;
    }
}
