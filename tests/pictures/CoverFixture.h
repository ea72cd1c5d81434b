#pragma once

// Covers for the shelf tests: the tile placeholders are cut from, stored pictures
// of one colour, and colour checks.

#include <QBuffer>
#include <QColor>
#include <QImage>

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
