#include "backup/Compaction.h"

#include "crypto/AES.h"
#include "data/ConnectionString.h"
#include "platform/SafeFile.h"
#include "data/Schema.h"
#include "data/Statement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Compaction {
namespace {

    [[noreturn]] void failSystem(const QString& what, const QString& path, int error = errno)
    {
        Statement::fail(
            u"%1 %2：%3"_s.arg(what, QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(error))));
    }

    QByteArray native(const QString& path)
    {
        return QFile::encodeName(path);
    }

    // A descriptor closed on every way out.
    struct Fd
    {
        int fd;
        ~Fd()
        {
            if (fd >= 0)
                ::close(fd);
        }
    };

    void syncFile(const QString& path)
    {
        if (const int error = SafeFile::syncToDisk(path))
            failSystem(u"无法写入磁盘"_s, path, error);
    }

    void syncFolder(const QString& folder)
    {
        syncFile(folder);
    }

    dev_t deviceOf(const QString& path)
    {
        struct stat info
        {
        };
        if (::stat(native(path).constData(), &info) != 0)
            failSystem(u"无法读取"_s, path);
        return info.st_dev;
    }

    // Copies a file and flushes the copy to disk; the copy is made anew.
    void copyFlushed(const QString& from, const QString& to)
    {
        Fd in { ::open(native(from).constData(), O_RDONLY | O_CLOEXEC) };
        if (in.fd < 0)
            failSystem(u"无法读取"_s, from);
        Fd out { ::open(native(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600) };
        if (out.fd < 0)
            failSystem(u"无法创建"_s, to);
        std::vector<char> buffer(1 << 20);
        for (;;) {
            const ssize_t got = ::read(in.fd, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                failSystem(u"无法读取"_s, from);
            if (got == 0)
                break;
            for (ssize_t done = 0; done < got;) {
                const ssize_t put = ::write(out.fd, buffer.data() + done, size_t(got - done));
                if (put < 0 && errno == EINTR)
                    continue;
                if (put < 0)
                    failSystem(u"无法写入"_s, to);
                done += put;
            }
        }
        if (::fsync(out.fd) != 0)
            failSystem(u"无法写入磁盘"_s, to);
    }

    void removeIfPresent(const QString& path)
    {
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink())
            return;
        if (::unlink(native(path).constData()) != 0)
            failSystem(u"无法删除旧的临时文件"_s, path);
    }

    // Puts the flushed compacted copy in place of the library file, in one rename
    // within the library's own folder. A library reached through a symbolic link
    // keeps its link: the file it points to is the one replaced.
    void replaceLibrary(const QString& compacted, const QString& databasePath)
    {
        const QString target = QFileInfo(databasePath).canonicalFilePath();
        if (target.isEmpty())
            failSystem(u"找不到数据库文件"_s, databasePath, ENOENT);
        const QString folder = QFileInfo(target).absolutePath();
        struct stat old
        {
        };
        if (::stat(native(target).constData(), &old) != 0)
            failSystem(u"无法读取"_s, target);

        QString incoming = compacted;
        if (deviceOf(compacted) != deviceOf(folder)) {
            // Another file system: first a flushed copy beside the library.
            incoming = target + u".compacted"_s;
            removeIfPresent(incoming);
            try {
                copyFlushed(compacted, incoming);
            } catch (...) {
                ::unlink(native(incoming).constData());
                throw;
            }
        }
        ::chmod(native(incoming).constData(), old.st_mode & 07777);
        if (::rename(native(incoming).constData(), native(target).constData()) != 0) {
            const int error = errno;
            if (incoming != compacted)
                ::unlink(native(incoming).constData());
            failSystem(u"无法替换数据库文件"_s, target, error);
        }
        syncFolder(folder);
        if (incoming != compacted)
            ::unlink(native(compacted).constData());
    }

} // namespace

QString databasePassword()
{
    return QString::fromStdString(AesDecryptString(storedPasswordCipher, key, 2));
}

QString connectionString(const QString& path, const QString& password)
{
    return u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Jet OLEDB:Database Password=%2;"_s.arg(path, password);
}

QString scratchPath()
{
    return AppPaths::path(u"Temp.mdb"_s);
}

void CompactDatabase(const QString& source, const QString& destination)
{
    const ConnectionString to(destination);
    const QString scratch = Connection::resolveDataSource(to.value(u"Data Source"_s));
    if (scratch.isEmpty())
        Statement::fail(u"连接字符串中没有 Data Source"_s);
    Connection library(source); // checks the password; never makes a library
    sqlite3* db = library.handle();
    // The copy is flushed once, whole, by the caller; SQLite need not flush as it goes.
    // Reading the library through a memory map saves a copy of every page.
    Statement::execute(db, "pragma synchronous = off");
    Statement::execute(db, "pragma mmap_size = 4294967296");
    Statement vacuum(db, "vacuum into ?1");
    vacuum.bind(1, scratch);
    vacuum.step();
    const QString password = to.value(u"Jet OLEDB:Database Password"_s);
    const QString old = Schema::storedPassword(db);
    if (password != old) {
        Connection copy(connectionString(scratch, old));
        Statement set(copy.handle(), "insert or replace into qinghe_meta (name, value) values ('password', ?1)");
        set.bind(1, password);
        set.step();
    }
}

bool RunCompaction(const QString& databasePath, const QString& password, QString* reason)
{
    const QString scratch = scratchPath();
    try {
        // SQLite writes only into a file that does not exist yet.
        removeIfPresent(scratch);
        // No other program may write the library between the copy and the rename:
        // its change would be lost with the old file.
        Connection writers(connectionString(databasePath, password));
        Statement::execute(writers.handle(), "begin immediate");
        CompactDatabase(connectionString(databasePath, password), connectionString(scratch, password));
        syncFile(scratch);
        replaceLibrary(scratch, databasePath);
        return true;
    } catch (const std::exception& error) {
        if (reason)
            *reason = QString::fromUtf8(error.what());
    } catch (...) {
        if (reason)
            *reason = u"未知错误"_s;
    }
    ::unlink(native(scratch).constData());
    return false;
}

} // namespace Compaction
