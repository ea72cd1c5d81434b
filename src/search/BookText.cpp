#include "search/BookText.h"

#include "search/TextForms.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>

namespace {

// "QHTX" and the form's version.
constexpr quint32 tag = 0x51485458;
constexpr quint32 version = 1;

} // namespace

BookText BookText::fromPages(const QStringList& pages)
{
    BookText text;
    text.pageStarts.reserve(pages.size());
    for (const QString& page : pages) {
        text.pageStarts.append(qint32(text.utf8.size()));
        text.utf8 += TextForms::toSimplified(page).toUtf8();
        text.utf8 += '\n'; // no match runs from one page into the next
    }
    return text;
}

int BookText::pageAt(qsizetype offset) const
{
    const auto after = std::upper_bound(pageStarts.begin(), pageStarts.end(), qint32(offset));
    return after == pageStarts.begin() ? 0 : int(after - pageStarts.begin()) - 1;
}

QByteArray BookText::serialize() const
{
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << pageStarts << utf8;
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << tag << version;
    // A fast level: the text is read back far more often than it is made.
    out << qCompress(payload, 3);
    return bytes;
}

std::optional<BookText> BookText::parse(const QByteArray& bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 foundTag = 0, foundVersion = 0;
    QByteArray compressed;
    in >> foundTag >> foundVersion >> compressed;
    if (in.status() != QDataStream::Ok || foundTag != tag || foundVersion != version)
        return std::nullopt;
    const QByteArray payload = qUncompress(compressed); // zlib's own check sum catches damage
    if (payload.isEmpty())
        return std::nullopt;
    BookText text;
    QDataStream body(payload);
    body.setVersion(QDataStream::Qt_6_0);
    body >> text.pageStarts >> text.utf8;
    if (body.status() != QDataStream::Ok || !body.atEnd())
        return std::nullopt;
    qint32 previous = 0;
    for (const qint32 start : std::as_const(text.pageStarts)) {
        if (start < previous || start > text.utf8.size())
            return std::nullopt;
        previous = start;
    }
    return text;
}
