#include "catalogue/PicturePanel.h"

#include <QGridLayout>
#include <QLabel>
#include <QPixmap>

PicturePanel::PicturePanel(const QString& caption, const QString& imageName, const QString& blobField,
    const QString& tagField, QWidget* parent)
    : QFrame(parent)
    , m_blob(blobField)
    , m_tag(tagField)
    , m_caption(new QLabel(caption, this))
    , m_image(new QLabel(this))
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(188, 176, 196));
    setPalette(colours);
    setFixedSize(DefaultSize);

    m_caption->setAlignment(Qt::AlignCenter);
    m_image->setObjectName(imageName);
    m_image->setScaledContents(true); // stretched to the panel, proportions not kept
    m_image->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    m_image->hide();

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_caption, 0, 0);
    layout->addWidget(m_image, 0, 0);
}

QString PicturePanel::caption() const
{
    return m_caption->text();
}

void PicturePanel::showPicture(const QImage& picture)
{
    if (picture.isNull()) {
        clearPicture();
        return;
    }
    m_image->setPixmap(QPixmap::fromImage(picture));
    m_image->show();
    m_caption->hide();
}

void PicturePanel::clearPicture()
{
    m_image->clear();
    m_image->hide();
    m_caption->show();
}

bool PicturePanel::hasPicture() const
{
    return !m_image->pixmap().isNull();
}

QSize PicturePanel::pictureSize() const
{
    return contentsRect().size() * devicePixelRatio();
}
