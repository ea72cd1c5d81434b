#include "lookup/AnswerReader.h"

#include "pdfworker/PdfWorkerClient.h"

#include <QCborValue>

using namespace Qt::StringLiterals;

namespace Lookup {

AnswerReader::AnswerReader(QObject* parent)
    : QObject(parent)
{ }

AnswerReader::~AnswerReader()
{
    m_stopping = true; // a job in the worker ends within its wait slice
    m_lane.stop([this] { m_client.reset(); });
}

void AnswerReader::onLane(std::function<void()> work)
{
    m_lane.post([this, work = std::move(work)] {
        if (!m_stopping)
            work();
    });
}

WorkerResult AnswerReader::run(const QCborMap& request)
{
    if (!m_client) {
        WorkerSettings settings = WorkerSettings::standard();
        settings.idlePriority = false; // someone is waiting for the book
        m_client = std::make_unique<PdfWorkerClient>(settings);
    }
    WorkerJob job;
    job.request = request;
    job.stepMs = 15000;
    job.jobMs = 15000;
    job.replyBytes = qint64(64) * 1024 * 1024;
    return m_client->run(job, {}, &m_stopping);
}

void AnswerReader::readAnswer(const BookSource* source, const QByteArray& body, const QString& isbn13, AnswerDone done)
{
    onLane([this, source, body, isbn13, done = std::move(done)] {
        const WorkerResult result = run({ { u"job"_s, u"json"_s }, { u"bytes"_s, body } });
        SourceAnswer answer { SourceAnswer::Kind::Malformed, {} };
        QString failure;
        if (result.result() == u"ok"_s)
            answer = source->parse(result.body.value(u"value"_s).toJsonValue(), isbn13);
        else if (result.end != WorkerEnd::Done)
            failure = u"%1 的回答无法读取（%2）"_s.arg(source->name(), result.limitName());
        if (answer.kind == SourceAnswer::Kind::Malformed && failure.isEmpty())
            failure = u"%1 的回答无法识别"_s.arg(source->name());
        QMetaObject::invokeMethod(this, [done, answer, failure] { done(answer, failure); }, Qt::QueuedConnection);
    });
}

void AnswerReader::readCover(const QByteArray& body, QSize preview, CoverDone done)
{
    onLane([this, body, preview, done = std::move(done)] {
        const WorkerResult result = run({ { u"job"_s, u"cover"_s }, { u"bytes"_s, body },
            { u"previewWidth"_s, preview.width() }, { u"previewHeight"_s, preview.height() } });
        QByteArray jpeg;
        QImage image;
        if (result.result() == u"ok"_s) {
            jpeg = result.body.value(u"jpeg"_s).toByteArray();
            // The preview's pixels, taken only when they are what they claim.
            const QCborMap pixels = result.body.value(u"preview"_s).toMap();
            const qint64 width = pixels.value(u"width"_s).toInteger();
            const qint64 height = pixels.value(u"height"_s).toInteger();
            const QByteArray bytes = pixels.value(u"pixels"_s).toByteArray();
            if (width > 0 && height > 0 && width <= 1024 && height <= 1024 && bytes.size() == width * height * 4) {
                image = QImage(int(width), int(height), QImage::Format_RGB32);
                for (int y = 0; y < image.height(); ++y)
                    std::memcpy(image.scanLine(y), bytes.constData() + qsizetype(y) * width * 4, std::size_t(width) * 4);
            }
            if (!jpeg.startsWith("\xFF\xD8\xFF") || image.isNull()) {
                jpeg.clear();
                image = QImage();
            }
        }
        QMetaObject::invokeMethod(this, [done, jpeg, image] { done(jpeg, image); }, Qt::QueuedConnection);
    });
}

} // namespace Lookup
