#pragma once

// Reads what the network brought, where a fault cannot take the window down:
// the sources' answers are read as JSON and the covers decoded by the PDF
// worker (its "json" and "cover" jobs), driven from a thread of this reader's
// own (a lane of the tasks room); only the worker's checked results come
// back, on the caller's thread.
// The worker stays for the next answer, so a stack of books reuses it.

#include "lookup/BookSource.h"

#include "tasks/TaskLane.h"

#include <QImage>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class PdfWorkerClient;
class QCborMap;
struct WorkerResult;

namespace Lookup {

class AnswerReader : public QObject
{
public:
    explicit AnswerReader(QObject* parent = nullptr);
    ~AnswerReader() override; // stops at once; nothing more is called back

    // done(answer, failure): failure set when the worker could not read it.
    using AnswerDone = std::function<void(const SourceAnswer& answer, const QString& failure)>;
    void readAnswer(const BookSource* source, const QByteArray& body, const QString& isbn13, AnswerDone done);
    // done(jpeg, preview): empty when the picture is refused.
    using CoverDone = std::function<void(const QByteArray& jpeg, const QImage& preview)>;
    void readCover(const QByteArray& body, QSize preview, CoverDone done);

private:
    void onLane(std::function<void()> work);
    WorkerResult run(const QCborMap& request); // on the lane only

    std::unique_ptr<PdfWorkerClient> m_client; // made, used and dropped on the lane only
    std::atomic<bool> m_stopping { false };
    Tasks::TaskLane m_lane { QStringLiteral("book answers") };
};

} // namespace Lookup
