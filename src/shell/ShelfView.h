#pragma once

// The shelf: a large-icon list of 100 × 120 cover thumbnails with the titles
// under them, drawn over a tiled background picture, captions on red.

#include <QImage>
#include <QListWidget>
#include <QPixmap>

class ShelfView : public QListWidget
{
    Q_OBJECT
public:
    static constexpr int ThumbWidth = 100;
    static constexpr int ThumbHeight = 120;

    explicit ShelfView(QWidget* parent = nullptr);

    void setBackgroundTile(const QPixmap& tile);

    // Replaces the whole content: one item per book, the n-th showing the n-th thumbnail.
    void clearShelf();
    void addBook(const QString& caption, qint64 id, const QImage& thumbnail);
    // Draws the item of a row with another thumbnail (its loan mark changed).
    void setThumbnail(int row, const QImage& thumbnail);

    // The thumbnails, one per item in item order (the image list of the shelf).
    const QList<QPixmap>& images() const { return m_images; }
    // The book id kept in an item.
    static qint64 bookId(const QListWidgetItem* item);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_tile;
    QList<QPixmap> m_images;
};
