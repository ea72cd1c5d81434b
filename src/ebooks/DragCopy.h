#pragma once

// The decrypted copies a drag-out hands to the desktop: "temp/" + the e-book's
// name (".pdf" appended when it has no extension, fitted to 255 bytes).
//
// During a run the program never deletes a drag copy, so a drop target that
// reads the file late still finds it. The copies this run made and that are
// still there (a completed move has taken its copy away) are removed when the
// program ends; at start, files in "temp" more than a day old (left by a run
// that crashed) are removed.

#include <QString>

namespace DragCopy {

// The drag copy's path for an e-book name, in the data folder's "temp".
QString path(const QString& name);

// Decrypts the store file into the drag copy of name, replacing any file
// there, and returns its path. The cipher's errors, the writer's, or
// EFCreateError for a name that is not a file name (it holds a "/", or is "."
// or "..").
QString make(const QString& storeFile, const QString& name);

// At start: removes the files in "temp" last changed more than maxAgeSeconds ago.
void cleanAtStart(qint64 maxAgeSeconds = 24 * 60 * 60);

// At the end of the run: removes this run's copies that are still the files it wrote.
void removeThisRunsCopies();

} // namespace DragCopy
