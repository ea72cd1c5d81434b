#pragma once

// Dragging an e-book out of the list to a folder or the desktop: the e-book is
// decrypted into its drag copy in "temp" (DragCopy) and handed to a Qt drag of
// that one file's URL (text/uri-list, what file managers read), whose only
// allowed action is move, so a completed drop takes the copy out of "temp".

#include <QPoint>
#include <QString>
#include <Qt>

#include <functional>
#include <memory>

class DragCopy;
class QDrag;
class QMimeData;
class QWidget;

class DragOut
{
public:
    // Marks the program's own drags, so a drop handler of ours can ignore them.
    static QString ownDragFormat() { return QStringLiteral("application/x-qinghe-dragout"); }

    // The start rule: 5 pixels or more from the press point along either axis.
    static bool exceedsStartDistance(QPoint press, QPoint now);

    // Ends source's own handling of the press (a left-button release at the
    // pointer), decrypts storeFile into the drag copy of name among copies (a background
    // task, under the wait cursor; the window takes no input meanwhile) and,
    // when the copy is ready and the button still down, runs the drag from
    // source until it ends. Returns at once; ended, if given, then gets the
    // drop's action (Qt::IgnoreAction when cancelled or refused, and then the
    // copy is removed at once; also when the button came up before the copy was
    // ready, or the copy could not be made, and no drag starts). Errors of the
    // copy go to the application's error handler.
    // Pass the grid's viewport, which receives its mouse events.
    static void startDrag(QWidget* source, std::shared_ptr<DragCopy> copies, const QString& storeFile,
        const QString& name, std::function<void(Qt::DropAction)> ended = {});

    // The data of the drag of one file.
    static QMimeData* mimeDataFor(const QString& path);

    // Where the drag loop starts: by default QDrag::exec. Tests set their own
    // (an empty function restores the default).
    using ExecFunction
        = std::function<Qt::DropAction(QDrag* drag, Qt::DropActions supported, Qt::DropAction preferred)>;
    static void setExecFunction(ExecFunction exec);
};
