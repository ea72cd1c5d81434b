#pragma once

#include <QtGlobal>

namespace Processes {

// True when no process with this id runs any more (its files are leftovers).
bool isGone(qint64 pid);

} // namespace Processes
