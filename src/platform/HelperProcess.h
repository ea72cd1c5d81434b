#pragma once

#include <QtGlobal>

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

} // namespace HelperProcess
