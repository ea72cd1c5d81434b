#pragma once

#include "format/BookText.h"
#include "search/FindHit.h"
#include "search/FindQuery.h"

#include <atomic>

class FullTextLibrary;
struct sqlite3;

// The search inside the e-books: every e-book of the table whose text holds
// the search text gives one hit per page it is found on.
namespace FullTextSearch {

// The places (byte offsets) where needle occurs in text, at most `limit`;
// ASCII letters in needle match either case.
QList<qsizetype> occurrences(const QByteArray& text, const QByteArray& needle, int limit = -1);

// The most pages of one book a search lists.
constexpr int MaxPagesPerBook = 200;

// The hits of one book's text: its pages holding the text, in page order, at
// most maxPages of them. Time grows with the text, not with the places found;
// a set `cancelled` stops it (then it gives nothing).
QList<FindHit> pagesHolding(const BookText& text, const QByteArray& needle, int maxPages = MaxPagesPerBook,
    const std::atomic<bool>* cancelled = nullptr);

// The form of a query the texts are searched with (simplified, UTF-8).
QByteArray needleFor(const FindQuery& query);

// `cancelled` is polled between books; a cancelled search returns nothing.
QList<FindHit> run(
    sqlite3* db, const FindQuery& query, FullTextLibrary& library, const std::atomic<bool>* cancelled = nullptr);

} // namespace FullTextSearch
