#include "platform/Processes.h"

#include <cerrno>
#include <signal.h>

namespace Processes {

// POSIX only; a Windows build asks OpenProcess here.
bool isGone(qint64 pid)
{
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

} // namespace Processes
