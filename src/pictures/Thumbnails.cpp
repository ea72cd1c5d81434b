#include "pictures/Thumbnails.h"

#include "pictures/JpegErrors.h"

#include <QBuffer>
#include <QColor>
#include <QImageReader>

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>
#include <vector>

// after jpeglib.h, which it needs
#include <jerror.h>

using namespace Qt::StringLiterals;

namespace Thumbnails {

namespace {

    std::atomic<quint64> g_decodes { 0 };

    // Progressive pictures above this size are decoded one at a time: each holds
    // its full-size coefficients (about 2 bytes per pixel and colour) while it decodes.
    constexpr qint64 LargeProgressivePixels = qint64(8) * 1024 * 1024;
    std::mutex g_largeProgressive;

    struct JpegHeader
    {
        qint64 width = 0;
        qint64 height = 0;
        bool progressive = false;
        bool valid = false;
    };

    // A JPEG whose picture would need more pixels than this even at 1/8 (a source of
    // about 32000 x 32000) is not a cover but a broken or hostile header; it is reported
    // as damaged instead of being allocated.
    constexpr qint64 MaxScaledPixels = qint64(16) * 1024 * 1024;

    int scaledSize(int size, int numerator)
    {
        return int((qint64(size) * numerator + 7) / 8);
    }

    // Adobe writes CMYK inverted (0 = full ink); plain CMYK files do the opposite.
    void cmykToRgb(const uchar* in, uchar* out, int width, bool inverted)
    {
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            const int c = inverted ? in[0] : 255 - in[0];
            const int m = inverted ? in[1] : 255 - in[1];
            const int y = inverted ? in[2] : 255 - in[2];
            const int k = inverted ? in[3] : 255 - in[3];
            out[0] = uchar(c * k / 255);
            out[1] = uchar(m * k / 255);
            out[2] = uchar(y * k / 255);
        }
    }

    // Decodes into *out at the chosen scale. setjmp() lives in this frame, so it holds only
    // plain data; everything that owns memory is reached through the pointers, which are not
    // changed after setjmp(). Returns false when libjpeg gave up.
    bool decodeScaled(const QByteArray& bytes, QSize cover, QImage* out, std::vector<uchar>* cmykRow, int* errorCode)
    {
        jpeg_decompress_struct cinfo;
        JpegErrors::Trap error;
        JpegErrors::install(cinfo, error);
        if (setjmp(error.jump)) {
            if (errorCode)
                *errorCode = error.pub.msg_code;
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.constData()),
            static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&cinfo, TRUE);
        if (qint64(cinfo.image_width) * cinfo.image_height > MaxPixels) {
            if (errorCode)
                *errorCode = JERR_IMAGE_TOO_BIG;
            jpeg_destroy_decompress(&cinfo);
            return false;
        }

