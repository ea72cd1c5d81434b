// HelperProcess::Child: portable (QProcess), apart from the POSIX calls of HelperProcess.cpp.

#include "platform/HelperProcess.h"

#include <QProcess>

namespace HelperProcess {

Child::Child() = default;

Child::~Child()
{
    kill();
}

bool Child::start(const QString& program, const QStringList& arguments, int timeoutMs)
{
    kill();
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(program);
    m_process->setArguments(arguments);
    // Its warnings go where ours go; its standard output is the caller's to read.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start();
    if (!m_process->waitForStarted(timeoutMs)) {
        m_error = m_process->errorString();
        m_process.reset();
        return false;
    }
    m_error.clear();
    return true;
}

bool Child::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

qint64 Child::pid() const
{
    return m_process ? m_process->processId() : 0;
}

void Child::write(const QByteArray& bytes)
{
    if (m_process)
        m_process->write(bytes);
}

QByteArray Child::read(int waitMs, bool* ended)
{
    if (!m_process) {
        if (ended)
            *ended = true;
        return {};
    }
    const bool ready = m_process->waitForReadyRead(waitMs);
    const QByteArray bytes = m_process->readAllStandardOutput();
    if (ended)
        *ended = !ready && bytes.isEmpty() && m_process->state() == QProcess::NotRunning;
    return bytes;
}

bool Child::killedBySignal() const
{
    return m_process && m_process->exitStatus() == QProcess::CrashExit;
}

int Child::exitCode() const
{
    return m_process ? m_process->exitCode() : -1;
}

void Child::kill()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    m_process.reset();
}

} // namespace HelperProcess
