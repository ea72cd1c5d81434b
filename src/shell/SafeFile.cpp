#include "shell/SafeFile.h"

#include "Exception.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void createFailed(const QString& path, int error)
{
    throw EFCreateError("Cannot create file \"" + QDir::toNativeSeparators(path).toStdString() + "\". "
                        + std::strerror(error));
}

[[noreturn]] void writeFailed(const QString& path, int error)
{
    throw EWriteError("Cannot write file \"" + QDir::toNativeSeparators(path).toStdString() + "\". "
                      + std::strerror(error));
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
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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

void writeFileAtomically(const QString& path, const QByteArray& data)
{
    const QString target = resolveLinks(path);
    const QString folder = QFileInfo(target).absolutePath();
    const QByteArray targetName = QFile::encodeName(target);

    struct stat existing {};
    const bool exists = ::stat(targetName.constData(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        createFailed(target, S_ISDIR(existing.st_mode) ? EISDIR : EINVAL);

    // A short name of our own, so a long target name cannot push it past the limit.
    QByteArray temporary = QFile::encodeName(folder + u"/.qinghe-XXXXXX"_s);
    Fd file { ::mkostemp(temporary.data(), O_CLOEXEC) };
    if (file.fd < 0) {
        const int error = errno;
        if ((error == EACCES || error == EPERM) && exists && ::access(targetName.constData(), W_OK) == 0)
            return writeInPlace(target, data);
        createFailed(target, error);
    }

    int error = writeAll(file.fd, data);
    if (!error) {
        // mkostemp makes the file private; give it the old file's bits or the usual ones.
        mode_t mode = existing.st_mode & 07777;
        if (!exists) {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        if (::fchmod(file.fd, mode) != 0 || ::fsync(file.fd) != 0)
            error = errno;
    }
    if (!error)
        error = closeChecked(file);
    if (!error && ::rename(temporary.constData(), targetName.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.constData());
        writeFailed(target, error);
    }
    syncFolder(folder);
}

} // namespace SafeFile