        const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
        cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB; // grey pictures are widened to RGB by libjpeg
        cinfo.scale_num = cover.isEmpty()
            ? 8u
            : unsigned(jpegScaleNumerator(int(cinfo.image_width), int(cinfo.image_height), cover));
        cinfo.scale_denom = 8;
        jpeg_calc_output_dimensions(&cinfo);
        if (qint64(cinfo.output_width) * cinfo.output_height > MaxScaledPixels) {
            if (errorCode)
                *errorCode = JERR_IMAGE_TOO_BIG;
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        jpeg_start_decompress(&cinfo);

        *out = QImage(int(cinfo.output_width), int(cinfo.output_height), Format);
        if (out->isNull()) { // out of memory
            if (errorCode)
                *errorCode = JERR_OUT_OF_MEMORY;
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        if (cmyk)
            cmykRow->resize(std::size_t(cinfo.output_width) * 4);
        while (cinfo.output_scanline < cinfo.output_height) {
            uchar* line = out->scanLine(int(cinfo.output_scanline));
            JSAMPROW row = cmyk ? cmykRow->data() : line;
            jpeg_read_scanlines(&cinfo, &row, 1);
            if (cmyk)
                cmykToRgb(cmykRow->data(), line, int(cinfo.output_width), cinfo.saw_Adobe_marker);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        return true;
    }

    // The header alone; setjmp() lives in this frame, which holds plain data only.
    bool readHeader(const QByteArray& bytes, JpegHeader* header)
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
        header->width = cinfo.image_width;
        header->height = cinfo.image_height;
        header->progressive = jpeg_has_multiple_scans(&cinfo);
        header->valid = true;
        jpeg_destroy_decompress(&cinfo);
        return true;
    }

    JpegHeader jpegHeader(const QByteArray& bytes)
    {
        JpegHeader header;
        if (bytes.size() > 2 && bytes.startsWith("\xff\xd8"))
            readHeader(bytes, &header);
        return header;
    }

    // BMP and the other types: the header as Qt's reader gives it; a picture above
    // the limit is not decoded.
    QImage decodeOther(const QByteArray& bytes, const char* format)
    {
        if (bytes.isEmpty() || isTooLarge(declaredSize(bytes)))
            return {};
        QImage decoded;
        decoded.loadFromData(bytes, format);
        return decoded;
    }

    QImage stretched(const QImage& image)
    {
        return image.scaled(Width, Height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(Format);
    }

} // namespace

const QStringList& otherFormats()
{
    static const QStringList formats = [] {
        const QList<QByteArray> readable = QImageReader::supportedImageFormats();
        QStringList names;
        for (const char* name : { "png", "ico", "gif", "webp", "tif", "tiff" }) {
            if (readable.contains(QByteArray(name)))
                names << QString::fromLatin1(name);
        }
        return names;
    }();
    return formats;
}

Kind kindOfTag(const QString& tag)
{
    const QString upper = tag.toUpper();
    if (upper == u"JPG"_s)
        return Kind::Jpeg;
    if (upper == u"BMP"_s)
        return Kind::Bmp;
    if (otherFormats().contains(tag.toLower()))
        return Kind::Other;
    return Kind::None;
}

QImage placeholder(const QImage& tile)
{
    if (tile.isNull()) {
        QImage plain(Width, Height, Format);
        plain.fill(QColor(192, 192, 192));
        return plain;
    }
    return stretched(tile);
}

int jpegScaleNumerator(int width, int height)
{
    return jpegScaleNumerator(width, height, QSize(Width, Height));
}

int jpegScaleNumerator(int width, int height, QSize cover)
{
    for (int numerator = 1; numerator <= 16; ++numerator) {
        if (scaledSize(width, numerator) >= cover.width() && scaledSize(height, numerator) >= cover.height())
            return numerator;
    }
    // Smaller than a thumbnail even at twice its size: decode as it is and let the
    // smoothing enlarge it.
    return 8;
}

QSize declaredSize(const QByteArray& bytes)
{
    const JpegHeader header = jpegHeader(bytes);
    if (header.valid)
        return QSize(int(std::min<qint64>(header.width, INT_MAX)), int(std::min<qint64>(header.height, INT_MAX)));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return reader.size();
}

bool isTooLarge(QSize size)
{
    return size.isValid() && qint64(size.width()) * size.height() > MaxPixels;
}

QString tooLargeText(QSize size)
{
    return u"图片太大：%1×%2 像素，最大 %3 万像素"_s.arg(size.width()).arg(size.height()).arg(MaxPixels / 10000);
}

QImage decodeJpeg(const QByteArray& bytes, QSize cover, int* errorCode)
{
    const JpegHeader header = jpegHeader(bytes);
    std::unique_lock large(g_largeProgressive, std::defer_lock);
    if (header.progressive && header.width * header.height > LargeProgressivePixels
        && header.width * header.height <= MaxPixels)
        large.lock();
    QImage decoded;
    std::vector<uchar> cmykRow;
    if (!decodeScaled(bytes, cover, &decoded, &cmykRow, errorCode))
        return {};
    return decoded;
}

QImage jpegThumbnail(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    const QImage decoded = decodeJpeg(bytes, QSize(Width, Height));
    return decoded.isNull() ? QImage() : stretched(decoded);
}

QImage bmpThumbnail(const QByteArray& bytes)
{
    const QImage decoded = decodeOther(bytes, "BMP");
    if (decoded.isNull())
        return {};
    return stretched(decoded);
}

QImage decodeCover(Kind kind, const QByteArray& bytes)
{
    if (kind == Kind::None)
        return {};
    g_decodes.fetch_add(1, std::memory_order_relaxed);
    switch (kind) {
    case Kind::Jpeg:
        return jpegThumbnail(bytes);
    case Kind::Bmp:
        return bmpThumbnail(bytes);
    default:
        break;
    }
    const QImage decoded = decodeOther(bytes, nullptr);
    if (decoded.isNull())
        return {};
    return stretched(decoded);
}

QImage makeThumbnail(Kind kind, const QByteArray& bytes, const QImage& placeholderTile, bool* damaged)
{
    if (damaged)
        *damaged = false;
    if (kind == Kind::None)
        return placeholder(placeholderTile);

    QImage thumbnail = decodeCover(kind, bytes);
    if (!thumbnail.isNull())
        return thumbnail;
    if (damaged)
        *damaged = true;
    return placeholder(placeholderTile);
}

QImage makeThumbnail(const QString& tag, const QByteArray& bytes, const QImage& placeholderTile, bool* damaged)
{
    return makeThumbnail(kindOfTag(tag), bytes, placeholderTile, damaged);
}

quint64 decodeCount()
{
    return g_decodes.load(std::memory_order_relaxed);
}

} // namespace Thumbnails
