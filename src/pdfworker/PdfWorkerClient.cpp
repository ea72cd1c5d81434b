#include "pdfworker/PdfWorkerClient.h"

#include "pdfworker/WorkerMain.h"
#include "platform/HelperProcess.h"

#include <QCborArray>
#include <QCoreApplication>
#include <QElapsedTimer>

using namespace Qt::StringLiterals;

namespace {

// A page's text is cut at 2 M characters by the worker: a frame is never near this.
constexpr qint64 MaxFrameBytes = 32 * 1024 * 1024;

// Work a worker really did: at least half the time it waited had the processor.
bool workedThrough(qint64 cpuMs, qint64 waitedMs)
{
    return cpuMs >= 0 && cpuMs * 2 >= waitedMs;
}

WorkerJob job(const char* name, const QString& storeFile, const QString& password, int stepMs, int jobMs)
{
    WorkerJob made;
    made.request = { { u"job"_s, QString::fromLatin1(name) }, { u"path"_s, storeFile }, { u"password"_s, password } };
    made.stepMs = stepMs;
    made.jobMs = jobMs;
    made.request.insert(u"backstopSeconds"_s, jobMs / 1000 + 60);
    return made;
}

} // namespace

WorkerSettings WorkerSettings::standard()
{
    WorkerSettings settings;
    settings.program = qEnvironmentVariable("QINGHE_PDF_WORKER");
    return settings;
}

// A check sends progress every thousand pages; a book's outline and title come at once.
WorkerJob WorkerJob::check(const QString& storeFile, const QString& password)
{
    return job("check", storeFile, password, 20000, 300000);
}

WorkerJob WorkerJob::outline(const QString& storeFile, const QString& password)
{
    return job("outline", storeFile, password, 10000, 10000);
}

WorkerJob WorkerJob::text(const QString& storeFile, const QString& password)
{
    return job("text", storeFile, password, 20000, 30 * 60 * 1000);
}

WorkerJob WorkerJob::title(const QString& storeFile)
{
    return job("title", storeFile, QString(), 10000, 10000);
}

WorkerJob WorkerJob::find(const QString& storeFile, const QString& password, const QStringList& forms, int page)
{
    WorkerJob made = job("find", storeFile, password, 20000, 30 * 60 * 1000);
    made.request.insert(u"texts"_s, QCborArray::fromStringList(forms));
    made.request.insert(u"page"_s, page);
    return made;
}

QString WorkerResult::result() const
{
    return end == WorkerEnd::Done ? body.value(u"result"_s).toString() : QString();
}

bool WorkerResult::engineFault() const
{
    switch (end) {
    case WorkerEnd::TimeLimit:
    case WorkerEnd::MemoryLimit:
    case WorkerEnd::SizeLimit:
    case WorkerEnd::Crash:
    case WorkerEnd::BadAnswer:
        return true;
    default:
        return false;
    }
}

QString WorkerResult::limitName() const
{
    switch (end) {
    case WorkerEnd::Done:
        return u"done"_s;
    case WorkerEnd::Failed:
        return u"failed"_s;
    case WorkerEnd::Cancelled:
        return u"cancelled"_s;
    case WorkerEnd::CannotStart:
        return u"cannot start"_s;
    case WorkerEnd::PasswordTooLong:
        return u"password too long"_s;
    case WorkerEnd::KilledOutside:
        return u"killed"_s;
    case WorkerEnd::Busy:
        return u"busy"_s;
    case WorkerEnd::TimeLimit:
        return u"time"_s;
    case WorkerEnd::MemoryLimit:
        return u"memory"_s;
    case WorkerEnd::SizeLimit:
        return u"size"_s;
    case WorkerEnd::Crash:
        return u"crash"_s;
    case WorkerEnd::BadAnswer:
        return u"bad answer"_s;
    }
    return QString();
}

PdfWorkerClient::PdfWorkerClient(WorkerSettings settings)
    : m_settings(std::move(settings))
{ }

PdfWorkerClient::~PdfWorkerClient()
{
    stop();
}

void PdfWorkerClient::stop()
{
    if (m_process)
        m_process->kill();
    m_process.reset();
    m_pid = 0;
}

