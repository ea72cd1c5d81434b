#include "platform/SafeFile.h"

#include "Exception.h"
#include "platform/TempFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void createFailed(const QString& path, int error)
{
    throw EFCreateError(
        "Cannot create file \"" + QDir::toNativeSeparators(path).toStdString() + "\". " + std::strerror(error));
}

[[noreturn]] void writeFailed(const QString& path, int error)
{
    throw EWriteError(
        "Cannot write file \"" + QDir::toNativeSeparators(path).toStdString() + "\". " + std::strerror(error));
}

// Closes on every path; close() reports late write errors of some file systems.
struct Fd
{
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int release() { return std::exchange(fd, -1); }
};

// Writes all of data from offset 0; returns 0 or the error number.
int writeAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        p += n;
        left -= n;
    }
    return 0;
}

int closeChecked(Fd& file)
{
    return ::close(file.release()) == 0 ? 0 : errno;
}

void syncFolder(const QString& folder)
{
    SafeFile::syncToDisk(folder);
}

// The folder does not let us create files, but the file itself is writable.
void writeInPlace(const QString& target, const QByteArray& data)
{
    const QByteArray name = QFile::encodeName(target);
    Fd file { ::open(name.constData(), O_WRONLY | O_CLOEXEC) };
    if (file.fd < 0)
        createFailed(target, errno);
    // Reserve the space first: a full disk then fails before anything is overwritten.
    if (!data.isEmpty() && ::fallocate(file.fd, FALLOC_FL_KEEP_SIZE, 0, data.size()) != 0 && errno != EOPNOTSUPP)
        writeFailed(target, errno);
    if (const int error = writeAll(file.fd, data))
        writeFailed(target, error);
    if (::ftruncate(file.fd, data.size()) != 0 || ::fsync(file.fd) != 0)
        writeFailed(target, errno);
    if (const int error = closeChecked(file))
        writeFailed(target, error);
}

} // namespace

namespace SafeFile {

QString resolveLinks(const QString& path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    // A chain of links, dangling or not; a loop ends after the system's own limit.
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        const QString target = info.symLinkTarget();
        if (target.isEmpty())
            return current;
        current = QDir::cleanPath(QDir(info.absolutePath()).absoluteFilePath(target));
    }
    return current;
}

} // namespace SafeFile

namespace {

struct Target
{
    QString path; // links followed
    QString folder;
    QByteArray name;
    struct stat existing
    {
    };
    bool exists = false;
};

Target targetOf(const QString& path)
{
    Target t;
    t.path = SafeFile::resolveLinks(path);
    t.folder = QFileInfo(t.path).absolutePath();
    t.name = QFile::encodeName(t.path);
    t.exists = ::stat(t.name.constData(), &t.existing) == 0;
    if (t.exists && !S_ISREG(t.existing.st_mode))
        createFailed(t.path, S_ISDIR(t.existing.st_mode) ? EISDIR : EINVAL);
    return t;
}

// A short name of our own beside the target, so a long target name cannot push it past
// the limit. It is on the list of temporary files (TempFiles) before it exists, so that a
// run killed while writing leaves nothing behind for long.
int createTemporary(const Target& t, QByteArray& temporary, std::optional<TempFiles::Recorded>& recorded)
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0;; ++attempt) {
        QString name = t.folder + u"/.qinghe-"_s;
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
        recorded.reset();
        recorded.emplace(name);
        temporary = QFile::encodeName(name);
        const int fd = ::open(temporary.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST || attempt >= 100)
            return fd;
    }
}

// The old file's permission bits, or the usual ones for a new file (the temporary file
// starts private); a private file is the user's alone whatever it replaces.
mode_t modeFor(const Target& t, SafeFile::Access access)
{
    if (access == SafeFile::Access::Private)
        return 0600;
    if (t.exists)
        return t.existing.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Gives the written temporary file its bits, flushes it and renames it over the target.
void finish(const Target& t, Fd& file, const QByteArray& temporary, SafeFile::Access access)
{
    int error = ::fchmod(file.fd, modeFor(t, access)) != 0 || ::fsync(file.fd) != 0 ? errno : 0;
    if (!error)
        error = closeChecked(file);
    if (!error && ::rename(temporary.constData(), t.name.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.constData());
        writeFailed(t.path, error);
    }
    syncFolder(t.folder);
}

} // namespace

namespace SafeFile {

void writeFileAtomically(const QString& path, const QByteArray& data, Access access)
{
    const Target t = targetOf(path);
    QByteArray temporary;
    std::optional<TempFiles::Recorded> recorded;
    Fd file { createTemporary(t, temporary, recorded) };
    if (file.fd < 0) {
        const int error = errno;
        if ((error == EACCES || error == EPERM) && t.exists && ::access(t.name.constData(), W_OK) == 0)
            return writeInPlace(t.path, data);
        createFailed(t.path, error);
    }
    if (const int error = writeAll(file.fd, data)) {
        ::unlink(temporary.constData());
        writeFailed(t.path, error);
    }
    finish(t, file, temporary, access);
}

void writeFileAtomically(
    const QString& path, const std::function<void(const QString& temporary)>& produce, Access access)
{
    const Target t = targetOf(path);
    QByteArray temporary;
    std::optional<TempFiles::Recorded> recorded;
    Fd file { createTemporary(t, temporary, recorded) };
    if (file.fd < 0)
        createFailed(t.path, errno);
    try {
        produce(QFile::decodeName(temporary));
    } catch (...) {
        ::unlink(temporary.constData());
        throw;
    }
    // The producer wrote through its own descriptor; ours still names the same file.
    finish(t, file, temporary, access);
}

int syncToDisk(const QString& path)
{
    // A folder opens read-only like a file; fsync then writes out its entries.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

} // namespace SafeFile
