#pragma once

// Writing a whole file so that no moment leaves it half written: the bytes go
// to a temporary file beside the target, reach the disk (fsync) and are then
// renamed over the target. A reader, a crash or a full disk sees the old file
// whole or the new one whole, never a mixture.

#include <QByteArray>
#include <QString>

#include <functional>

namespace SafeFile {

// Who may read the file written: the usual (an existing file keeps its bits, a new one
// follows the umask), or the user alone (0600 whatever it replaces).
enum class Access { Usual, Private };

// Writes data as the file at path.
// - A symbolic link is followed: the file it points to is written, the link stays.
// - An existing file keeps its permission bits; a new one gets the usual ones (umask);
//   with Access::Private it is 0600 either way.
// - Where the folder lets the user replace the file's contents but not create a
//   new file beside it, the file is written in place, its space reserved first so
//   that a full disk fails before the first byte is overwritten.
// Throws EFCreateError ("Cannot create file "<path>". <reason>") when nothing could
// be created, EWriteError when writing fails; the target is then as it was.
void writeFileAtomically(const QString& path, const QByteArray& data, Access access = Access::Usual);

// The same for a file that produce writes itself: it is called with the path
// of a new, empty temporary file beside the target and fills it (any error it
// throws removes the temporary file and goes on to the caller, the target
// untouched). Needs a folder that lets the user create files: EFCreateError
// otherwise.
void writeFileAtomically(
    const QString& path, const std::function<void(const QString& temporary)>& produce, Access access = Access::Usual);

// Flushes a file, or a folder's entries, to the disk. Returns 0 or the error number.
int syncToDisk(const QString& path);

// The file a path finally names once its symbolic links are followed (the path
// itself when it is none); absolute.
QString resolveLinks(const QString& path);

} // namespace SafeFile
