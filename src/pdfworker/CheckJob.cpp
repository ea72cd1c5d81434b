// "check": what the viewer asks first of a book, done where a hang or a crash
// costs a worker: the document loads with its password and every page gives
// its size. Answers {result: ok | password | damaged, pages}.

#include "pdfworker/WorkerJobs.h"

#include "format/EncryptedPdfDevice.h"
#include "Exception.h"

#include <QPdfDocument>

using namespace Qt::StringLiterals;

namespace PdfWorker {

QCborMap runCheck(const QCborMap& job, Reply& reply)
{
    try {
        EncryptedPdfDevice book(job.value(u"path"_s).toString());
        QPdfDocument document;
        const Opened opened = openDocument(document, book, job.value(u"password"_s).toString());
        if (opened != Opened::Ready)
            return { { u"result"_s, resultWord(opened) } };
        const int pages = document.pageCount();
        for (int page = 0; page < pages; ++page) {
            (void)document.pagePointSize(page);
            if (page % 1000 == 999)
                reply.progress(page + 1, pages);
        }
        document.close();
        return { { u"result"_s, u"ok"_s }, { u"pages"_s, pages } };
    } catch (const Exception& error) {
        throw JobFailure(error.what());
    }
}

} // namespace PdfWorker
