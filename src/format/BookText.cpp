#include "format/BookText.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>
#include <memory>
#include <new>

#include <zstd.h>

namespace {

// "QHTX" and the form's version.
constexpr quint32 tag = 0x51485458;
constexpr quint32 version = 3;

} // namespace

BookText BookText::join(const QStringList& pages)
{
    BookText text;
    text.pageStarts.reserve(pages.size());
    for (const QString& page : pages) {
        text.pageStarts.append(qint32(text.utf8.size()));
        text.utf8 += page.toUtf8();
        text.utf8 += '\n'; // no match runs from one page into the next
    }
    return text;
}

int BookText::pageAt(qsizetype offset) const
{
    const auto after = std::upper_bound(pageStarts.begin(), pageStarts.end(), qint32(offset));
    return after == pageStarts.begin() ? 0 : int(after - pageStarts.begin()) - 1;
}

// The plain form: tag and version (big-endian), then zstd of the
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
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << tag << version;
    }
    // zstd at its fastest standard level, with its check sum: a text is read back far
    // more often than made, and the first search of a session decompresses every
    // book. Level 1 makes companions a sixth to a quarter bigger than level 3 and reads
    // them 1.2-1.7 times as fast (Chinese text holds few long repeats, and level
    // 3's many short ones cost more to replay than they save).
    const qsizetype header = bytes.size();
    bytes.resize(header + qsizetype(ZSTD_compressBound(size_t(payload.size()))));
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 1);
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
    const size_t written = ZSTD_compress2(
        context, bytes.data() + header, size_t(bytes.size() - header), payload.constData(), size_t(payload.size()));
    ZSTD_freeCCtx(context);
    if (ZSTD_isError(written))
        throw std::bad_alloc();
    bytes.resize(header + qsizetype(written));
    return bytes;
}

qint64 BookText::plainSizeOf(const QByteArray& bytes)
{
    constexpr qsizetype header = 8;
    if (bytes.size() <= header)
        return -1;
    const unsigned long long plainSize
        = ZSTD_getFrameContentSize(bytes.constData() + header, size_t(bytes.size() - header));
    if (plainSize == ZSTD_CONTENTSIZE_UNKNOWN || plainSize == ZSTD_CONTENTSIZE_ERROR || plainSize > (1ull << 62))
        return -1;
    return qint64(plainSize);
}

std::optional<BookText> BookText::parse(const QByteArray& bytes, qint64 maxPlainBytes)
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
    // zstd's own check sum catches damage.
    const char* frame = bytes.constData() + header;
    const size_t frameSize = size_t(bytes.size() - header);
    const unsigned long long plainSize = ZSTD_getFrameContentSize(frame, frameSize);
    if (plainSize == ZSTD_CONTENTSIZE_UNKNOWN || plainSize == ZSTD_CONTENTSIZE_ERROR || plainSize < trailer
        || plainSize > (1ull << 31) || plainSize > quint64(qMax<qint64>(0, maxPlainBytes)))
        return std::nullopt;
    QByteArray payload(qsizetype(plainSize), Qt::Uninitialized);
    // One context a reading thread, kept: a search reads a whole library.
    thread_local const std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> context(ZSTD_createDCtx(), ZSTD_freeDCtx);
    if (!context)
        throw std::bad_alloc();
    const size_t got = ZSTD_decompressDCtx(context.get(), payload.data(), size_t(payload.size()), frame, frameSize);
    if (ZSTD_isError(got) || got != plainSize)
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
