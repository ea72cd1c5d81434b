// "find": the places of a text in a book, for the viewer's find bar, with the
// viewer's own engine (so the places are where the viewer draws the words).
// The job names the forms of the text in order of preference ("texts") and the
// page to start from ("page"): the first form that occurs on that page is the
// one searched (else the first form), and the pages are searched from there to
// the end and round from the first. One Page frame {page, matches: [[x, y, w,
// h, ...], ...]} (a match's rectangles in points, flattened) for every page with
// a match, the first page's always, with {text: the form searched}; Progress
// frames count the pages; then {result, text, pages}.

#include "pdfworker/WorkerJobs.h"

#include <QCborArray>
#include <QPdfDocument>
#include <QPdfLink>
#include <QPdfSearchModel>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace PdfWorker {
namespace {

    // No find bar needs more: a page or a book beyond this shows the first ones.
    constexpr int MaxMatchesPerPage = 500;
    constexpr int MaxMatches = 20000;
    constexpr int MaxRectanglesPerMatch = 16;
    constexpr qsizetype MaxTextChars = 1000;

    QCborArray flattened(const QPdfLink& match)
    {
        QCborArray numbers;
        const QList<QRectF> rectangles = match.rectangles();
        for (qsizetype i = 0; i < rectangles.size() && i < MaxRectanglesPerMatch; ++i) {
            const QRectF& r = rectangles.at(i);
            numbers << r.x() << r.y() << r.width() << r.height();
        }
        return numbers;
    }

} // namespace

QCborMap runFind(const QCborMap& job, Reply& reply)
{
    QStringList forms;
    for (const QCborValue& form : job.value(u"texts"_s).toArray())
        if (const QString text = form.toString().left(MaxTextChars); !text.isEmpty())
            forms << text;
    return withBook(job, [&](QPdfDocument& document, EncryptedPdfDevice&) -> QCborMap {
        const int pages = document.pageCount();
        const int first = int(std::clamp<qint64>(job.value(u"page"_s).toInteger(), 0, qMax(0, pages - 1)));
        if (forms.isEmpty())
            return { { u"result"_s, u"ok"_s }, { u"text"_s, QString() }, { u"pages"_s, pages } };

        QPdfSearchModel search;
        search.setDocument(&document);
        QString chosen = forms.first();
        if (forms.size() > 1 && pages > 0) {
            for (const QString& form : std::as_const(forms)) {
                search.setSearchString(form);
                if (!search.resultsOnPage(first).isEmpty()) {
                    chosen = form;
                    break;
                }
            }
        }
        search.setSearchString(chosen);
        int found = 0;
        for (int done = 0; done < pages; ++done) {
            const int page = (first + done) % pages;
            const QList<QPdfLink> results = found < MaxMatches ? search.resultsOnPage(page) : QList<QPdfLink>();
            // The first page's frame comes whatever it holds: it names the form searched.
            if (!results.isEmpty() || done == 0) {
                QCborArray matches;
                for (qsizetype i = 0; i < results.size() && i < MaxMatchesPerPage && found < MaxMatches; ++i, ++found)
                    matches << flattened(results.at(i));
                QCborMap frame { { u"page"_s, page }, { u"matches"_s, matches } };
                if (done == 0)
                    frame.insert(u"text"_s, chosen);
                reply.page(frame);
            }
            reply.progress(done + 1, pages);
        }
        return { { u"result"_s, u"ok"_s }, { u"text"_s, chosen }, { u"pages"_s, pages } };
    });
}

} // namespace PdfWorker
