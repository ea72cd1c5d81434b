#pragma once

#include <QString>

namespace Processes {

// True when no process with this id runs any more (its files are leftovers).
bool isGone(qint64 pid);

// Whether the process with this id runs the program of this file name ("qinghe"). True
// when the system does not say which program a process runs.
bool runsProgram(qint64 pid, const QString& program);

// Whether the process at the other end of a connected local socket runs as this user.
bool peerIsThisUser(qintptr socketDescriptor);

} // namespace Processes
