#include "tasks/ProcessTask.h"

#include <QIODevice>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 ChunkBytes = 256 * 1024;
constexpr qint64 PipeBacklog = 4 * 1024 * 1024;

} // namespace

ProcessTask::ProcessTask(QString program, QStringList arguments, QObject* parent)
    : BackgroundTask(parent)
    , m_program(std::move(program))
    , m_arguments(std::move(arguments))
    , m_process(new QProcess(this))
    , m_limit(new QTimer(this))
{
    m_limit->setSingleShot(true);
    connect(m_limit, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        kill();
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this, [this] { m_output += m_process->readAllStandardOutput(); });
    connect(m_process, &QProcess::started, this, &ProcessTask::feed);
    connect(m_process, &QProcess::bytesWritten, this, &ProcessTask::feed);
    connect(m_process, &QProcess::finished, this, &ProcessTask::ended);
    connect(m_process, &QProcess::errorOccurred, this, &ProcessTask::errorOccurred);
}

ProcessTask::~ProcessTask()
{
    m_process->disconnect(this);
    kill();
}

void ProcessTask::start()
{
    if (state() != State::Ready)
        return;
    markRunning();
    m_process->setProgram(m_program);
    m_process->setArguments(m_arguments);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (m_timeLimitMs > 0)
        m_limit->start(m_timeLimitMs);
    m_process->start();
}

void ProcessTask::cancel()
{
    BackgroundTask::cancel();
    if (!isFinished())
        kill();
}

void ProcessTask::kill()
{
    if (m_process->state() != QProcess::NotRunning)
        m_process->kill(); // finished() follows
}

void ProcessTask::feed()
{
    if (m_inputClosed || m_process->state() != QProcess::Running)
        return;
    if (!m_input.isEmpty()) {
        m_process->write(m_input);
        m_input.clear();
    }
    while (m_source && m_process->bytesToWrite() < PipeBacklog) {
        const QByteArray chunk = m_source->read(ChunkBytes);
        if (chunk.isEmpty())
            break;
        m_process->write(chunk);
        m_fed += chunk.size();
        reportStep(m_fed, m_source->size(), QString());
    }
    if (!m_source || m_source->atEnd()) {
        m_inputClosed = true;
        m_process->closeWriteChannel(); // sent once what is buffered has gone
    }
}

void ProcessTask::ended(int exitCode, QProcess::ExitStatus status)
{
    m_limit->stop();
    m_output += m_process->readAllStandardOutput();
    if (cancelRequested())
        finish(State::Cancelled);
    else if (m_timedOut)
        finish(State::Failed, u"辅助进程在 %1 秒内没有结束"_s.arg(m_timeLimitMs / 1000.0));
    else if (status == QProcess::CrashExit) {
        m_crashed = true;
        finish(State::Failed, u"辅助进程意外退出"_s);
    } else {
        m_exitCode = exitCode;
        finish(State::Succeeded);
    }
}

void ProcessTask::errorOccurred(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart)
        return; // a crash or a pipe closed early: finished() tells
    m_limit->stop();
    m_startFailed = true;
    if (cancelRequested())
        finish(State::Cancelled);
    else
        finish(State::Failed, u"辅助进程无法启动：%1"_s.arg(m_process->errorString()));
}
