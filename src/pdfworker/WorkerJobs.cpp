#include "pdfworker/WorkerJobs.h"

#include "Exception.h"
#include "format/EncryptedPdfDevice.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPdfDocument>

using namespace Qt::StringLiterals;

namespace PdfWorker {

const QList<JobHandler>& jobTable()
{
    static const QList<JobHandler> table {
        { "barcode", &runBarcode },
        { "check", &runCheck },
        { "outline", &runOutline },
        { "text", &runText },
        { "title", &runTitle },
        { "find", &runFind },
        { "json", &runJson },
        { "cover", &runCover },
    };
    return table;
}

Opened openDocument(QPdfDocument& document, QIODevice& device, const QString& password)
{
    document.setPassword(password);
    document.load(&device);
    while (document.status() == QPdfDocument::Status::Loading)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (document.status() == QPdfDocument::Status::Ready)
        return Opened::Ready;
    return document.error() == QPdfDocument::Error::IncorrectPassword ? Opened::NeedsPassword : Opened::Damaged;
}

QString resultWord(Opened opened)
{
    switch (opened) {
    case Opened::Ready:
        return u"ok"_s;
    case Opened::NeedsPassword:
        return u"password"_s;
    case Opened::Damaged:
        break;
    }
    return u"damaged"_s;
}

QCborMap withBook(const QCborMap& job, const BookWork& work)
{
    try {
        EncryptedPdfDevice book(job.value(u"path"_s).toString());
        QPdfDocument document;
        const Opened opened = openDocument(document, book, job.value(u"password"_s).toString());
        if (opened != Opened::Ready)
            return { { u"result"_s, resultWord(opened) } };
        QCborMap answer = work(document, book);
        document.close();
        return answer;
    } catch (const Exception& error) {
        throw JobFailure(error.what());
    }
}

} // namespace PdfWorker
