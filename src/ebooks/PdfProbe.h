#pragma once

// Trying a PDF document in a process of its own before the PDF engine loads it
// here. Some damaged documents (a page tree that contains itself) make the
// engine loop for ever inside its load; in a separate process that costs a time
// limit and a killed helper instead of a frozen window.
//
// The helper is this program's own executable started with --probe-pdf. It
// reads everything from its standard input, never from a file: first the
// document password (4 bytes of length, little-endian, then UTF-8), then the
// document's bytes until the end. It loads the document, asks for its pages, and
// answers by its exit code.

#include <QString>
#include <QStringList>

class QIODevice;

namespace PdfProbe {

inline constexpr const char* option = "--probe-pdf";

enum class Result
{
    Ok, // loads, every page answers
    WrongPassword, // the engine asks for another password: nothing was tried past that
    Damaged, // the engine refused it quickly (it reports that itself)
    BadStructure, // did not finish in time, or took the helper down
    NotChecked, // the helper could not be started
};

// The time given to a helper once it has the whole document.
int defaultTimeLimitMs();
void setDefaultTimeLimitMs(int ms);

// Feeds the plain bytes of `source` (read to its end, a chunk at a time) and the
// password to a helper and waits at most `timeLimitMs` after the last byte for its
// answer; a helper still busy then is killed. An exception from the source (a
// damaged store file) ends the helper and goes on to the caller.
Result probe(QIODevice& source, const QString& password, int timeLimitMs = defaultTimeLimitMs());

// The helper program and the arguments before the option: this executable by
// default. Tests point it at a built program of their own.
void setProgram(const QString& program, const QStringList& arguments = {});
QString program();

// Whether the command line asks for the helper (its first argument is the option).
bool isHelperCall(int argc, char* argv[]);
// The helper's work, on stdin / exit code as said above; needs a QCoreApplication.
int runHelper();

} // namespace PdfProbe
