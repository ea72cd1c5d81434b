// "outline": the document's outline as the viewer shows it, flattened in
// reading order as {items: [{title, page, level}]}, and its own page labels
// ({labels: one a page}, for books up to MaxLabelledPages). What the engine builds is
// walked to a bounded depth and count, so an outline whose entries point at
// each other yields a cut list; one that makes the engine itself loop ends the
// worker at its limits, and the book opens without an outline.

#include "pdfworker/WorkerJobs.h"

#include <QCborArray>
#include <QPdfBookmarkModel>
#include <QPdfDocument>

using namespace Qt::StringLiterals;

namespace PdfWorker {
namespace {

    constexpr int MaxDepth = 16;
    constexpr int MaxItems = 5000;
    constexpr qsizetype MaxTitle = 500;
    constexpr int MaxLabelledPages = 100000;
    constexpr qsizetype MaxLabel = 40;

    void walk(const QPdfBookmarkModel& model, const QModelIndex& parent, int level, QCborArray& items)
    {
        if (level >= MaxDepth)
            return;
        const int rows = model.rowCount(parent);
        for (int row = 0; row < rows && items.size() < MaxItems; ++row) {
            const QModelIndex index = model.index(row, 0, parent);
            items.append(QCborMap {
                { u"title"_s, index.data(int(QPdfBookmarkModel::Role::Title)).toString().left(MaxTitle) },
                { u"page"_s, index.data(int(QPdfBookmarkModel::Role::Page)).toInt() },
                { u"level"_s, level },
            });
            walk(model, index, level + 1, items);
        }
    }

} // namespace

QCborMap runOutline(const QCborMap& job, Reply&)
{
    return withBook(job, [](QPdfDocument& document, EncryptedPdfDevice&) -> QCborMap {
        QCborArray items;
        {
            QPdfBookmarkModel model;
            model.setDocument(&document);
            walk(model, QModelIndex(), 0, items);
        }
        QCborArray labels;
        if (document.pageCount() <= MaxLabelledPages)
            for (int page = 0; page < document.pageCount(); ++page)
                labels << document.pageLabel(page).left(MaxLabel);
        return { { u"result"_s, u"ok"_s }, { u"items"_s, items }, { u"labels"_s, labels } };
    });
}

} // namespace PdfWorker
