#include "ebooks/PdfThumbnailModel.h"

#include <QPainter>
#include <QPdfDocument>

namespace {

// Thumbnails kept rendered; a 96 x 128 picture is about 48 KiB.
constexpr int CachedThumbnails = 200;

} // namespace

PdfThumbnailModel::PdfThumbnailModel(QPdfDocument* document, QObject* parent)
    : QAbstractListModel(parent)
    , m_document(document)
    , m_cache(CachedThumbnails)
{
    connect(m_document, &QPdfDocument::statusChanged, this, &PdfThumbnailModel::documentChanged);
    connect(m_document, &QPdfDocument::pageCountChanged, this, &PdfThumbnailModel::documentChanged);
    documentChanged();
}

void PdfThumbnailModel::setThumbnailSize(QSize size)
{
    if (size == m_thumbnailSize)
        return;
    m_thumbnailSize = size;
    m_cache.clear();
    if (m_pageCount > 0)
        emit dataChanged(index(0), index(m_pageCount - 1), { Qt::DecorationRole, Qt::SizeHintRole });
}

void PdfThumbnailModel::documentChanged()
{
    const int pageCount = m_document->status() == QPdfDocument::Status::Ready ? m_document->pageCount() : 0;
    beginResetModel();
    m_pageCount = pageCount;
    m_cache.clear();
    m_renderCount = 0;
    endResetModel();
}

int PdfThumbnailModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_pageCount;
}

QVariant PdfThumbnailModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int page = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return QString::number(page + 1);
    case Qt::ToolTipRole:
        return tr("第 %1 页").arg(page + 1);
    case Qt::DecorationRole:
        return thumbnail(page);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignHCenter | Qt::AlignTop);
    default:
        return {};
    }
}

// The page fitted into the thumbnail box and centred on a transparent
// background, so every row has the same size whatever its page's shape.
QImage PdfThumbnailModel::thumbnail(int page) const
{
    if (const QImage* cached = m_cache.object(page))
        return *cached;

    QImage box(m_thumbnailSize, QImage::Format_ARGB32_Premultiplied);
    box.fill(Qt::transparent);
    const QSizeF pageSize = m_document->pagePointSize(page);
    if (!pageSize.isEmpty()) {
        const QSize fitted = pageSize.scaled(QSizeF(m_thumbnailSize), Qt::KeepAspectRatio).toSize();
        const QImage rendered = m_document->render(page, fitted);
        ++m_renderCount;
        QPainter painter(&box);
        const QPoint origin((box.width() - fitted.width()) / 2, (box.height() - fitted.height()) / 2);
        painter.fillRect(QRect(origin, fitted), Qt::white);
        painter.drawImage(origin, rendered);
        painter.setPen(QColor(160, 160, 160));
        painter.drawRect(QRect(origin, fitted).adjusted(0, 0, -1, -1));
    }
    m_cache.insert(page, new QImage(box));
    return box;
}
