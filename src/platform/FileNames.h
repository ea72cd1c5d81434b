#pragma once

// File names that are not valid UTF-8. Qt decodes such a name with a
// replacement character (U+FFFD) in place of each bad byte, and the decoded
// name no longer names the file: the file dialog and drops hand such names on.
// Here a path is turned back into the bytes of the file it names.

#include <QByteArray>
#include <QString>

namespace FileNames {

// The bytes the system knows the path by. A path that names nothing as it is
// encoded, and holds a replacement character, is looked up folder by folder:
// each component is matched against the entries of its folder as Qt decodes
// them. When a component matches no entry, or more than one, the plain
// encoding is returned (and opening it fails as for any missing file).
QByteArray native(const QString& path);
// The same for a UTF-8 std::string path (the cipher's file streams).
QByteArray native(const QByteArray& utf8Path);

// A path Qt can use for a folder whose real name is given in bytes: the name
// itself when it decodes without loss, otherwise a name of the running process
// that stands for the folder (held open until the program ends). Empty when
// the folder cannot be opened.
QString usableFolder(const QByteArray& realPath);

// The folder of the running executable, decided from its real path.
QString programFolder();

} // namespace FileNames
