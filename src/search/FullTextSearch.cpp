#include "search/FullTextSearch.h"

#include "data/Statement.h"
#include "format/StoreNames.h"
#include "search/ByteSearch.h"
#include "search/FullTextLibrary.h"
#include "text/PageNames.h"
#include "text/TextForms.h"

#include <QtConcurrent/QtConcurrentMap>

using namespace Qt::StringLiterals;

namespace FullTextSearch {
namespace {

    // A piece of UTF-8 text around [at, at + length), cut on character boundaries.
    FindHit hitAt(const QByteArray& text, qsizetype at, qsizetype length, int page)
    {
        constexpr qsizetype context = 72; // bytes, about 24 Chinese characters
        qsizetype begin = qMax<qsizetype>(0, at - context);
        qsizetype end = qMin(text.size(), at + length + context);
        while (begin > 0 && (uchar(text.at(begin)) & 0xC0) == 0x80)
            ++begin;
        while (end < text.size() && (uchar(text.at(end)) & 0xC0) == 0x80)
            --end;
        FindHit hit;
        hit.group = FindHit::Group::FullText;
        hit.page = page;
        hit.field = PageNames::name(page, QString());
        const QString before = QString::fromUtf8(text.constData() + begin, at - begin);
        const QString match = QString::fromUtf8(text.constData() + at, length);
        const QString after = QString::fromUtf8(text.constData() + at + length, end - at - length);
        const QString lead = begin > 0 ? u"…"_s : QString();
        hit.snippet = lead + before + match + after + (end < text.size() ? u"…"_s : QString());
        hit.snippet.replace(u'\n', u' ').replace(u'\r', u' ');
        hit.markStart = lead.size() + before.size();
        hit.markLength = match.size();
        return hit;
    }

} // namespace

QList<qsizetype> occurrences(const QByteArray& text, const QByteArray& needle, int limit)
{
    QList<qsizetype> found;
    if (needle.isEmpty())
        return found;
    const bool caseless = ByteSearch::hasAsciiLetter(needle.constData(), size_t(needle.size()));
    const QByteArray wanted = caseless ? needle.toLower() : needle;
    const char* data = text.constData();
    ByteSearch::Finder finder(data, size_t(text.size()), wanted.constData(), size_t(wanted.size()), caseless);
    for (const char* from = data; limit < 0 || found.size() < limit;) {
        const char* hit = finder.next(from);
        if (!hit)
            break;
        found << qsizetype(hit - data);
        from = hit + wanted.size();
    }
    return found;
}

QList<FindHit> pagesHolding(
    const BookText& text, const QByteArray& needle, int maxPages, const std::atomic<bool>* cancelled)
{
    QList<FindHit> hits;
    if (needle.isEmpty())
        return hits;
    const bool caseless = ByteSearch::hasAsciiLetter(needle.constData(), size_t(needle.size()));
    const QByteArray wanted = caseless ? needle.toLower() : needle;
    const char* data = text.utf8.constData();
    const char* end = data + text.utf8.size();
    ByteSearch::Finder finder(data, size_t(text.utf8.size()), wanted.constData(), size_t(wanted.size()), caseless);
    // One hit a page: after a page's first place the search goes on from the
    // next page's start, and it stops at the cap or when called off.
    for (const char* from = data; from < end && hits.size() < maxPages;) {
        if (cancelled && cancelled->load(std::memory_order_relaxed))
            return {};
        const char* place = finder.next(from);
        if (!place)
            break;
        const qsizetype at = place - data;
        const int page = text.pageAt(at);
        hits << hitAt(text.utf8, at, needle.size(), page);
        const qsizetype nextPage = page + 1 < text.pageCount() ? text.pageStarts.at(page + 1) : text.utf8.size();
        from = data + std::max(nextPage, at + 1);
    }
    return hits;
}

QByteArray needleFor(const FindQuery& query)
{
    return TextForms::toSimplified(query.text).toUtf8();
}

QList<FindHit> run(sqlite3* db, const FindQuery& query, FullTextLibrary& library, const std::atomic<bool>* cancelled)
{
    QList<FindHit> hits;
    const QByteArray needle = needleFor(query);
    if (needle.isEmpty())
        return hits;
    struct Book
    {
        qint64 id;
        QString title;
        QString storedName;
        std::shared_ptr<const BookText> text;
    };
    QList<Book> books;
    {
        Statement rows(db, "select ID, name, filename from dzbook order by ID");
        while (rows.step()) {
            const QString storedName = rows.text(2);
            if (StoreNames::isPlainName(storedName))
                books.append({ rows.integer(0), rows.text(1), storedName, nullptr });
        }
    }
    // The texts not yet in memory are read (decrypted, decompressed) on every core.
    const auto stopped = [cancelled] { return cancelled && cancelled->load(std::memory_order_relaxed); };
    // A book whose text cannot be had now (memory short for it) is left out: the others are still searched.
    QtConcurrent::blockingMap(books, [&library, &stopped](Book& book) {
        if (stopped())
            return;
        try {
            book.text = library.text(book.storedName);
        } catch (const std::bad_alloc&) {
            qWarning("full text of %s left out of the search: out of memory", qPrintable(book.storedName));
        }
    });
    for (const Book& book : std::as_const(books)) {
        if (stopped())
            return {};
        if (!book.text)
            continue;
        // A search called off stops inside a long book too; a book whose hits
        // do not fit in memory now is left out, the others are still searched.
        QList<FindHit> found;
        try {
            found = pagesHolding(*book.text, needle, MaxPagesPerBook, cancelled);
        } catch (const std::bad_alloc&) {
            continue;
        }
        // Pages named as the reader names them, by the book's own numbers where it has them.
        const QStringList labels = found.isEmpty() ? QStringList() : PageNames::stored(db, book.storedName);
        for (FindHit& hit : found) {
            if (!labels.isEmpty())
                hit.field = PageNames::name(hit.page, labels.value(hit.page));
            hit.id = book.id;
            hit.title = book.title;
            hit.storedName = book.storedName;
            hits << std::move(hit);
        }
    }
    if (stopped())
        return {};
    return hits;
}

} // namespace FullTextSearch
