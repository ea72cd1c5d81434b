#pragma once

// The PDF worker: this program's own executable started as
//     qinghe --pdf-worker <address space bytes> <idle|normal>
// It lives under the address-space limit it was given, at idle priority when
// asked, and serves jobs (WorkerJobs.h) one after another over its standard
// input and output in the frames of WorkerProtocol.h until its input ends.
// Its own exit codes tell the program what ended it.

namespace PdfWorker {

inline constexpr const char* option = "--pdf-worker";

// The worker's version: verdicts recorded by another version are not trusted.
inline constexpr int EngineVersion = 1;

enum ExitCode
{
    ExitDone = 0, // its input ended
    ExitBadInput = 22, // a frame it could not read
    ExitMemory = 23, // an allocation failed under its address-space limit
    ExitCrash = 24, // a fatal signal inside the engine
    ExitCannotWrite = 25, // the program stopped reading its answers
};

// Whether the command line asks for the worker (its first argument is the option).
bool isWorkerCall(int argc, char* argv[]);
// The worker's loop; needs a QCoreApplication.
int runWorker(int argc, char* argv[]);

} // namespace PdfWorker
