#include "search/FullTextSearch.h"

#include "data/Statement.h"
#include "format/StoreNames.h"
#include "search/ByteSearch.h"
#include "search/FullTextLibrary.h"
#include "search/TextForms.h"

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
        hit.field = u"第 %1 页"_s.arg(page + 1);
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
    const char* end = data + text.size();
    for (const char* from = data; limit < 0 || found.size() < limit;) {
        const char* hit
            = ByteSearch::find(from, size_t(end - from), wanted.constData(), size_t(wanted.size()), caseless);
        if (!hit)
            break;
        found << qsizetype(hit - data);
        from = hit + wanted.size();
    }
    return found;
}

QList<FindHit> pagesHolding(const BookText& text, const QByteArray& needle, int maxPages)
{
    QList<FindHit> hits;
    int lastPage = -1;
    for (const qsizetype at : occurrences(text.utf8, needle)) {
        const int page = text.pageAt(at);
        if (page == lastPage)
            continue;
        lastPage = page;
        hits << hitAt(text.utf8, at, needle.size(), page);
        if (hits.size() >= maxPages)
            break;
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
    QtConcurrent::blockingMap(books, [&library, &stopped](Book& book) {
        if (!stopped())
            book.text = library.text(book.storedName);
    });
    for (const Book& book : std::as_const(books)) {
        if (stopped())
            return {};
        if (!book.text)
            continue;
        for (FindHit& hit : pagesHolding(*book.text, needle)) {
            hit.id = book.id;
            hit.title = book.title;
            hit.storedName = book.storedName;
            hits << std::move(hit);
        }
    }
    return hits;
}

} // namespace FullTextSearch
