#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

// Cover thumbnails of the shelf: every cover, whatever its size or proportion,
// becomes a 100 x 120 picture at 24 bits per pixel.
namespace Thumbnails {

constexpr int Width = 100;
constexpr int Height = 120;
constexpr QImage::Format Format = QImage::Format_RGB888;

enum class Kind
{
    Jpeg,
    Bmp,
    Other, // a picture of another type that Qt reads (PNG, icon, GIF...), named by its tag
    None
};

// The cover's format tag decides how its bytes are read, without regard to letter case:
// "jpg" a JPEG file, "bmp" a BMP file, the name of another readable picture type
// (otherFormats(): "png", "ico"...) a file of that type; anything else means the book
// has no cover.
Kind kindOfTag(const QString& tag);

// The lower-case names of the other picture types a tag may name ("png", "ico", "gif"...):
// what this system's picture loader reads, apart from JPEG and BMP.
const QStringList& otherFormats();

// Pictures larger than this many pixels are refused on upload and never decoded
// when stored: a progressive JPEG needs memory for every pixel of the full size,
// whatever size it is shown at (20000 x 20000 takes more than a gigabyte).
inline constexpr qint64 MaxPixels = qint64(6400) * 10000;
// The size a picture file gives in its header, read without decoding it; invalid
// when the header cannot be read.
QSize declaredSize(const QByteArray& bytes);
bool isTooLarge(QSize size);
// "图片太大：W×H 像素，最大 6400 万像素"
QString tooLargeText(QSize size);

// Decodes a JPEG file straight at the smallest scale M/8 (M = 1..16) that still covers
// `cover` (the full size when cover is empty), without smoothing. A null image when
// libjpeg gave up; *errorCode (when given) then holds libjpeg's message number. A
// picture of more than MaxPixels is not decoded (JERR_IMAGE_TOO_BIG); large
// progressive ones are decoded one at a time.
// Safe to call from any thread.
QImage decodeJpeg(const QByteArray& bytes, QSize cover, int* errorCode = nullptr);

// The background tile stretched to 100 x 120: the cover of a book without one,
// and of a book whose cover cannot be read. A null tile gives a plain grey picture.
QImage placeholder(const QImage& tile);

// Decodes a JPEG file straight at the smallest scale M/8 (M = 1..16) that still
// covers 100 x 120, then smooths it to exactly 100 x 120. A null image when the
// bytes are not a readable JPEG file.
QImage jpegThumbnail(const QByteArray& bytes);

// The scale numerator (denominator 8) chosen for a picture of this size.
int jpegScaleNumerator(int width, int height);
int jpegScaleNumerator(int width, int height, QSize cover);

// Decodes a BMP file and stretches it to 100 x 120; a null image when unreadable.
QImage bmpThumbnail(const QByteArray& bytes);

// The thumbnail of a JPEG, BMP or other cover, counted as one decode; a null image when the
// bytes cannot be read as that kind. Safe to call from any thread.
QImage decodeCover(Kind kind, const QByteArray& bytes);

// The thumbnail of one cover. A cover that cannot be read gives the placeholder and
// sets *damaged (when given). Safe to call from any thread.
QImage makeThumbnail(Kind kind, const QByteArray& bytes, const QImage& placeholderTile, bool* damaged = nullptr);
QImage makeThumbnail(
    const QString& tag, const QByteArray& bytes, const QImage& placeholderTile, bool* damaged = nullptr);

// How many covers have been decoded (JPEG or BMP) since the program started; lets
// tests see that a cached listing decodes nothing.
quint64 decodeCount();

} // namespace Thumbnails
