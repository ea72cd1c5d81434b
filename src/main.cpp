#include "pdfworker/WorkerMain.h"
#include "shell/Program.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    // Before any thread exists.
    Program::useChineseLocale();

    // The PDF worker: every job on a PDF besides drawing its pages, fed through its pipes.
    if (PdfWorker::isWorkerCall(argc, argv)) {
        QCoreApplication worker(argc, argv);
        return PdfWorker::runWorker(argc, argv);
    }
    return Program::run(argc, argv);
}
