#include "ebooks/EbookGrid.h"

#include "platform/FileIo.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

EbookGrid::EbookGrid(QWidget* parent)
    : QTableView(parent)
{
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
}

QStringList EbookGrid::droppedFiles(const QMimeData* data)
{
    QStringList files;
    if (!data || data->hasFormat(QLatin1String(ownDragFormat)))
        return files;
    for (const QUrl& url : data->urls()) {
        // Regular files only (a pipe would block the import); a name that is not UTF-8
        // arrives with replacement characters and is found by its bytes.
        const QFileInfo file(url.toLocalFile());
        if (url.isLocalFile() && FileIo::isRegularFile(file.absoluteFilePath())
            && file.suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0)
            files << file.absoluteFilePath();
    }
    return files;
}

void EbookGrid::mousePressEvent(QMouseEvent* event)
{
    QTableView::mousePressEvent(event);
    emit mousePressed(event);
}

void EbookGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        emit readRequested();
}

void EbookGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit readRequested();
            return;
        case Qt::Key_Delete:
            emit deleteRequested();
            return;
        default:
            break;
        }
    }
    QTableView::keyPressEvent(event);
}

void EbookGrid::mouseMoveEvent(QMouseEvent* event)
{
    QTableView::mouseMoveEvent(event);
    emit mouseMoved(event);
}

namespace {

// Only ever a copy: the source file stays where it is.
bool acceptAsCopy(QDropEvent* event, bool enabled)
{
    if (!enabled || !(event->possibleActions() & Qt::CopyAction)
        || EbookGrid::droppedFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

} // namespace

void EbookGrid::dragEnterEvent(QDragEnterEvent* event)
{
    acceptAsCopy(event, m_dropsEnabled);
}

void EbookGrid::dragMoveEvent(QDragMoveEvent* event)
{
    acceptAsCopy(event, m_dropsEnabled);
}

void EbookGrid::dropEvent(QDropEvent* event)
{
    if (acceptAsCopy(event, m_dropsEnabled))
        emit filesDropped(droppedFiles(event->mimeData()));
}
