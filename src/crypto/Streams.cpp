#include "crypto/Streams.h"

#include "Exception.h"
#include "platform/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

namespace {

// One system call moves at most this much; Linux caps a single read/write just under 2 GiB.
constexpr int64_t kMaxSysIo = int64_t(1) << 30;

std::string openMessage(const char* what, const std::string& path, int error)
{
    return std::string(what) + " \"" + TFileStream::fullPath(path) + "\". " + FileIo::errorText(error).toStdString();
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
    m_fd = FileIo::open(path, create);
    if (m_fd < 0) {
        const int error = errno;
        if (create)
            throw EFCreateError(openMessage("Cannot create file", path, error));
        throw EFOpenError(openMessage("Cannot open file", path, error));
    }
    // A folder opens for reading on some systems, but it is no file to read.
    FileIo::Info st;
    if (FileIo::fstat(m_fd, st) && st.directory) {
        FileIo::close(m_fd);
        m_fd = -1;
        throw EFOpenError(openMessage("Cannot open file", path, EISDIR));
    }
}

TFileStream::~TFileStream()
{
    if (m_fd >= 0)
        FileIo::close(m_fd);
}

void TFileStream::close()
{
    if (m_fd < 0)
        return;
    const int rc = FileIo::close(std::exchange(m_fd, -1));
    if (rc != 0 && errno != EINTR)
        throw EWriteError("Stream write error");
}

int64_t TFileStream::size() const
{
    FileIo::Info st;
    if (m_fd < 0 || !FileIo::fstat(m_fd, st))
        return 0;
    return st.size;
}

void TFileStream::setSize(int64_t newSize)
{
    if (m_fd < 0 || newSize < 0 || FileIo::truncate(m_fd, newSize) != 0)
        throw EWriteError("Stream write error");
    if (position() > newSize)
        setPosition(newSize);
}

int64_t TFileStream::position() const
{
    const int64_t pos = m_fd < 0 ? -1 : FileIo::seek(m_fd, 0, true);
    return pos < 0 ? 0 : pos;
}

void TFileStream::setPosition(int64_t pos)
{
    if (m_fd >= 0)
        FileIo::seek(m_fd, std::max<int64_t>(pos, 0), false);
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
    return transferAll(m_fd, static_cast<char*>(buffer), count, FileIo::read);
}

int64_t TFileStream::write(const void* buffer, int64_t count)
{
    return transferAll(m_fd, static_cast<const char*>(buffer), count, FileIo::write);
}

bool TFileStream::isSameFile(const std::string& path) const
{
    FileIo::Info mine;
    FileIo::Info other;
    if (m_fd < 0 || !FileIo::fstat(m_fd, mine) || !FileIo::stat(path, other))
        return false;
    // Where the system has no inode numbers, the sharing mode of an open file
    // already keeps it from being created anew.
    return mine.inode != 0 && mine.device == other.device && mine.inode == other.inode;
}

std::string TFileStream::fullPath(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(path), ec);
    if (ec)
        return path;
    return p.lexically_normal().string();
}
