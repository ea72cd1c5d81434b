#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>

class QProcess;

// What a helper process started by this program does for itself, and what the
// program that started it learns about it.
namespace HelperProcess {

// It is killed when the process that started it ends, and in any case after
// `seconds` (a backstop for a helper caught in a loop).
void endWithParent(int seconds);

// Caps the address space of this process: an allocation past it fails (and the
// C++ allocator throws std::bad_alloc) instead of taking the machine's memory.
// False when the system refused.
bool limitAddressSpace(qint64 bytes);

// Runs this process only when the machine has nothing else to do (SCHED_IDLE
// where the system has it, and the lowest nice value in any case).
void runAtIdlePriority();

// Keeps the standard output for the helper's own answers: returns a file
// descriptor of it and points descriptor 1 at the standard error, so that a
// library printing to stdout cannot break the answers. -1 on failure.
int takeStandardOutput();

// Ends this process at once with `exitCode` when it gets a fatal signal
// (segmentation fault, abort, bus error, illegal instruction, trap).
void exitOnFatalSignal(int exitCode);

// The CPU time (user and system, milliseconds) a running child has used so
// far; -1 when it cannot be read.
qint64 cpuTimeMs(qint64 pid);

// A helper process driven from a thread that may wait for it (a background
// task's, never the window's): started, written to, read with a time limit on
// each wait, killed. Its standard error goes where ours goes. Destroying it
// kills the process.
class Child
{
public:
    Child();
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // False when it did not start within timeoutMs (errorString() says why).
    bool start(const QString& program, const QStringList& arguments, int timeoutMs);
    bool isRunning() const;
    qint64 pid() const;
    QString errorString() const { return m_error; }

    void write(const QByteArray& bytes);
    // What its standard output holds, waiting at most waitMs for something;
    // *ended (when given) is set once it has exited and nothing is left.
    QByteArray read(int waitMs, bool* ended = nullptr);
    // After it ended: whether a signal ended it, and its exit code.
    bool killedBySignal() const;
    int exitCode() const;
    // Kills it and waits for it to go.
    void kill();

private:
    std::unique_ptr<QProcess> m_process;
    QString m_error;
};

} // namespace HelperProcess
