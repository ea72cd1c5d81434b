#pragma once

// Compaction of the library file: SQLite writes a compacted copy into the
// scratch file "Temp.mdb" in the data folder, which then takes the library
// file's place. The library file is never written in place: until the final
// rename it is untouched, and after it the compacted copy is whole on disk.

#include <QString>

namespace Compaction {

// The compaction key, and the database password enciphered with it
// (AesEncryptString with key size selector 2).
inline constexpr const char* key = "mornavelt";
inline constexpr const char* storedPasswordCipher = "0600000000000000A07099333061620061E1BEEADC1A5E2C";

// The database password, deciphered at the moment of use.
QString databasePassword();

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<path>;Jet OLEDB:Database Password=<password>;",
// both filled in unchanged.
QString connectionString(const QString& path, const QString& password);

// The scratch file: the data folder followed by "Temp.mdb".
QString scratchPath();

// The engine: writes a compacted copy of the source library into the destination
// (which must not exist yet), both given as connection strings; the copy opens
// with the destination's password. Throws EDatabaseError.
void CompactDatabase(const QString& source, const QString& destination);

// Compacts the library file at databasePath into the scratch file and puts the
// copy in its place. True on success; on failure false, the library file
// untouched, and the reason in *reason (when given). Raises nothing.
bool RunCompaction(const QString& databasePath, const QString& password, QString* reason = nullptr);

} // namespace Compaction
