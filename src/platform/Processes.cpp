#include "platform/Processes.h"

#include <QFileInfo>

#include <cerrno>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Processes {

// POSIX only; a Windows build asks OpenProcess here.
bool isGone(qint64 pid)
{
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

bool runsProgram(qint64 pid, const QString& program)
{
    const QString executable = QFileInfo(u"/proc/%1/exe"_s.arg(pid)).symLinkTarget();
    if (executable.isEmpty())
        return QFileInfo::exists(u"/proc/%1"_s.arg(pid)) // another account's: cannot tell
            || !QFileInfo::exists(u"/proc/self"_s); // a system without /proc: cannot tell
    // A program replaced while it runs reads "<path> (deleted)".
    QString name = QFileInfo(executable).fileName();
    if (name.endsWith(u" (deleted)"_s))
        name.chop(10);
    return name == QFileInfo(program).fileName();
}

bool peerIsThisUser(qintptr socketDescriptor)
{
    struct ucred peer
    {
    };
    socklen_t size = sizeof peer;
    if (socketDescriptor < 0
        || ::getsockopt(int(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer)
        return false;
    return peer.uid == ::getuid();
}

} // namespace Processes
