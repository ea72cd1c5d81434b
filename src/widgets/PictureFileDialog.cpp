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
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (QFileInfo(path).isFile() && full.isValid()) {
        // Read at preview size where the format can (JPEG scales while decoding).
        reader.setScaledSize(full.scaled(m_preview->size(), Qt::KeepAspectRatio));
    }
    const QImage image = QFileInfo(path).isFile() ? reader.read() : QImage();
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
