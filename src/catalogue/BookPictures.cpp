#include "catalogue/BookPictures.h"

#include "Exception.h"
#include "platform/FileIo.h"
#include "pictures/ThumbnailCache.h"
#include "pictures/Thumbnails.h"
#include "data/udata.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QStringList>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace BookPictures {
namespace {

    // Larger files are refused before they are read: no household picture comes near it.
    constexpr qint64 MaxFileBytes = qint64(200) * 1024 * 1024;

    [[noreturn]] void fail(const QString& text)
    {
        throw Exception(text.toStdString());
    }

    QImage fitted(const QImage& image, QSize panel)
    {
        if (image.isNull() || panel.isEmpty()
            || (image.width() <= 2 * panel.width() && image.height() <= 2 * panel.height()))
            return image;
        return image.scaled(panel, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }

    QByteArray readFile(const QString& path)
    {
        // Regular files only, checked without waiting: a pipe would block for ever.
        QFile file;
        if (!FileIo::openRegular(file, path))
            fail(u"Cannot open file \"%1\". %2"_s.arg(path, FileIo::errorText(errno)));
        if (file.size() > MaxFileBytes)
            fail(u"图片文件 \"%1\" 太大（超过 200 MB），无法载入。"_s.arg(path));
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            fail(u"Cannot read file \"%1\". %2"_s.arg(path, file.errorString()));
        return bytes;
    }

    QByteArray asBmpFile(const QImage& image)
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "BMP"))
            fail(u"Bitmap image is not valid"_s);
        return bytes;
    }

    Upload jpegUpload(QByteArray bytes, QSize panel)
    {
        int code = 0;
        const QImage image = Thumbnails::decodeJpeg(bytes, panel, &code);
        if (image.isNull())
            fail(jpegErrorText(code));
        return { std::move(bytes), u"jpg"_s, fitted(image, panel) };
    }

    Upload bmpUpload(const QByteArray& bytes, QSize panel)
    {
        QImage image;
        if (!bytes.startsWith("BM") || !image.loadFromData(bytes, "BMP"))
            fail(u"Bitmap image is not valid"_s);
        return { asBmpFile(image), u"bmp"_s, fitted(image, panel) };
    }

} // namespace

QString jpegErrorText(int code)
{
    return u"JPEG error #%1"_s.arg(code);
}

bool isShown(const QString& tag)
{
    return tag == u"jpg"_s || tag == u"bmp"_s || Thumbnails::otherFormats().contains(tag);
}

Decoded decodeStored(const QString& tag, const QByteArray& bytes, QSize panel)
{
    if (bytes.isEmpty())
        return {};
    if (tag == u"jpg"_s) {
        int code = 0;
        QImage image = Thumbnails::decodeJpeg(bytes, panel, &code);
        if (image.isNull())
            return { {}, jpegErrorText(code) };
        return { fitted(image, panel), {} };
    }
    if (tag == u"bmp"_s) {
        if (Thumbnails::isTooLarge(Thumbnails::declaredSize(bytes)))
            return { {}, u"Bitmap image is not valid"_s };
        QImage image;
        if (!bytes.startsWith("BM") || !image.loadFromData(bytes, "BMP"))
            return { {}, u"Bitmap image is not valid"_s };
        return { fitted(image, panel), {} };
    }
    if (!Thumbnails::otherFormats().contains(tag))
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    if (Thumbnails::isTooLarge(reader.size()))
        return { {}, Thumbnails::tooLargeText(reader.size()) };
    QImage image = reader.read();
    if (image.isNull())
        return { {}, reader.errorString() };
    return { fitted(image, panel), {} };
}

QString extension(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype separator = qMax(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return dot > separator ? path.mid(dot) : QString();
}

Upload loadFile(const QString& path, QSize panel)
{
    const QString ext = extension(path);
    const QString upper = ext.toUpper();
    const bool jpeg = upper == u".JPG"_s || upper == u".JPEG"_s;
    const bool bmp = upper == u".BMP"_s;
    if (!jpeg && !bmp && !Thumbnails::otherFormats().contains(ext.mid(1).toLower()))
        fail(u"Unknown picture file extension (%1)"_s.arg(ext));
    const QByteArray bytes = readFile(path);
    // Refused before any decoding: the size comes from the header alone.
    const QSize size = Thumbnails::declaredSize(bytes);
    if (Thumbnails::isTooLarge(size))
        fail(Thumbnails::tooLargeText(size));
    if (jpeg)
        return jpegUpload(bytes, panel);
    if (bmp)
        return bmpUpload(bytes, panel);

    // Another type: what the file really holds decides, so the tag always names its contents.
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    const QString found = QString::fromLatin1(reader.format()).toLower();
    if (found == u"jpeg"_s || found == u"jpg"_s)
        return jpegUpload(bytes, panel);
    if (found == u"bmp"_s)
        return bmpUpload(bytes, panel);
    const QImage image = reader.read();
    if (image.isNull())
        fail(reader.errorString());
    if (!Thumbnails::otherFormats().contains(found))
        fail(u"Unknown picture file extension (%1)"_s.arg(ext));
    return { bytes, found, fitted(image, panel) };
}

QString fileFilter()
{
    QStringList patterns { u"*.bmp"_s, u"*.jpg"_s, u"*.jpeg"_s };
    for (const QString& format : Thumbnails::otherFormats())
        patterns << u"*."_s + format;
    QStringList entries { u"所有图片 (%1)"_s.arg(patterns.join(u' ')), u"位图 (*.bmp)"_s,
        u"JPEG 图片 (*.jpg *.jpeg)"_s };
    const QList<std::pair<const char*, const char16_t*>> named { { "png", u"PNG 图片" }, { "ico", u"图标" },
        { "gif", u"GIF 图片" }, { "webp", u"WebP 图片" } };
    for (const auto& [format, title] : named) {
        if (Thumbnails::otherFormats().contains(QLatin1String(format)))
            entries << u"%1 (*.%2)"_s.arg(QString::fromUtf16(title), QLatin1String(format));
    }
    return entries.join(u";;"_s);
}

void postUpload(RecordSet& books, int slot, const QString& tag, const QByteArray& bytes)
{
    books.post();
    if (slot != 0)
        return;
    const QImage thumbnail = Thumbnails::decodeCover(Thumbnails::kindOfTag(tag), bytes);
    const std::optional<qint64> id = books.asInteger(u"id"_s);
    if (thumbnail.isNull() || !id)
        return;
    ThumbnailCache cache(books.connection().handle());
    if (cache.prepare())
        cache.storeCover(*id, tag, bytes, thumbnail); // an optimisation: a failure costs a decode later
}

} // namespace BookPictures
