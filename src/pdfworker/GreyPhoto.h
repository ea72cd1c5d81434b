#pragma once

// A photo read as the grey picture a barcode reader works on.
//
// A JPEG (what a phone or a camera writes) is decoded by libjpeg straight to
// its brightness channel, the fastest way through a 12-megapixel photo; other
// pictures (PNG, WebP, BMP...) go through Qt's readers. The photo's EXIF
// orientation is honoured as far as it matters to a reader that already tries
// the four right-angle turns: a mirrored photo is mirrored back, a turned one
// is left as it is.

#include <QImage>
#include <QString>

namespace GreyPhoto {

// A file bigger than this is no photo of a book.
inline constexpr qint64 MaxFileBytes = qint64(256) * 1024 * 1024;
// Nor is a picture of more pixels than this (a 100-megapixel camera is far below).
inline constexpr qint64 MaxPixels = qint64(400) * 1000 * 1000;

enum class Problem
{
    None,
    CannotOpen, // missing, unreadable, too big
    NotAPicture, // no reader takes it, or it is damaged beyond reading
};

struct Photo
{
    QImage grey; // Format_Grayscale8, null when Problem is not None
    Problem problem = Problem::None;
};

Photo read(const QString& path);
// The same for a file's bytes.
Photo fromBytes(const QByteArray& bytes);

// A picture of any format as Format_Grayscale8.
QImage toGrey(const QImage& picture);

} // namespace GreyPhoto
