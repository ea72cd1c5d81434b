#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QImage>
#include <QSize>

class QPdfDocument;

// One row per page of a document: the page number as text and a small
// rendering of the page as decoration. Pages are rendered only when a view
// asks for them (the rows it shows) and kept in a bounded cache, so a long
// document opens at once.
class PdfThumbnailModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit PdfThumbnailModel(QPdfDocument* document, QObject* parent = nullptr);

    // The box every thumbnail is fitted into, keeping the page's proportions.
    QSize thumbnailSize() const { return m_thumbnailSize; }
    void setThumbnailSize(QSize size);

    // How many pages were rendered since the document was loaded.
    int renderCount() const { return m_renderCount; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void documentChanged();
    QImage thumbnail(int page) const;

    QPdfDocument* m_document;
    QSize m_thumbnailSize { 96, 136 };
    int m_pageCount = 0;
    mutable QCache<int, QImage> m_cache;
    mutable int m_renderCount = 0;
};
