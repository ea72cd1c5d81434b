#pragma once

// What a backup file holds, shared by the writer (Backup) and the reader (Restore).
//
// A backup is a POSIX tar (pax) archive with, in this order:
//   "qinghe-backup"   the marker: the text markerText, then the format version and a line break;
//   "AccessMng.mdb"   a snapshot of the library database;
//   "corvina/<name>"  each store file that belongs to a dzbook row, as stored (encrypted);
//   "corvina/trash/<name>"  each store file of an e-book in the recycle bin, as stored;
//   "manifest.json"   {"format", "version", "created", "books", "ebooks",
//                      "entries": [{"name", "size", "sha256"}...]} for every entry above but the marker.

#include "Exception.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct sqlite3;

// A backup that cannot be written or read; the message says which file or entry, in Chinese.
class EBackupError : public Exception
{
public:
    using Exception::Exception;
};

namespace BackupFormat {

inline constexpr int version = 1;
inline constexpr const char* markerEntry = "qinghe-backup";
inline constexpr const char* markerText = "qinghe-backup ";
inline constexpr const char* databaseEntry = "AccessMng.mdb";
inline constexpr const char* storePrefix = "corvina/";
inline constexpr const char* binPrefix = "corvina/trash/";
inline constexpr const char* manifestEntry = "manifest.json";
inline constexpr const char* manifestFormat = "青禾书屋备份";

// A name that may stand in the store: a plain file name, not "." or "..", not a
// ".part" file of an import in progress.
bool isStoreFileName(const QString& name);

[[noreturn]] void fail(const QString& message);

// SHA-256 over data given piece by piece.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void add(const char* data, qint64 size);
    QByteArray hex(); // lower-case hex digits; ends the sum

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Durability: flushes a file (by descriptor or path) or a folder's list of names to the disk.
void syncFd(int fd, const QString& shown);
void syncPath(const QString& path);
// Writes bytes to path under a temporary name, flushed, renamed into place, folder flushed.
void writeFileAtomically(const QString& path, const QByteArray& bytes);
// Renames within a file system, replacing a file at to; flushes both folders.
void renameDurably(const QString& from, const QString& to);

// While one lives, the calling thread reads and writes archive entry names as UTF-8,
// whatever the user's locale (libarchive converts names through the thread's locale).
class Utf8Names
{
public:
    Utf8Names();
    ~Utf8Names();
    Utf8Names(const Utf8Names&) = delete;
    Utf8Names& operator=(const Utf8Names&) = delete;

private:
    void* m_locale;
    void* m_previous;
};

// First column of the first row as text; throws EBackupError with the engine's words.
QString scalar(sqlite3* db, const char* sql);

} // namespace BackupFormat
