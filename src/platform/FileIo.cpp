#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

#include "platform/FileIo.h"

#include "platform/FileNames.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/types.h>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#else
#include <unistd.h>
#endif

namespace FileIo {
namespace {

    // The bytes the system knows a path by, also for a name that is not UTF-8.
    QByteArray native(const QString& path)
    {
        return FileNames::native(path);
    }

#ifdef _WIN32
    using StatBuf = struct _stat64;

    std::wstring widePath(const std::string& path)
    {
        return std::filesystem::u8path(path).wstring();
    }
#else
    using StatBuf = struct stat;
#endif

    void describe(const StatBuf& st, Info& info)
    {
        info.size = static_cast<int64_t>(st.st_size);
#ifdef _WIN32
        info.directory = (st.st_mode & _S_IFDIR) != 0;
        info.regular = (st.st_mode & _S_IFREG) != 0;
        info.mode = st.st_mode & 0777;
        info.device = 0;
        info.inode = 0; // no inode numbers here
#else
        info.directory = S_ISDIR(st.st_mode);
        info.regular = S_ISREG(st.st_mode);
        info.mode = st.st_mode & 07777;
        info.device = static_cast<uint64_t>(st.st_dev);
        info.inode = static_cast<uint64_t>(st.st_ino);
#endif
    }

} // namespace

#ifdef _WIN32
int open(const std::string& path, bool create)
{
    int fd = -1;
    const int flags = _O_BINARY | (create ? (_O_RDWR | _O_CREAT | _O_TRUNC) : _O_RDONLY);
    // Neither kind of file is shared with other openers while it is open.
    _wsopen_s(&fd, widePath(path).c_str(), flags, _SH_DENYRW, _S_IREAD | _S_IWRITE);
    return fd;
}
bool stat(const std::string& path, Info& info)
{
    StatBuf st {};
    if (_wstat64(widePath(path).c_str(), &st) != 0)
        return false;
    describe(st, info);
    return true;
}
bool fstat(int fd, Info& info)
{
    StatBuf st {};
    if (_fstat64(fd, &st) != 0)
        return false;
    describe(st, info);
    return true;
}
int64_t seek(int fd, int64_t pos, bool fromCurrent)
{
    return _lseeki64(fd, pos, fromCurrent ? SEEK_CUR : SEEK_SET);
}
int64_t read(int fd, void* buffer, int64_t count)
{
    return _read(fd, buffer, static_cast<unsigned>(count));
}
int64_t write(int fd, const void* buffer, int64_t count)
{
    return _write(fd, buffer, static_cast<unsigned>(count));
}
int truncate(int fd, int64_t size)
{
    return _chsize_s(fd, size) == 0 ? 0 : -1;
}
int close(int fd)
{
    return _close(fd);
}
#else
// POSIX has no sharing modes; the one case they guard against, a file created
// anew over the file being read, is checked by the cipher itself.
namespace {

    // Opened without waiting (a pipe with no writer would block the open itself),
    // then kept only when it is a regular file, or a folder when that is allowed.
    int openReadOnly(const QByteArray& path, bool folderAllowed)
    {
        int fd;
        do {
            fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0)
            return -1;
        StatBuf st {};
        if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || (folderAllowed && S_ISDIR(st.st_mode)))) {
            const int error = errno;
            ::close(fd);
            errno = S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) ? error : NotRegularFile;
            return -1;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
    }

} // namespace

int open(const std::string& path, bool create)
{
    const QByteArray name = FileNames::native(QByteArray::fromStdString(path));
    if (!create)
        return openReadOnly(name, true);
    int fd;
    do {
        fd = ::open(name.constData(), O_CLOEXEC | O_RDWR | O_CREAT | O_TRUNC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
bool stat(const std::string& path, Info& info)
{
    StatBuf st {};
    if (::stat(FileNames::native(QByteArray::fromStdString(path)).constData(), &st) != 0)
        return false;
    describe(st, info);
    return true;
}
bool fstat(int fd, Info& info)
{
    StatBuf st {};
    if (::fstat(fd, &st) != 0)
        return false;
    describe(st, info);
    return true;
}
int64_t seek(int fd, int64_t pos, bool fromCurrent)
{
    return ::lseek(fd, static_cast<off_t>(pos), fromCurrent ? SEEK_CUR : SEEK_SET);
}
int64_t read(int fd, void* buffer, int64_t count)
{
    return ::read(fd, buffer, static_cast<size_t>(count));
}
int64_t write(int fd, const void* buffer, int64_t count)
{
    return ::write(fd, buffer, static_cast<size_t>(count));
}
int truncate(int fd, int64_t size)
{
    return ::ftruncate(fd, static_cast<off_t>(size));
}
int close(int fd)
{
    return ::close(fd);
}
#endif

// What follows is written for POSIX systems only; a Windows build adds its
// branches beside these.

bool linkStat(const QString& path, Info& info)
{
    StatBuf st {};
    if (::lstat(native(path).constData(), &st) != 0)
        return false;
    describe(st, info);
    return true;
}

int openForReading(const QString& path)
{
    return openReadOnly(native(path), false);
}

bool isRegularFile(const QString& path)
{
    Info info;
    return stat(path.toUtf8().toStdString(), info) && info.regular;
}

bool openRegular(QFile& file, const QString& path)
{
    const int fd = openForReading(path);
    if (fd < 0)
        return false;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        errno = EIO;
        return false;
    }
    return true;
}

int openForWriting(const QString& path, uint32_t mode, bool exclusive)
{
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
    return ::open(native(path).constData(), flags, mode_t(mode));
}

bool canCreateFilesIn(const QString& folder)
{
    return ::access(native(folder).constData(), W_OK | X_OK) == 0;
}

int sync(int fd)
{
    return ::fsync(fd) == 0 ? 0 : errno;
}

void startWriteback(int fd, int64_t from, int64_t length)
{
#ifdef __linux__
    if (fd >= 0 && length > 0)
        ::sync_file_range(fd, off_t(from), off_t(length), SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
    (void)from;
    (void)length;
#endif
}

void closeInBackground(int fd)
{
    if (fd < 0)
        return;
    try {
        std::thread([fd] { close(fd); }).detach();
    } catch (const std::system_error&) {
        close(fd); // no thread to be had: closed here instead
    }
}

int rename(const QString& from, const QString& to)
{
    return ::rename(native(from).constData(), native(to).constData()) == 0 ? 0 : errno;
}

int remove(const QString& path)
{
    return ::unlink(native(path).constData()) == 0 ? 0 : errno;
}

int setMode(const QString& path, uint32_t mode)
{
    return ::chmod(native(path).constData(), mode_t(mode)) == 0 ? 0 : errno;
}

QString errorText(int error)
{
    if (error == NotRegularFile)
        return QStringLiteral("不是普通文件（而是管道、设备等），无法读取");
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace FileIo
