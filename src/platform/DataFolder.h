#pragma once

// The data folder as something to keep safe: no file the user writes (an
// exported e-book, a CSV file, a backup) may take the place of one of the
// program's own files, and what the program keeps there is readable by the
// user's own account only.

#include <QString>

namespace DataFolder {

// Whether writing a file at path would replace or create one of the program's
// own files, however the path leads there (a symbolic link, "..", a bind mount,
// a hard link): any name the program keeps in the data folder ("data",
// "corvina", "temp" and all below them, the skin file, "Temp.mdb", the
// restore's staging folder and journal, the lock...), and the program itself. A file of
// another name directly in the data folder is the user's.
bool isProgramFile(const QString& path);

// Throws EFCreateError with a message for the user when isProgramFile(path).
void refuseProgramFile(const QString& path);

// Folder and file modes: folders the program makes in the data folder are 0700,
// its files 0600.
void makeFolder(const QString& path); // with its missing parents; throws EFCreateError
void makePrivate(const QString& path); // an existing file or folder brought to its mode

// At start: the data folder, its folders and every file the program keeps
// there brought to these modes. Files the user put there are left alone.
void makeAllPrivate();

} // namespace DataFolder
