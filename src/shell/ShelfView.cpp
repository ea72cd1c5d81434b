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
        painter->save();
        const QRect cell = option.rect;
        const QPixmap pixmap = index.data(Qt::DecorationRole).value<QIcon>().pixmap(
            QSize(ShelfView::ThumbWidth, ShelfView::ThumbHeight));
        const QRect cover(cell.x() + (cell.width() - ShelfView::ThumbWidth) / 2, cell.y() + 4, ShelfView::ThumbWidth,
                          ShelfView::ThumbHeight);
        painter->drawPixmap(cover, pixmap);
        const bool selected = option.state & QStyle::State_Selected;
        if (selected) {
            painter->setPen(QPen(QColor(255, 215, 0), 3));
            painter->drawRect(cover.adjusted(-2, -2, 1, 1));
        }

        const QString caption = index.data(Qt::DisplayRole).toString();
        const QRect textArea(cell.x() + 2, cover.bottom() + 5, cell.width() - 4, cell.bottom() - cover.bottom() - 6);
        const QString shown = option.fontMetrics.elidedText(caption, Qt::ElideRight, textArea.width() * 2 - 8);
        QRect textRect = option.fontMetrics.boundingRect(textArea, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                                                         shown);
        textRect = textRect.adjusted(-3, 0, 3, 1).intersected(textArea);
        painter->fillRect(textRect, selected ? QColor(160, 0, 0) : QColor(255, 0, 0));
        painter->setPen(Qt::white);
        painter->drawText(textRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, shown);
        if (option.state & QStyle::State_HasFocus) {
            painter->setPen(QPen(Qt::white, 1, Qt::DotLine));
            painter->drawRect(textRect.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {128, 168}; }
};

} // namespace

ShelfView::ShelfView(QWidget* parent)
    : QListWidget(parent)
{
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setIconSize(QSize(ThumbWidth, ThumbHeight));
    setGridSize(QSize(132, 172));
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

qint64 ShelfView::bookId(const QListWidgetItem* item)
{
    return item ? item->data(BookIdRole).toLongLong() : 0;
}

void ShelfView::paintEvent(QPaintEvent* event)
{
    {
        // The tile is laid from the top-left corner of the visible area, so it stays put while scrolling.
        QPainter painter(viewport());
        if (m_tile.isNull())
            painter.fillRect(viewport()->rect(), QColor(0xe8, 0xdc, 0xc0));
        else
            painter.drawTiledPixmap(viewport()->rect(), m_tile);
    }
    QListWidget::paintEvent(event);
}
