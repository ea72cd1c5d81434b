#include "shell/ShelfView.h"

#include <QPainter>
#include <QStyledItemDelegate>

namespace {

constexpr int BookIdRole = Qt::UserRole + 1;

// Draws each item as its thumbnail with the caption beneath it on red.
class ShelfItemDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        // A row of the grid is one board of the background tile: the cover stands
        // on the board, and its caption is a red label on the board's edge.
        painter->save();
        const QRect cell = option.rect;
        const QPixmap pixmap = index.data(Qt::DecorationRole).value<QIcon>().pixmap(
            QSize(ShelfView::ThumbWidth, ShelfView::ThumbHeight));
        const QRect cover(cell.x() + (cell.width() - ShelfView::ThumbWidth) / 2, cell.y(), ShelfView::ThumbWidth,
                          ShelfView::ThumbHeight);
        painter->drawPixmap(cover, pixmap);
        const bool selected = option.state & QStyle::State_Selected;
        if (selected) {
            painter->setPen(QPen(QColor(255, 215, 0), 3));
            painter->drawRect(cover.adjusted(1, 1, -2, -2));
        }

        const QString caption = index.data(Qt::DisplayRole).toString();
        const QRect textArea(cell.x() + 2, cover.bottom() + 2, cell.width() - 4, option.fontMetrics.height() + 2);
        const QString shown = option.fontMetrics.elidedText(caption, Qt::ElideRight, textArea.width() - 6);
        const int textWidth = option.fontMetrics.horizontalAdvance(shown) + 6;
        const QRect label(textArea.center().x() - textWidth / 2, textArea.y(), textWidth, textArea.height());
        painter->fillRect(label, selected ? QColor(160, 0, 0) : QColor(255, 0, 0));
        painter->setPen(Qt::white);
        painter->drawText(label, Qt::AlignCenter, shown);
        if (option.state & QStyle::State_HasFocus) {
            painter->setPen(QPen(Qt::white, 1, Qt::DotLine));
            painter->drawRect(label.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {128, 139}; }
};

} // namespace

ShelfView::ShelfView(QWidget* parent)
    : QListWidget(parent)
{
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setIconSize(QSize(ThumbWidth, ThumbHeight));
    setGridSize(QSize(132, 139)); // one board of the background tile per row
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setUniformItemSizes(true);
    setSpacing(0);
    setWordWrap(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new ShelfItemDelegate(this));
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    QFont captionFont = font();
    captionFont.setPixelSize(13);
    setFont(captionFont);
}

void ShelfView::setBackgroundTile(const QPixmap& tile)
{
    m_tile = tile;
    viewport()->update();
}

void ShelfView::clearShelf()
{
    clear();
    m_images.clear();
}

void ShelfView::addBook(const QString& caption, qint64 id, const QImage& thumbnail)
{
    const QPixmap pixmap = QPixmap::fromImage(thumbnail);
    m_images.append(pixmap);
    auto* item = new QListWidgetItem(QIcon(pixmap), caption, this);
    item->setData(BookIdRole, id);
    item->setToolTip(caption);
}

void ShelfView::setThumbnail(int row, const QImage& thumbnail)
{
    QListWidgetItem* shown = item(row);
    if (!shown || row >= m_images.size())
        return;
    m_images[row] = QPixmap::fromImage(thumbnail);
    shown->setIcon(QIcon(m_images[row]));
}

qint64 ShelfView::bookId(const QListWidgetItem* item)
{
    return item ? item->data(BookIdRole).toLongLong() : 0;
}

void ShelfView::paintEvent(QPaintEvent* event)
{
    {
        // The boards scroll with the books standing on them.
        QPainter painter(viewport());
        if (m_tile.isNull())
            painter.fillRect(viewport()->rect(), QColor(0xe8, 0xdc, 0xc0));
        else
            painter.drawTiledPixmap(viewport()->rect(), m_tile,
                                    QPoint(horizontalOffset() % m_tile.width(), verticalOffset() % m_tile.height()));
    }
    QListWidget::paintEvent(event);
}
