#pragma once

// The jobs the PDF worker knows, one handler file each (BarcodeJob.cpp,
// CheckJob.cpp, OutlineJob.cpp, TextJob.cpp, TitleJob.cpp, FindJob.cpp), listed
// in jobTable(). A new kind
// of job is one more handler file and one more line there.
//
// A handler gets the job frame's map and answers through its Reply; what it
// returns is the body of the Done frame. It may throw JobFailure for a job it
// cannot do (a store file that cannot be read); anything the PDF engine does
// wrong beyond that (a crash, memory, time) ends the worker and is judged by
// the program that started it.

#include <QCborMap>
#include <QString>

#include <functional>
#include <stdexcept>

class EncryptedPdfDevice;
class QIODevice;
class QPdfDocument;

namespace PdfWorker {

class Reply
{
public:
    virtual ~Reply() = default;
    virtual void progress(qint64 done, qint64 total) = 0;
    virtual void page(const QCborMap& body) = 0;
};

struct JobFailure : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

struct JobHandler
{
    const char* name;
    QCborMap (*run)(const QCborMap& job, Reply& reply);
};

// Every handler; the job frame's "job" names one of them.
const QList<JobHandler>& jobTable();

QCborMap runBarcode(const QCborMap& job, Reply& reply);
QCborMap runCheck(const QCborMap& job, Reply& reply);
QCborMap runOutline(const QCborMap& job, Reply& reply);
QCborMap runText(const QCborMap& job, Reply& reply);
QCborMap runTitle(const QCborMap& job, Reply& reply);
QCborMap runFind(const QCborMap& job, Reply& reply);
// Answers from the network (the book look-ups): JSON read, covers decoded.
QCborMap runJson(const QCborMap& job, Reply& reply);
QCborMap runCover(const QCborMap& job, Reply& reply);

// Shared by the handlers that use the viewer's PDF engine.
enum class Opened
{
    Ready,
    NeedsPassword,
    Damaged,
};
// Loads document from device (kept open by the caller) with the password.
Opened openDocument(QPdfDocument& document, QIODevice& device, const QString& password);
// The "result" word of a Done frame for a document that did not open.
QString resultWord(Opened opened);
// Opens the job's store file ("path") through the decrypting device and loads
// it with the job's "password", then answers what `work` makes of it; a
// document that does not open answers {result: password | damaged}. A store
// file that cannot be read, at any point, is a JobFailure.
using BookWork = std::function<QCborMap(QPdfDocument& document, EncryptedPdfDevice& book)>;
QCborMap withBook(const QCborMap& job, const BookWork& work);

} // namespace PdfWorker
