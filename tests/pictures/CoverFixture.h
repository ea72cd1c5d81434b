#pragma once

// Covers for the shelf tests: the tile placeholders are cut from, stored pictures
// of one colour, and colour checks.

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

inline const QColor TileColour(20, 90, 160);

inline QImage tile()
{
    QImage image(756, 139, QImage::Format_RGB32);
    image.fill(TileColour);
    return image;
}

inline QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    return bytes;
}

inline QByteArray picture(const QColor& colour, const char* format = "JPG", int width = 240, int height = 300)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return encoded(image, format);
}

inline bool near(const QColor& a, const QColor& b, int tolerance = 8)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
        && qAbs(a.blue() - b.blue()) <= tolerance;
}

// A small progressive JPEG whose header claims width x height: libjpeg sets aside
// the coefficients of the full size before it decodes a single scan.
inline QByteArray hugeProgressiveJpeg(int width, int height)
{
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(image);
    const qsizetype sof = bytes.indexOf("\xff\xc2");
    if (sof < 0)
        return {};
    qToBigEndian<quint16>(quint16(height), bytes.data() + sof + 5);
    qToBigEndian<quint16>(quint16(width), bytes.data() + sof + 7);
    return bytes;
}

// A BMP file whose header claims width x height.
inline QByteArray hugeBmp(int width, int height)
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::green);
    QByteArray bytes = encoded(image, "BMP");
    qToLittleEndian<qint32>(width, bytes.data() + 18);
    qToLittleEndian<qint32>(height, bytes.data() + 22);
    return bytes;
}

// A PNG file whose header claims width x height (its checksum made to match).
inline QByteArray hugePng(int width, int height)
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::green);
    QByteArray bytes = encoded(image, "PNG");
    const qsizetype ihdr = bytes.indexOf("IHDR");
    qToBigEndian<quint32>(quint32(width), bytes.data() + ihdr + 4);
    qToBigEndian<quint32>(quint32(height), bytes.data() + ihdr + 8);
    quint32 crc = 0xffffffffu;
    for (qsizetype i = ihdr; i < ihdr + 17; ++i) {
        crc ^= quint8(bytes[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    qToBigEndian<quint32>(~crc, bytes.data() + ihdr + 17);
    return bytes;
}
