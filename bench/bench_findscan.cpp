// The full-text scan of one long book against one plain pass over its text.
//
// A 1,024-page book (about 1.2 MB of text a page's worth of English words and
// Chinese characters), searched for texts from the rarest to the commonest:
// a word on one page, a word on every page, a single letter found thousands
// of times a page (whose other case never occurs, the case that once made
// every place rescan the rest of the text), and a Chinese character.
// Reference: glibc's memmem over the same text for the rare word, which
// reads the whole text once, letter case not ignored.
// Goal: every search <= 5 x the reference (one pass, stopping at the cap; a
// caseless word whose first letter is common has a candidate at each one);
// before the scans carried over, "e" took seconds where this takes a fraction
// of a millisecond.
//
// Times are medians of the rounds' CPU time, in one process and one run.
//
//   bench_findscan [rounds]        (default 15)

#include "format/BookText.h"
#include "search/FullTextSearch.h"
#include "text/TextForms.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

double cpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double medianMs(int rounds, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        const double before = cpuMs();
        work();
        times.push_back(cpuMs() - before);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;

    QStringList pages;
    for (int page = 0; page < 1024; ++page) {
        QString text = u"第%1页 "_s.arg(page + 1);
        for (int line = 0; line < 30; ++line)
            text += u"the quiet reader turns the page here 家里的书架上有很多书。"_s;
        if (page == 700)
            text += u"rarebird"_s;
        pages << text;
    }
    const BookText book = TextForms::bookText(pages);
    std::printf("book: %d pages, %.1f MB of text\n", book.pageCount(), book.utf8.size() / 1e6);

    volatile const void* sink = nullptr;
    const double reference = medianMs(rounds, [&] {
        sink = memmem(book.utf8.constData(), size_t(book.utf8.size()), "rarebirds", 9);
    });
    std::printf("reference (memmem, one pass)      %8.3f ms\n", reference);
    int failures = 0;
    for (const char* needle : { "rarebird", "quiet reader", "e", "E", "书架" }) {
        int hits = 0;
        const double ms = medianMs(rounds, [&] { hits = int(FullTextSearch::pagesHolding(book, needle).size()); });
        const double ratio = ms / std::max(reference, 1e-3);
        const bool ok = ratio <= 5.0;
        failures += ok ? 0 : 1;
        std::printf("%-14s %4d pages      %8.3f ms   %5.2f x   %s\n", needle, hits, ms, ratio, ok ? "ok" : "SLOW");
    }
    (void)sink;
    return failures == 0 ? 0 : 1;
}
