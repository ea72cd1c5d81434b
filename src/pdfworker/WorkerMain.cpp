#include "pdfworker/WorkerMain.h"

#include "pdfworker/WorkerJobs.h"
#include "pdfworker/WorkerProtocol.h"
#include "platform/HelperProcess.h"

#include <QFile>
#include <QLoggingCategory>

#include <cstdlib>
#include <cstring>
#include <new>

using namespace Qt::StringLiterals;

namespace PdfWorker {
namespace {

    // A job frame is a path and a password, or one grey camera frame
    // (the program sends one of at most 1920 x 1080): anything bigger is not one.
    constexpr qint64 MaxJobFrame = 4 * 1024 * 1024;

    [[noreturn]] void outOfMemory()
    {
        std::_Exit(ExitMemory);
    }

    quint32 littleEndian(const QByteArray& bytes)
    {
        quint32 value = 0;
        for (int i = 0; i < 4; ++i)
            value |= quint32(quint8(bytes[i])) << (8 * i);
        return value;
    }

    class PipeReply : public Reply
    {
    public:
        explicit PipeReply(QFile& out)
            : m_out(out)
        { }

        void progress(qint64 done, qint64 total) override
        {
            send(WorkerProtocol::FrameType::Progress, { { u"done"_s, done }, { u"total"_s, total } });
        }
        void page(const QCborMap& body) override { send(WorkerProtocol::FrameType::Page, body); }

        void send(WorkerProtocol::FrameType type, const QCborMap& body)
        {
            const QByteArray frame = WorkerProtocol::encode(type, body);
            if (m_out.write(frame) != frame.size() || !m_out.flush())
                std::_Exit(ExitCannotWrite);
        }

    private:
        QFile& m_out;
    };

} // namespace

bool isWorkerCall(int argc, char* argv[])
{
    return argc >= 2 && std::strcmp(argv[1], option) == 0;
}

int runWorker(int argc, char* argv[])
{
    // Never outlives the program that asked.
    HelperProcess::endWithParent(0);
    HelperProcess::exitOnFatalSignal(ExitCrash);
    std::set_new_handler(&outOfMemory);
    const qint64 addressSpace = argc >= 3 ? QByteArray(argv[2]).toLongLong() : 0;
    if (addressSpace > 0)
        HelperProcess::limitAddressSpace(addressSpace);
    if (argc < 4 || std::strcmp(argv[3], "normal") != 0)
        HelperProcess::runAtIdlePriority();

    // A hostile book can make the engine complain once per object: not into the program's log.
    QLoggingCategory::setFilterRules(u"qt.pdf.*=false"_s);

    const int answers = HelperProcess::takeStandardOutput();
    QFile out;
    QFile in;
    if (answers < 0 || !out.open(answers, QIODevice::WriteOnly | QIODevice::Unbuffered, QFile::AutoCloseHandle)
        || !in.open(0, QIODevice::ReadOnly | QIODevice::Unbuffered))
        return ExitBadInput;
    PipeReply reply(out);

    for (;;) {
        const QByteArray header = in.read(4);
        if (header.isEmpty())
            return ExitDone;
        const quint32 length = header.size() == 4 ? littleEndian(header) : 0;
        if (length < 4 || length > MaxJobFrame)
            return ExitBadInput;
        WorkerProtocol::FrameReader reader(MaxJobFrame);
        reader.append(header + in.read(length));
        const std::optional<WorkerProtocol::Frame> frame = reader.next();
        if (!frame || frame->type != WorkerProtocol::FrameType::Job)
            return ExitBadInput;
        const QString name = frame->body.value(u"job"_s).toString();
        const JobHandler* handler = nullptr;
        for (const JobHandler& known : jobTable())
            if (name == QLatin1String(known.name))
                handler = &known;
        if (!handler) {
            reply.send(WorkerProtocol::FrameType::Failed, { { u"reason"_s, u"unknown job"_s } });
            continue;
        }
        // A backstop for a worker whose program stopped watching it.
        HelperProcess::endWithParent(int(frame->body.value(u"backstopSeconds"_s).toInteger(3600)));
        try {
            const QCborMap done = handler->run(frame->body, reply);
            reply.send(WorkerProtocol::FrameType::Done, done);
        } catch (const JobFailure& failure) {
            reply.send(WorkerProtocol::FrameType::Failed, { { u"reason"_s, QString::fromUtf8(failure.what()) } });
        } catch (const std::bad_alloc&) {
            return ExitMemory;
        }
    }
}

} // namespace PdfWorker
