#include "search/BookText.h"

#include "search/TextForms.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>

namespace {

// "QHTX" and the form's version.
constexpr quint32 tag = 0x51485458;
constexpr quint32 version = 2;

} // namespace

BookText BookText::fromPages(const QStringList& pages)
{
    BookText text;
    text.pageStarts.reserve(pages.size());
    for (const QString& page : pages) {
        text.pageStarts.append(qint32(text.utf8.size()));
        text.utf8 += (TextForms::mayHoldTraditional(page) ? TextForms::toSimplified(page) : page).toUtf8();
        text.utf8 += '\n'; // no match runs from one page into the next
    }
    return text;
}

int BookText::pageAt(qsizetype offset) const
{
    const auto after = std::upper_bound(pageStarts.begin(), pageStarts.end(), qint32(offset));
    return after == pageStarts.begin() ? 0 : int(after - pageStarts.begin()) - 1;
}

// The plain form: tag and version (big-endian), then zlib (qCompress) of the
// text followed by the page table and, last, the page count and the text's
// size. The text comes first so that reading it back needs no copy of it.
QByteArray BookText::serialize() const
{
    QByteArray payload = utf8;
    {
        QDataStream out(&payload, QIODevice::Append);
        out.setVersion(QDataStream::Qt_6_0);
        for (const qint32 start : pageStarts)
            out << start;
        out << quint32(pageStarts.size()) << quint32(utf8.size());
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << tag << version;
    // A fast level: the text is read back far more often than it is made.
    const QByteArray compressed = qCompress(payload, 3);
    bytes += compressed;
    return bytes;
}

std::optional<BookText> BookText::parse(const QByteArray& bytes)
{
    constexpr qsizetype header = 8;
    constexpr qsizetype trailer = 8;
    if (bytes.size() <= header)
        return std::nullopt;
    quint32 foundTag = 0, foundVersion = 0;
    {
        QDataStream in(bytes.left(header));
        in >> foundTag >> foundVersion;
    }
    if (foundTag != tag || foundVersion != version)
        return std::nullopt;
    // zlib's own check sum catches damage.
    QByteArray payload = qUncompress(reinterpret_cast<const uchar*>(bytes.constData()) + header, bytes.size() - header);
    if (payload.size() < trailer)
        return std::nullopt;
    quint32 pages = 0, textSize = 0;
    {
        QDataStream in(payload.right(trailer));
        in >> pages >> textSize;
    }
    if (qsizetype(textSize) + qsizetype(pages) * 4 + trailer != payload.size())
        return std::nullopt;
    BookText text;
    {
        QDataStream in(QByteArray::fromRawData(payload.constData() + textSize, qsizetype(pages) * 4));
        in.setVersion(QDataStream::Qt_6_0);
        text.pageStarts.resize(pages);
        qint32 previous = 0;
        for (qint32& start : text.pageStarts) {
            in >> start;
            if (start < previous || start > qint32(textSize))
                return std::nullopt;
            previous = start;
        }
    }
    payload.truncate(textSize); // in place: the text is not copied
    text.utf8 = std::move(payload);
    return text;
}
