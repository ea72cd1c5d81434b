#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

#include "crypto/Streams.h"

#include "Exception.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#else
#include <unistd.h>
#endif

namespace {

// One system call moves at most this much; Linux caps a single read/write just under 2 GiB.
constexpr int64_t kMaxSysIo = int64_t(1) << 30;

#ifdef _WIN32
using StatBuf = struct _stat64;

std::wstring widePath(const std::string& path)
{
    return std::filesystem::u8path(path).wstring();
}

int sysOpen(const std::string& path, bool create)
{
    int fd = -1;
    const int flags = _O_BINARY | (create ? (_O_RDWR | _O_CREAT | _O_TRUNC) : _O_RDONLY);
    // Neither kind of file is shared with other openers while it is open.
    _wsopen_s(&fd, widePath(path).c_str(), flags, _SH_DENYRW, _S_IREAD | _S_IWRITE);
    return fd;
}
int sysStat(const std::string& path, StatBuf* st)
{
    return _wstat64(widePath(path).c_str(), st);
}
int sysFstat(int fd, StatBuf* st)
{
    return _fstat64(fd, st);
}
int64_t sysSeek(int fd, int64_t pos, int whence)
{
    return _lseeki64(fd, pos, whence);
}
int64_t sysRead(int fd, void* buf, int64_t n)
{
    return _read(fd, buf, static_cast<unsigned>(n));
}
int64_t sysWrite(int fd, const void* buf, int64_t n)
{
    return _write(fd, buf, static_cast<unsigned>(n));
}
int sysTruncate(int fd, int64_t size)
{
    return _chsize_s(fd, size) == 0 ? 0 : -1;
}
int sysClose(int fd)
{
    return _close(fd);
}
bool isDirectory(const StatBuf& st)
{
    return (st.st_mode & _S_IFDIR) != 0;
}
#else
using StatBuf = struct stat;

// POSIX has no sharing modes; the one case they guard against here, a file
// created anew over the file being read, is checked by the cipher itself.
int sysOpen(const std::string& path, bool create)
{
    const int flags = O_CLOEXEC | (create ? (O_RDWR | O_CREAT | O_TRUNC) : O_RDONLY);
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
int sysStat(const std::string& path, StatBuf* st)
{
    return ::stat(path.c_str(), st);
}
int sysFstat(int fd, StatBuf* st)
{
    return ::fstat(fd, st);
}
int64_t sysSeek(int fd, int64_t pos, int whence)
{
    return ::lseek(fd, static_cast<off_t>(pos), whence);
}
int64_t sysRead(int fd, void* buf, int64_t n)
{
    return ::read(fd, buf, static_cast<size_t>(n));
}
int64_t sysWrite(int fd, const void* buf, int64_t n)
{
    return ::write(fd, buf, static_cast<size_t>(n));
}
int sysTruncate(int fd, int64_t size)
{
    return ::ftruncate(fd, static_cast<off_t>(size));
}
int sysClose(int fd)
{
    return ::close(fd);
}
bool isDirectory(const StatBuf& st)
{
    return S_ISDIR(st.st_mode);
}
#endif

std::string openMessage(const char* what, const std::string& path, int error)
{
    return std::string(what) + " \"" + TFileStream::fullPath(path) + "\". " + std::strerror(error);
}

} // namespace

void TStream::readBuffer(void* buffer, int64_t count)
{
    if (count > 0 && read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::writeBuffer(const void* buffer, int64_t count)
{
    if (count > 0 && write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

TMemoryStream::TMemoryStream(std::string bytes)
    : m_bytes(std::move(bytes))
{ }

void TMemoryStream::setSize(int64_t newSize)
{
    m_bytes.resize(static_cast<size_t>(std::max<int64_t>(newSize, 0)));
    m_position = std::min(m_position, size());
}

int64_t TMemoryStream::read(void* buffer, int64_t count)
{
    const int64_t n = std::min(count, size() - m_position);
    if (n <= 0)
        return 0;
    std::memcpy(buffer, m_bytes.data() + m_position, static_cast<size_t>(n));
    m_position += n;
    return n;
}

int64_t TMemoryStream::write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const int64_t end = m_position + count;
    if (end > size())
        m_bytes.resize(static_cast<size_t>(end));
    std::memcpy(m_bytes.data() + m_position, buffer, static_cast<size_t>(count));
    m_position = end;
    return count;
}

std::string TMemoryStream::takeBytes()
{
    m_position = 0;
    return std::exchange(m_bytes, std::string());
}

TFileStream::TFileStream(const std::string& path, Mode mode)
{
    const bool create = mode == Mode::Create;
    m_fd = sysOpen(path, create);
    if (m_fd < 0) {
        const int error = errno;
        if (create)
            throw EFCreateError(openMessage("Cannot create file", path, error));
        throw EFOpenError(openMessage("Cannot open file", path, error));
    }
    // A folder opens for reading on some systems, but it is no file to read.
    StatBuf st {};
    if (sysFstat(m_fd, &st) == 0 && isDirectory(st)) {
        sysClose(m_fd);
        m_fd = -1;
        throw EFOpenError(openMessage("Cannot open file", path, EISDIR));
    }
}

TFileStream::~TFileStream()
{
    if (m_fd >= 0)
        sysClose(m_fd);
}

void TFileStream::close()
{
    if (m_fd < 0)
        return;
    const int rc = sysClose(std::exchange(m_fd, -1));
    if (rc != 0 && errno != EINTR)
        throw EWriteError("Stream write error");
}

int64_t TFileStream::size() const
{
    StatBuf st {};
    if (m_fd < 0 || sysFstat(m_fd, &st) != 0)
        return 0;
    return static_cast<int64_t>(st.st_size);
}

void TFileStream::setSize(int64_t newSize)
{
    if (m_fd < 0 || newSize < 0 || sysTruncate(m_fd, newSize) != 0)
        throw EWriteError("Stream write error");
    if (position() > newSize)
        setPosition(newSize);
}

int64_t TFileStream::position() const
{
    const int64_t pos = m_fd < 0 ? -1 : sysSeek(m_fd, 0, SEEK_CUR);
    return pos < 0 ? 0 : pos;
}

void TFileStream::setPosition(int64_t pos)
{
    if (m_fd >= 0)
        sysSeek(m_fd, std::max<int64_t>(pos, 0), SEEK_SET);
}

// Moves count bytes through the system call `io`, in pieces it can take, until done,
// the end of the file or an error; returns how many were moved.
template<typename Byte, typename Io>
static int64_t transferAll(int fd, Byte* data, int64_t count, Io io)
{
    int64_t done = 0;
    while (fd >= 0 && done < count) {
        const int64_t n = io(fd, data + done, std::min(count - done, kMaxSysIo));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

int64_t TFileStream::read(void* buffer, int64_t count)
{
    return transferAll(m_fd, static_cast<char*>(buffer), count, sysRead);
}

int64_t TFileStream::write(const void* buffer, int64_t count)
{
    return transferAll(m_fd, static_cast<const char*>(buffer), count, sysWrite);
}

bool TFileStream::isSameFile(const std::string& path) const
{
    StatBuf mine {};
    StatBuf other {};
    if (m_fd < 0 || sysFstat(m_fd, &mine) != 0 || sysStat(path, &other) != 0)
        return false;
#ifdef _WIN32
    // No inode numbers here; the sharing mode of an open file already keeps it from being created anew.
    return false;
#else
    return mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
#endif
}

std::string TFileStream::fullPath(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(path), ec);
    if (ec)
        return path;
    return p.lexically_normal().string();
}
