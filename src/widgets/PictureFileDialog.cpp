#include "widgets/PictureFileDialog.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>

PictureFileDialog::PictureFileDialog(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
    : QFileDialog(parent, caption, dir, filter)
    , m_preview(new QLabel(this))
{
    setObjectName(QStringLiteral("OP1"));
    setOption(QFileDialog::DontUseNativeDialog); // the preview needs our own widgets
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setFixedSize(200, 240);
    m_preview->setAlignment(Qt::AlignCenter);
    m_preview->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_preview->setText(QStringLiteral("（无预览）"));
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(m_preview, 0, grid->columnCount(), grid->rowCount(), 1);
    connect(this, &QFileDialog::currentChanged, this, &PictureFileDialog::showPreview);
    resize(1080, 560); // room for the detail columns beside the preview
}

void PictureFileDialog::showPreview(const QString& path)
{
    // Only a regular file is read: a pipe or a device would block the dialog.
    QImage image;
    if (QFileInfo(path).isFile()) {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QSize full = reader.size();
        // Read at preview size where the format can (JPEG scales while decoding); a
        // picture too large to upload is not decoded for its preview either.
        constexpr qint64 maxPreviewPixels = qint64(6400) * 10000; // the upload's own limit
        if (full.isValid() && qint64(full.width()) * full.height() <= maxPreviewPixels) {
            reader.setScaledSize(full.scaled(m_preview->size(), Qt::KeepAspectRatio));
            image = reader.read();
        }
    }
    if (image.isNull()) {
        m_preview->setPixmap({});
        m_preview->setText(QStringLiteral("（无预览）"));
        return;
    }
    m_preview->setPixmap(QPixmap::fromImage(image));
}

QString PictureFileDialog::getOpenFileName(
    QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    PictureFileDialog dialog(parent, caption, dir, filter);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}
