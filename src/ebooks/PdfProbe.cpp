#include "ebooks/PdfProbe.h"

#include "platform/HelperProcess.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QPdfDocument>
#include <QProcess>

#include <atomic>
#include <cstring>
#include <mutex>

using namespace Qt::StringLiterals;

namespace PdfProbe {
namespace {

    // Exit codes of the helper besides 0 (loads); anything else, a crash
    // included, counts as a document the engine cannot survive.
    constexpr int WrongPasswordCode = 20;
    constexpr int DamagedCode = 21;
    constexpr int BadInputCode = 22;

    constexpr qint64 ChunkBytes = 256 * 1024;
    constexpr qint64 PipeBacklog = 4 * 1024 * 1024;
    constexpr quint32 MaxPasswordBytes = 64 * 1024;

    std::atomic<int> g_timeLimitMs { 20000 };

    std::mutex g_programMutex;
    QString g_program;
    QStringList g_arguments;

    // Ends the helper on every way out, unless it finished.
    struct HelperGuard
    {
        QProcess& helper;
        ~HelperGuard()
        {
            if (helper.state() != QProcess::NotRunning) {
                helper.kill();
                helper.waitForFinished(5000);
            }
        }
    };

} // namespace

int defaultTimeLimitMs()
{
    return g_timeLimitMs.load();
}

void setDefaultTimeLimitMs(int ms)
{
    g_timeLimitMs.store(ms);
}

void setProgram(const QString& path, const QStringList& arguments)
{
    const std::lock_guard lock(g_programMutex);
    g_program = path;
    g_arguments = arguments;
}

QString program()
{
    const std::lock_guard lock(g_programMutex);
    return g_program.isEmpty() ? QCoreApplication::applicationFilePath() : g_program;
}

Result probe(QIODevice& source, const QString& password, int timeLimitMs)
{
    QStringList arguments;
    {
        const std::lock_guard lock(g_programMutex);
        arguments = g_arguments;
    }
    arguments << QString::fromLatin1(option);

    QProcess helper;
    helper.setProgram(program());
    helper.setArguments(arguments);
    // The helper writes nothing but warnings; they go where ours go.
    helper.setProcessChannelMode(QProcess::ForwardedChannels);
    helper.start();
    const HelperGuard guard { helper };
    if (!helper.waitForStarted(10000)) {
        qWarning("PDF check: cannot start %s: %s", qPrintable(helper.program()), qPrintable(helper.errorString()));
        return Result::NotChecked;
    }

    const QByteArray secret = password.toUtf8();
    QByteArray header(4, '\0');
    const auto length = quint32(secret.size());
    for (int i = 0; i < 4; ++i)
        header[i] = char((length >> (8 * i)) & 0xff);
    helper.write(header + secret);

    // The document a chunk at a time; a helper that stops reading (or is gone)
    // ends the feeding, and its exit tells the rest.
    bool feeding = true;
    while (feeding) {
        const QByteArray chunk = source.read(ChunkBytes);
        if (chunk.isEmpty())
            break;
        helper.write(chunk);
        while (feeding && helper.bytesToWrite() > PipeBacklog)
            feeding = helper.waitForBytesWritten(timeLimitMs);
    }
    while (feeding && helper.bytesToWrite() > 0)
        feeding = helper.waitForBytesWritten(timeLimitMs);
    helper.closeWriteChannel();

    if (!helper.waitForFinished(timeLimitMs)) {
        qWarning("PDF check: no answer within %d ms; the document is set aside", timeLimitMs);
        return Result::BadStructure;
    }
    if (helper.exitStatus() == QProcess::CrashExit)
        return Result::BadStructure;
    switch (helper.exitCode()) {
    case 0:
        return Result::Ok;
    case WrongPasswordCode:
        return Result::WrongPassword;
    case DamagedCode:
        return Result::Damaged;
    case BadInputCode:
        return Result::NotChecked;
    default:
        return Result::BadStructure;
    }
}

bool isHelperCall(int argc, char* argv[])
{
    return argc >= 2 && std::strcmp(argv[1], option) == 0;
}

int runHelper()
{
    // Never outlives the program that asked, nor loops for ever when it is gone.
    HelperProcess::endWithParent(600);

    QFile in;
    if (!in.open(0, QIODevice::ReadOnly))
        return BadInputCode;
    const QByteArray header = in.read(4);
    if (header.size() != 4)
        return BadInputCode;
    quint32 length = 0;
    for (int i = 0; i < 4; ++i)
        length |= quint32(quint8(header[i])) << (8 * i);
    if (length > MaxPasswordBytes)
        return BadInputCode;
    const QByteArray secret = in.read(length);
    if (quint32(secret.size()) != length)
        return BadInputCode;
    QByteArray bytes = in.readAll();

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.setPassword(QString::fromUtf8(secret));
    document.load(&buffer);
    while (document.status() == QPdfDocument::Status::Loading)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (document.status() != QPdfDocument::Status::Ready)
        return document.error() == QPdfDocument::Error::IncorrectPassword ? WrongPasswordCode : DamagedCode;
    // What the viewer asks first: the page count and every page's size.
    const int pages = document.pageCount();
    for (int page = 0; page < pages; ++page)
        (void)document.pagePointSize(page);
    return 0;
}

} // namespace PdfProbe
