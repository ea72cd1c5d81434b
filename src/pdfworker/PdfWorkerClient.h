#pragma once

// The program's side of the PDF worker (WorkerMain.h): starts it when a job
// comes, sends the job, hands every Progress and Page frame to the caller as it
// arrives and returns how the job ended. The worker stays for the next job;
// one that overran a limit, was cancelled or died is gone and the next job
// starts a new one.
//
// Blocking: used from one thread that may wait (a builder's, a background
// task's), never the window's. A cancel asked from any thread (the function
// given turns true) ends the worker within WaitSliceMs.
//
//     PdfWorkerClient worker(settings);
//     const WorkerResult result = worker.run(WorkerJob::check(path, password), onFrame, [&] { return stop.load(); });

#include "pdfworker/WorkerProtocol.h"

#include <QCborMap>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace HelperProcess {
class Child;
}

// How the worker is started: the program (empty: this executable) and what it
// lives under.
struct WorkerSettings
{
    QString program;
    QStringList arguments; // before the worker option
    qint64 addressSpaceBytes = qint64(1536) * 1024 * 1024;
    bool idlePriority = true;
    int stepLimitMs = 0; // in place of every job's own step limit when set (tests)

    // This executable, or the one named by QINGHE_PDF_WORKER (test programs,
    // which are not the program, point it at the built program).
    static WorkerSettings standard();
};

// One job and the limits it runs under.
struct WorkerJob
{
    QCborMap request; // {job, path, password, ...}
    int stepMs = 15000; // the longest wait for the worker's next frame
    int jobMs = 120000; // the whole job
    qint64 replyBytes = qint64(256) * 1024 * 1024; // everything the worker sends for this job

    static WorkerJob check(const QString& storeFile, const QString& password);
    static WorkerJob outline(const QString& storeFile, const QString& password);
    static WorkerJob text(const QString& storeFile, const QString& password);
    static WorkerJob title(const QString& storeFile);
    // The places of the first of `forms` found on `page`, every page from there round.
    static WorkerJob find(const QString& storeFile, const QString& password, const QStringList& forms, int page);
};

enum class WorkerEnd
{
    Done, // body holds the worker's answer
    Failed, // the worker could not do it (body.reason): an unreadable store file
    Cancelled,
    CannotStart,
    PasswordTooLong, // refused before it reached the worker
    KilledOutside, // ended by a signal nobody here sent (the system out of memory, a person)
    Busy, // out of time without having had the processor: the machine is busy, or the worker stopped
    TimeLimit, // out of time while working all along
    MemoryLimit, // an allocation failed under the address-space limit
    SizeLimit, // sent more than the job allows
    Crash, // a fatal signal inside the engine
    BadAnswer, // frames that break the protocol, or an exit in the middle of a job
};

struct WorkerResult
{
    WorkerEnd end = WorkerEnd::CannotStart;
    QCborMap body;

    // The Done frame's "result" (ok, password, damaged), empty otherwise.
    QString result() const;
    // Whether the document made the engine overrun a limit or fall over: the
    // failures that count against a book when they repeat.
    bool engineFault() const;
    // The name of the limit or the way it ended, for verdicts and messages.
    QString limitName() const;
};

class PdfWorkerClient
{
public:
    // The longest a cancel waits to be seen.
    static constexpr int WaitSliceMs = 20;
    // A password longer than this is never sent (no PDF password is this long).
    static constexpr qsizetype MaxPasswordBytes = 4096;

    explicit PdfWorkerClient(WorkerSettings settings = WorkerSettings::standard());
    ~PdfWorkerClient(); // ends the worker at once

    using OnFrame = std::function<void(const WorkerProtocol::Frame& frame)>;
    using Cancelled = std::function<bool()>;
    WorkerResult run(const WorkerJob& job, const OnFrame& onFrame = {}, const Cancelled& cancelled = {});
    // The same with a flag set from any thread (null: never cancelled).
    WorkerResult run(const WorkerJob& job, const OnFrame& onFrame, const std::atomic<bool>* cancel)
    {
        return run(job, onFrame, cancel ? Cancelled([cancel] { return cancel->load(std::memory_order_relaxed); }) : Cancelled());
    }

    // Ends the worker now (same thread).
    void stop();
    // The running worker's process id, 0 when there is none. Any thread.
    qint64 workerPid() const { return m_pid.load(); }

private:
    bool ensureStarted();
    WorkerResult judgeExit();
    WorkerResult killWith(WorkerEnd end);

    WorkerSettings m_settings;
    std::unique_ptr<HelperProcess::Child> m_process;
    std::atomic<qint64> m_pid { 0 };
};
