#pragma once

// A framed panel that shows one picture column pair of the current book: its
// caption while it is empty, the picture stretched over the whole panel otherwise.

#include <QFrame>
#include <QImage>

class QLabel;

class PicturePanel : public QFrame
{
    Q_OBJECT
public:
    static constexpr QSize DefaultSize { 240, 160 };

    // `imageName` is the objectName of the image inside; blob and tag name the columns.
    PicturePanel(const QString& caption, const QString& imageName, const QString& blobField, const QString& tagField,
        QWidget* parent = nullptr);

    QString blobField() const { return m_blob; }
    QString tagField() const { return m_tag; }
    QLabel* image() const { return m_image; }
    QString caption() const;

    void showPicture(const QImage& picture); // a null picture empties the panel
    void clearPicture();
    bool hasPicture() const;
    // The picture area in device pixels: what a decoder should cover.
    QSize pictureSize() const;

private:
    QString m_blob;
    QString m_tag;
    QLabel* m_caption;
    QLabel* m_image;
};
