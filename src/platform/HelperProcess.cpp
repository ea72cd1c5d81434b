#include "platform/HelperProcess.h"

#include <QFile>
#include <QList>

#include <cerrno>

#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace HelperProcess {
namespace {

    volatile sig_atomic_t g_fatalExitCode = 1;

    extern "C" void exitAtOnce(int)
    {
        ::_exit(g_fatalExitCode);
    }

} // namespace

// POSIX; a Windows build puts the helper in a job object that ends with its parent.
void endWithParent(int seconds)
{
#ifdef __linux__
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (::getppid() == 1) // the parent is already gone
        ::_exit(1);
    ::alarm(unsigned(seconds));
}

bool limitAddressSpace(qint64 bytes)
{
    struct rlimit limit {};
    limit.rlim_cur = rlim_t(bytes);
    limit.rlim_max = rlim_t(bytes);
    return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

void runAtIdlePriority()
{
#ifdef SCHED_IDLE
    struct sched_param param {};
    param.sched_priority = 0;
    ::sched_setscheduler(0, SCHED_IDLE, &param);
#endif
    errno = 0;
    (void)::setpriority(PRIO_PROCESS, 0, 19);
}

int takeStandardOutput()
{
    const int answers = ::dup(STDOUT_FILENO);
    if (answers < 0)
        return -1;
    if (::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        ::close(answers);
        return -1;
    }
    return answers;
}

void exitOnFatalSignal(int exitCode)
{
    g_fatalExitCode = exitCode;
    // A stack of its own: a recursion that ran out of stack still reaches the handler.
    static char alternate[64 * 1024];
    stack_t stack {};
    stack.ss_sp = alternate;
    stack.ss_size = sizeof alternate;
    ::sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = exitAtOnce;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : { SIGSEGV, SIGABRT, SIGBUS, SIGILL, SIGTRAP, SIGFPE })
        ::sigaction(signal, &action, nullptr);
}

qint64 cpuTimeMs(qint64 pid)
{
#ifdef __linux__
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.read(4096);
    // The command name may hold spaces and parentheses: the fields start after the last ')'.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // After the name: state is field 3, utime field 14, stime field 15.
    if (fields.size() < 13)
        return -1;
    const qint64 ticks = fields.at(11).toLongLong() + fields.at(12).toLongLong();
    const long perSecond = ::sysconf(_SC_CLK_TCK);
    return perSecond > 0 ? ticks * 1000 / perSecond : -1;
#else
    Q_UNUSED(pid);
    return -1;
#endif
}

} // namespace HelperProcess
