#include "lookup/CoverPicture.h"

#include "pictures/Thumbnails.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace Lookup {
namespace {

    QImage previewOf(const QImage& image, QSize preview)
    {
        if (image.isNull() || preview.isEmpty())
            return image;
        return image.scaled(preview, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

} // namespace

CoverPicture coverPicture(const QByteArray& downloaded, QSize preview)
{
    const QSize size = Thumbnails::declaredSize(downloaded);
    if (!size.isValid() || size.isEmpty() || Thumbnails::isTooLarge(size))
        return {};
    if (downloaded.startsWith("\xFF\xD8\xFF")) {
        const QImage image = Thumbnails::decodeJpeg(downloaded, preview);
        if (image.isNull())
            return {};
        return { downloaded, previewOf(image, preview) };
    }
    // Another picture type the program reads (PNG, WebP, GIF...): stored as JPEG.
    QBuffer buffer;
    buffer.setData(downloaded);
    QImageReader reader(&buffer);
    const QString format = QString::fromLatin1(reader.format()).toLower();
    if (!Thumbnails::otherFormats().contains(format) && format != u"bmp"_s)
        return {};
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.hasAlphaChannel()) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat); // transparent parts on white, as a page
        painter.drawImage(0, 0, image);
        painter.end();
        image = flat;
    }
    QByteArray jpeg;
    QBuffer out(&jpeg);
    out.open(QIODevice::WriteOnly);
    QImageWriter writer(&out, "jpeg");
    writer.setQuality(90);
    if (!writer.write(image))
        return {};
    return { jpeg, previewOf(image, preview) };
}

} // namespace Lookup
