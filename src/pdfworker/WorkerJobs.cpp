#include "pdfworker/WorkerJobs.h"

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

} // namespace PdfWorker
