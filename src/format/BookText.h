#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <optional>

// The text of one e-book as the full-text search keeps it: the pages' text
// one after the other as UTF-8 (in simplified characters, so one form of a
// search text finds both: TextForms::bookText makes it), and where each page begins.
struct BookText
{
    QByteArray utf8;
    QList<qint32> pageStarts; // byte offset of every page in utf8, ascending

    // The pages as they are, one after the other.
    static BookText join(const QStringList& pages);
    int pageCount() const { return int(pageStarts.size()); }
    // The page holding a byte offset (0 for an empty book).
    int pageAt(qsizetype offset) const;

    // The companion's plain form: a tag, then the pages compressed (zstd). parse()
    // gives nothing for anything else (a damaged or foreign file).
    QByteArray serialize() const;
    // A text that would be larger than maxPlainBytes once decompressed is
    // refused before anything is allocated for it.
    static std::optional<BookText> parse(const QByteArray& bytes, qint64 maxPlainBytes = qint64(1) << 31);
    // The size the compressed form says its text has; -1 when it says nothing sound.
    static qint64 plainSizeOf(const QByteArray& bytes);
};
