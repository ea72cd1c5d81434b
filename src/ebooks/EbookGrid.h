#pragma once

#include <QTableView>

class QMimeData;

// The e-book list's grid. It reports the mouse presses and moves it has handled
// itself (where the drag-out starts) and takes PDF files dropped from a file
// manager. A drag that carries the program's own mark (its own drag-out) is
// not taken back in.
class EbookGrid : public QTableView
{
    Q_OBJECT
public:
    // The format the program's own drags carry.
    static constexpr const char* ownDragFormat = "application/x-qinghe-dragout";

    explicit EbookGrid(QWidget* parent = nullptr);

    // The local PDF files a drop would bring; empty for the program's own drags.
    static QStringList droppedFiles(const QMimeData* data);

    // While off, drops are refused (an import is running).
    void setDropsEnabled(bool on) { m_dropsEnabled = on; }

signals:
    void mousePressed(QMouseEvent* event);
    void mouseMoved(QMouseEvent* event);
    void filesDropped(const QStringList& files);
    // Enter, or a double-click on a row: read the current e-book.
    void readRequested();
    // The Delete key: delete the current e-book.
    void deleteRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool m_dropsEnabled = true;
};
