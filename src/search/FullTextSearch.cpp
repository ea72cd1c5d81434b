#include "search/FullTextSearch.h"

#include "data/Statement.h"
#include "search/FullTextLibrary.h"
#include "search/TextForms.h"

#include <algorithm>
#include <cstring>
#include <functional>

using namespace Qt::StringLiterals;

namespace FullTextSearch {
namespace {

    char lowerAscii(char c)
    {
        return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }

    bool hasAsciiLetter(const QByteArray& bytes)
    {
        return std::any_of(bytes.begin(), bytes.end(), [](char c) { return lowerAscii(c) >= 'a' && lowerAscii(c) <= 'z'; });
    }

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
    if (needle.isEmpty() || text.size() < needle.size())
        return found;
    const char* data = text.constData();
    const size_t size = size_t(text.size());
    if (!hasAsciiLetter(needle)) {
        for (size_t from = 0; from + size_t(needle.size()) <= size && (limit < 0 || found.size() < limit);) {
            const void* hit = memmem(data + from, size - from, needle.constData(), size_t(needle.size()));
            if (!hit)
                break;
            const size_t at = size_t(static_cast<const char*>(hit) - data);
            found << qsizetype(at);
            from = at + size_t(needle.size());
        }
        return found;
    }
    const QByteArray lower = needle.toLower();
    const std::boyer_moore_horspool_searcher searcher(
        lower.begin(), lower.end(), [](char c) { return std::hash<char>()(lowerAscii(c)); },
        [](char a, char b) { return lowerAscii(a) == lowerAscii(b); });
    for (const char* from = data; limit < 0 || found.size() < limit;) {
        const auto [first, last] = searcher(from, data + size);
        if (first == last)
            break;
        found << qsizetype(first - data);
        from = last;
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
    Statement rows(db, "select ID, name, filename from dzbook order by ID");
    while (rows.step()) {
        if (cancelled && cancelled->load(std::memory_order_relaxed))
            return {};
        const QString storedName = rows.text(2);
        if (storedName.isEmpty() || storedName.contains(u'/') || storedName.contains(u'\\'))
            continue;
        const std::shared_ptr<const BookText> text = library.text(storedName);
        if (!text)
            continue;
        for (FindHit& hit : pagesHolding(*text, needle)) {
            hit.id = rows.integer(0);
            hit.title = rows.text(1);
            hit.storedName = storedName;
            hits << std::move(hit);
        }
    }
    return hits;
}

} // namespace FullTextSearch