bool PdfWorkerClient::ensureStarted()
{
    if (m_process && m_process->isRunning())
        return true;
    stop();
    m_process = std::make_unique<HelperProcess::Child>();
    const QString program = m_settings.program.isEmpty() ? QCoreApplication::applicationFilePath() : m_settings.program;
    // Its warnings go where ours go; its standard output carries only frames.
    if (!m_process->start(program,
            QStringList(m_settings.arguments) << QString::fromLatin1(PdfWorker::option)
                                              << QString::number(m_settings.addressSpaceBytes)
                                              << (m_settings.idlePriority ? u"idle"_s : u"normal"_s),
            10000)) {
        qWarning("PDF worker: cannot start %s: %s", qPrintable(program), qPrintable(m_process->errorString()));
        m_process.reset();
        return false;
    }
    m_pid = m_process->pid();
    return true;
}

WorkerResult PdfWorkerClient::killWith(WorkerEnd end)
{
    stop();
    return { end, {} };
}

WorkerResult PdfWorkerClient::judgeExit()
{
    const bool signalled = m_process->killedBySignal();
    const int code = m_process->exitCode();
    m_process.reset();
    m_pid = 0;
    // The worker turns the engine's own fatal signals into an exit code; a
    // signal reaching the program from outside kills it unconverted.
    if (signalled)
        return { WorkerEnd::KilledOutside, {} };
    switch (code) {
    case PdfWorker::ExitMemory:
        return { WorkerEnd::MemoryLimit, {} };
    case PdfWorker::ExitCrash:
        return { WorkerEnd::Crash, {} };
    default:
        // Not the worker's own ending (a program that is not the worker, a
        // broken install): nothing is known of the book.
        return { WorkerEnd::CannotStart, {} };
    }
}

WorkerResult PdfWorkerClient::run(const WorkerJob& job, const OnFrame& onFrame, const Cancelled& cancelled)
{
    const auto cancel = [&cancelled] { return cancelled && cancelled(); };
    const int stepMs = m_settings.stepLimitMs > 0 ? m_settings.stepLimitMs : job.stepMs;
    if (job.request.value(u"password"_s).toString().toUtf8().size() > MaxPasswordBytes)
        return { WorkerEnd::PasswordTooLong, {} };
    if (!ensureStarted())
        return { WorkerEnd::CannotStart, {} };
    m_process->write(WorkerProtocol::encode(WorkerProtocol::FrameType::Job, job.request));

    WorkerProtocol::FrameReader reader(MaxFrameBytes);
    qint64 received = 0;
    QElapsedTimer jobClock;
    jobClock.start();
    QElapsedTimer stepClock;
    stepClock.start();
    const qint64 pid = m_pid.load();
    const qint64 cpuAtStart = HelperProcess::cpuTimeMs(pid);
    qint64 cpuAtStep = cpuAtStart;

    for (;;) {
        if (cancel())
            return killWith(WorkerEnd::Cancelled);
        bool ended = false;
        const QByteArray bytes = m_process->read(WaitSliceMs, &ended);
        if (!bytes.isEmpty()) {
            received += bytes.size();
            if (received > job.replyBytes)
                return killWith(WorkerEnd::SizeLimit);
            reader.append(bytes);
            while (const std::optional<WorkerProtocol::Frame> frame = reader.next()) {
                stepClock.restart();
                cpuAtStep = HelperProcess::cpuTimeMs(pid);
                switch (frame->type) {
                case WorkerProtocol::FrameType::Done:
                    return { WorkerEnd::Done, frame->body };
                case WorkerProtocol::FrameType::Failed:
                    return { WorkerEnd::Failed, frame->body };
                case WorkerProtocol::FrameType::Progress:
                case WorkerProtocol::FrameType::Page:
                    if (onFrame)
                        onFrame(*frame);
                    break;
                case WorkerProtocol::FrameType::Job:
                    return killWith(WorkerEnd::BadAnswer);
                }
                if (cancel())
                    return killWith(WorkerEnd::Cancelled);
            }
            if (reader.broken())
                return killWith(WorkerEnd::BadAnswer);
        }
        if (ended)
            return judgeExit();
        // Out of time: an overrun only when the worker had the processor.
        const qint64 stepWaited = stepClock.elapsed();
        const qint64 jobWaited = jobClock.elapsed();
        if (stepWaited > stepMs || jobWaited > job.jobMs) {
            const qint64 cpuNow = HelperProcess::cpuTimeMs(pid);
            const bool worked = stepWaited > stepMs ? workedThrough(cpuNow - cpuAtStep, stepWaited)
                                                        : workedThrough(cpuNow - cpuAtStart, jobWaited);
            return killWith(worked ? WorkerEnd::TimeLimit : WorkerEnd::Busy);
        }
    }
}
