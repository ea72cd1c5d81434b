// "check": what the viewer asks first of a book, done where a hang or a crash
// costs a worker: the document loads with its password and every page gives
// its size. Answers {result: ok | password | damaged, pages}.

#include "pdfworker/WorkerJobs.h"

#include <QPdfDocument>

using namespace Qt::StringLiterals;

namespace PdfWorker {

QCborMap runCheck(const QCborMap& job, Reply& reply)
{
    return withBook(job, [&reply](QPdfDocument& document, EncryptedPdfDevice&) -> QCborMap {
        const int pages = document.pageCount();
        for (int page = 0; page < pages; ++page) {
            (void)document.pagePointSize(page);
            if (page % 1000 == 999)
                reply.progress(page + 1, pages);
        }
        return { { u"result"_s, u"ok"_s }, { u"pages"_s, pages } };
    });
}

} // namespace PdfWorker
