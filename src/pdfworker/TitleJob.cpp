// "title": the title a document gives itself in its document information, for
// a store file found without a row. Answers {result, title}.

#include "pdfworker/WorkerJobs.h"

#include <QPdfDocument>

using namespace Qt::StringLiterals;

namespace PdfWorker {

QCborMap runTitle(const QCborMap& job, Reply&)
{
    return withBook(job, [](QPdfDocument& document, EncryptedPdfDevice&) -> QCborMap {
        const QString title = document.metaData(QPdfDocument::MetaDataField::Title).toString().simplified().left(500);
        return { { u"result"_s, u"ok"_s }, { u"title"_s, title } };
    });
}

} // namespace PdfWorker
