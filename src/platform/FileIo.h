#pragma once

// The operating system's file calls, behind one door: descriptors opened, read,
// written, flushed and closed, files renamed and removed, what a path names.
// Everything the program does with files below Qt's QFile goes through here, so a
// port to another system changes this file pair and nothing else.
//
// Calls return what the system returns: -1 (or false) on failure, with errno set,
// unless a comment says they return the error number itself.

#include <QString>

class QFile;

#include <cstdint>
#include <string>

namespace FileIo {

// What stat says of a file.
struct Info
{
    int64_t size = 0;
    bool directory = false;
    bool regular = false;
    uint32_t mode = 0; // permission bits
    uint64_t device = 0;
    uint64_t inode = 0; // 0 where the system has no such numbers
};

// The error number of an open that was refused because the path names a pipe, a
// device or a socket: reading one could wait for ever, and no file the program
// reads is one. errorText() words it for the user.
inline constexpr int NotRegularFile = 10001;

// The cipher's file stream: open for reading, or created anew for reading and
// writing (truncated). Not shared with other openers where the system can say so.
// Reading opens a regular file (or a folder, which the caller refuses) without
// waiting; anything else fails with NotRegularFile.
int open(const std::string& path, bool create);
bool stat(const std::string& path, Info& info);
bool fstat(int fd, Info& info);
// Like stat, but a symbolic link is described itself, not the file it names.
bool linkStat(const QString& path, Info& info);
int64_t seek(int fd, int64_t pos, bool fromCurrent);
int64_t read(int fd, void* buffer, int64_t count);
int64_t write(int fd, const void* buffer, int64_t count);
int truncate(int fd, int64_t size);
int close(int fd);

// A descriptor for reading an existing regular file (NotRegularFile for anything
// else, found without waiting), or for writing a file (created with `mode` when
// missing; truncated, or refused when `exclusive` and it exists).
int openForReading(const QString& path);
// True when path names a regular file (found by its bytes when its name is not UTF-8).
bool isRegularFile(const QString& path);
// openForReading() into a QFile; false with errno set when it fails.
bool openRegular(QFile& file, const QString& path);
int openForWriting(const QString& path, uint32_t mode, bool exclusive);

// True when the user may create files in folder.
bool canCreateFilesIn(const QString& folder);

// Flushes what was written through fd to the disk. Returns 0 or the error number.
int sync(int fd);
// Starts writing [from, from + length) of fd to the disk without waiting for it, so
// that a flush at the end has little left to do. Does nothing where the system
// cannot.
void startWriteback(int fd, int64_t from, int64_t length);

// Closes fd on a thread of its own and returns at once. The last close of a file
// that was replaced or removed frees its pages in the system's cache, which for a
// file of some hundred megabytes takes a good part of a second nobody needs to wait for.
void closeInBackground(int fd);

// Renames from over to, in one step. Returns 0 or the error number.
int rename(const QString& from, const QString& to);
// Removes a file (a symbolic link itself, not what it names). Returns 0 or the error number.
int remove(const QString& path);
// Sets the permission bits. Returns 0 or the error number.
int setMode(const QString& path, uint32_t mode);

// The system's text for an error number, in the user's language where it has one.
QString errorText(int error);

// Closes a descriptor on every way out of a scope.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    { }
    ~Descriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

private:
    int m_fd;
};

} // namespace FileIo
