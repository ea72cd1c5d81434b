#pragma once

// Temporary files the program makes outside its data folder (beside a file the
// user chose: an export, a backup) are named in a small list inside the data
// folder before they are made, and struck off once renamed into place or
// removed. A run killed half-way thus leaves nothing behind for long: the next
// start removes what the list names, and the program's own scratch files in the
// data folder ("Temp.mdb", a backup's snapshot).

#include <QString>

namespace TempFiles {

// "temporaries.list" in the data folder.
QString listPath();

// Whether a file name has the form of one of the program's temporary files
// (".qinghe-XXXXXX", ".<name>.<pid>.tmp", "<library>.compacted"): only such
// files are ever removed on the list's word.
bool isTemporaryName(const QString& name);

// Names path in the list (flushed to the disk) before the caller creates it.
// Throws EFCreateError when the list cannot be written. Thread-safe.
void record(const QString& path);
// Strikes path off the list. Thread-safe.
void forget(const QString& path);

// At start: removes every plain file the list names whose name has a temporary
// form, then the list; and "Temp.mdb" and backup snapshots in the data folder.
// Returns how many files went.
int removeLeftovers();

// A temporary file's place on the list for as long as it lives: forgotten when it goes out of scope.
class Recorded
{
public:
    explicit Recorded(QString path);
    ~Recorded();
    Recorded(const Recorded&) = delete;
    Recorded& operator=(const Recorded&) = delete;

private:
    QString m_path;
};

} // namespace TempFiles
