#include "ebooks/PdfProbe.h"
#include "shell/Program.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    // Before any thread exists.
    Program::useChineseLocale();

    // The PDF check's helper: no window and no library, only a document on stdin.
    if (PdfProbe::isHelperCall(argc, argv)) {
        QCoreApplication helper(argc, argv);
        return PdfProbe::runHelper();
    }
    return Program::run(argc, argv);
}
