#pragma once

// The names of the files in the e-book store ("corvina"). A book's store file
// is named by its stored name: a 17-digit local time stamp followed by a random
// number from 0 to 9999. A store file being written is "<stored name>.part";
// a text companion is "<stored name>.text" (Companion).

#include <QString>

class QDateTime;

namespace StoreNames {

inline constexpr const char* partSuffix = ".part";
// The folder inside the store where the files of e-books in the recycle bin wait.
inline constexpr const char* binFolder = "trash";

// "yyyyMMddhhmmsszzz" of now followed by random in decimal.
QString stamped(const QDateTime& now, int random);

// Whether a name has the form of a stored name: the 17-digit time stamp, then
// the random number without leading zeros.
bool isStoredName(const QString& name);

// Whether a name from a row or an archive can only name a file directly inside
// the store folder: not empty, not "." or "..", no '/', '\\' or NUL.
bool isPlainName(const QString& name);

} // namespace StoreNames
