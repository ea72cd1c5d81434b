#pragma once

// A background task whose work is done by a child process (see
// tasks/BackgroundTask.h): started, fed and read through QProcess's signals,
// never waited for. Its standard input gets the bytes given, then the source
// device a chunk at a time as the pipe drains (the steps count the source's
// bytes); its standard output is kept; its standard error goes where ours goes.
//
// It ends Succeeded when the process exits by itself, whatever its exit code
// (exitCode() says what it meant); Failed when it cannot start, crashes
// (crashed()) or outlives its time limit (timedOut(), then it is killed);
// Cancelled when cancel() killed it. Destroying a running task kills the process.

#include "tasks/BackgroundTask.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>

class QIODevice;
class QTimer;

class ProcessTask : public BackgroundTask
{
    Q_OBJECT
public:
    ProcessTask(QString program, QStringList arguments, QObject* parent = nullptr);
    ~ProcessTask() override;

    // What goes first to its standard input.
    void setInput(const QByteArray& bytes) { m_input = bytes; }
    // Fed after the input, until its end; then standard input is closed. Not owned; must outlive the task's run.
    void setSource(QIODevice* source) { m_source = source; }
    // Killed and Failed after this long (0: no limit).
    void setTimeLimitMs(int ms) { m_timeLimitMs = ms; }

    void start() override;
    void cancel() override;

    QByteArray output() const { return m_output; }
    int exitCode() const { return m_exitCode; }
    bool crashed() const { return m_crashed; }
    bool timedOut() const { return m_timedOut; }
    bool startFailed() const { return m_startFailed; }
    QProcess* process() const { return m_process; }

private:
    void feed();
    void ended(int exitCode, QProcess::ExitStatus status);
    void errorOccurred(QProcess::ProcessError error);
    void kill();

    QString m_program;
    QStringList m_arguments;
    QByteArray m_input;
    QIODevice* m_source = nullptr;
    int m_timeLimitMs = 0;
    QProcess* m_process;
    QTimer* m_limit;
    QByteArray m_output;
    qint64 m_fed = 0;
    bool m_inputClosed = false;
    int m_exitCode = -1;
    bool m_crashed = false;
    bool m_timedOut = false;
    bool m_startFailed = false;
};
