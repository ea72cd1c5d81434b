#include "pdfworker/GreyPhoto.h"

#include "pictures/JpegErrors.h"

#include <QBuffer>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>


namespace GreyPhoto {
namespace {

    bool isJpeg(const QByteArray& bytes)
    {
        return bytes.size() > 3 && uchar(bytes[0]) == 0xff && uchar(bytes[1]) == 0xd8 && uchar(bytes[2]) == 0xff;
    }

    // Brightness only. setjmp() lives in this frame, which holds plain data;
    // the picture is reached through a pointer set before it. False when
    // libjpeg gave up or the photo is not one it turns grey (CMYK).
    bool decodeJpegGrey(const QByteArray& bytes, QImage* out)
    {
        jpeg_decompress_struct cinfo;
        JpegErrors::Trap error;
        JpegErrors::install(cinfo, error);
        if (setjmp(error.jump)) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.constData()),
            static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&cinfo, TRUE);
        if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK
            || qint64(cinfo.image_width) * cinfo.image_height > MaxPixels) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        cinfo.out_color_space = JCS_GRAYSCALE;
        cinfo.dct_method = JDCT_ISLOW;
        jpeg_start_decompress(&cinfo);
        *out = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_Grayscale8);
        if (out->isNull()) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = out->scanLine(int(cinfo.output_scanline));
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        return true;
    }

    // Whether the stored orientation holds a reflection: mirroring and
    // flipping together are a half turn, and any turn is the reader's job.
    bool isReflected(QImageIOHandler::Transformations transformation)
    {
        return bool(transformation & QImageIOHandler::TransformationMirror)
            != bool(transformation & QImageIOHandler::TransformationFlip);
    }

} // namespace

QImage toGrey(const QImage& picture)
{
    return picture.format() == QImage::Format_Grayscale8 ? picture : picture.convertToFormat(QImage::Format_Grayscale8);
}

Photo fromBytes(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > MaxPixels)
        return { {}, Problem::NotAPicture };
    // Read before the pixels: the JPEG reader takes it from the EXIF block.
    const QImageIOHandler::Transformations transformation = reader.transformation();

    QImage grey;
    if (!isJpeg(bytes) || !decodeJpegGrey(bytes, &grey)) {
        buffer.seek(0);
        QImageReader fallback(&buffer);
        fallback.setAutoTransform(false);
        grey = toGrey(fallback.read());
    }
    if (grey.isNull())
        return { {}, Problem::NotAPicture };
    if (isReflected(transformation))
        grey.mirror(true, false);
    return { grey, Problem::None };
}

Photo read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileBytes)
        return { {}, Problem::CannotOpen };
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        return { {}, Problem::CannotOpen };
    return fromBytes(bytes);
}

} // namespace GreyPhoto
