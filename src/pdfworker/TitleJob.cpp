// "title": the title a document gives itself in its document information, for
// a store file found without a row. Answers {result, title}.

#include "pdfworker/WorkerJobs.h"

#include "format/EncryptedPdfDevice.h"
#include "Exception.h"

#include <QPdfDocument>

using namespace Qt::StringLiterals;

namespace PdfWorker {

QCborMap runTitle(const QCborMap& job, Reply&)
{
    try {
        EncryptedPdfDevice book(job.value(u"path"_s).toString());
        QPdfDocument document;
        const Opened opened = openDocument(document, book, job.value(u"password"_s).toString());
        if (opened != Opened::Ready)
            return { { u"result"_s, resultWord(opened) } };
        const QString title = document.metaData(QPdfDocument::MetaDataField::Title).toString().simplified().left(500);
        document.close();
        return { { u"result"_s, u"ok"_s }, { u"title"_s, title } };
    } catch (const Exception& error) {
        throw JobFailure(error.what());
    }
}

} // namespace PdfWorker
