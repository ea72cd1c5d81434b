// "json": an answer from the network read as JSON, so that a parser fault
// costs the worker, not the window. Answers {result: ok|malformed, value}:
// the document as CBOR, which the program reads back without parsing text.

#include "pdfworker/WorkerJobs.h"

#include <QCborValue>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

using namespace Qt::StringLiterals;

namespace PdfWorker {

QCborMap runJson(const QCborMap& job, Reply&)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(job.value(u"bytes"_s).toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || document.isNull())
        return { { u"result"_s, u"malformed"_s } };
    const QCborValue value = document.isObject() ? QCborValue::fromJsonValue(QJsonValue(document.object()))
                                                 : QCborValue::fromJsonValue(QJsonValue(document.array()));
    return { { u"result"_s, u"ok"_s }, { u"value"_s, value } };
}

} // namespace PdfWorker
