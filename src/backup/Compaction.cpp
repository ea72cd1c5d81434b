#include "backup/Compaction.h"

#include "crypto/AES.h"
#include "data/ConnectionString.h"
#include "data/Schema.h"
#include "data/Statement.h"
#include "platform/FileIo.h"
#include "platform/SafeFile.h"
#include "platform/TempFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

#include <cerrno>
#include <vector>

using namespace Qt::StringLiterals;

namespace Compaction {
namespace {

    [[noreturn]] void failSystem(const QString& what, const QString& path, int error = errno)
    {
        Statement::fail(u"%1 %2：%3"_s.arg(what, QDir::toNativeSeparators(path), FileIo::errorText(error)));
    }

    void syncFile(const QString& path)
    {
        if (const int error = SafeFile::syncToDisk(path))
            failSystem(u"无法写入磁盘"_s, path, error);
    }

    void syncFolder(const QString& folder)
    {
        syncFile(folder);
    }

    FileIo::Info infoOf(const QString& path)
    {
        FileIo::Info info;
        if (!FileIo::stat(QFile::encodeName(path).toStdString(), info))
            failSystem(u"无法读取"_s, path);
        return info;
    }

    // Copies a file and flushes the copy to disk; the copy is made anew.
    void copyFlushed(const QString& from, const QString& to)
    {
        const FileIo::Descriptor in(FileIo::openForReading(from));
        if (!in.isOpen())
            failSystem(u"无法读取"_s, from);
        const FileIo::Descriptor out(FileIo::openForWriting(to, 0600, true));
        if (!out.isOpen())
            failSystem(u"无法创建"_s, to);
        std::vector<char> buffer(1 << 20);
        for (;;) {
            const int64_t got = FileIo::read(in.get(), buffer.data(), int64_t(buffer.size()));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                failSystem(u"无法读取"_s, from);
            if (got == 0)
                break;
            for (int64_t done = 0; done < got;) {
                const int64_t put = FileIo::write(out.get(), buffer.data() + done, got - done);
                if (put < 0 && errno == EINTR)
                    continue;
                if (put < 0)
                    failSystem(u"无法写入"_s, to);
                done += put;
            }
        }
        if (const int error = FileIo::sync(out.get()))
            failSystem(u"无法写入磁盘"_s, to, error);
    }

    void removeIfPresent(const QString& path)
    {
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink())
            return;
        if (const int error = FileIo::remove(path))
            failSystem(u"无法删除旧的临时文件"_s, path, error);
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
        const FileIo::Info old = infoOf(target);

        QString incoming = compacted;
        std::optional<TempFiles::Recorded> listed;
        if (infoOf(compacted).device != infoOf(folder).device) {
            // Another file system: first a flushed copy beside the library, on the list of
            // temporary files while it is there.
            incoming = target + u".compacted"_s;
            listed.emplace(incoming);
            removeIfPresent(incoming);
            try {
                copyFlushed(compacted, incoming);
            } catch (...) {
                FileIo::remove(incoming);
                throw;
            }
        }
        FileIo::setMode(incoming, old.mode);
        if (const int error = FileIo::rename(incoming, target)) {
            if (incoming != compacted)
                FileIo::remove(incoming);
            failSystem(u"无法替换数据库文件"_s, target, error);
        }
        syncFolder(folder);
        if (incoming != compacted)
            FileIo::remove(compacted);
    }

    // Starts the writing to disk of every few megabytes the engine adds to a file.
    struct WritebackAhead
    {
        int fd = -1;
        int64_t sent = 0;

        static int progress(void* self)
        {
            auto* ahead = static_cast<WritebackAhead*>(self);
            constexpr int64_t step = 8 << 20;
            FileIo::Info info;
            if (FileIo::fstat(ahead->fd, info) && info.size >= ahead->sent + step) {
                FileIo::startWriteback(ahead->fd, ahead->sent, info.size - ahead->sent);
                ahead->sent = info.size;
            }
            return 0; // never interrupts
        }
    };

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
    // Made empty and private first: the engine writes into an empty file and keeps its bits.
    // The descriptor stays open while the engine writes, to send what it has written
    // on to the disk as it goes: the single flush at the end then finds little left,
    // and the disk works while the engine builds the next pages.
    FileIo::Descriptor output(FileIo::openForWriting(scratch, 0600, true));
    WritebackAhead ahead { output.get() };
    sqlite3_progress_handler(db, 64, &WritebackAhead::progress, &ahead);
    try {
        Statement vacuum(db, "vacuum into ?1");
        vacuum.bind(1, scratch);
        vacuum.step();
    } catch (...) {
        sqlite3_progress_handler(db, 0, nullptr, nullptr);
        throw;
    }
    sqlite3_progress_handler(db, 0, nullptr, nullptr);
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
    // Declared before the connections, so that it is closed after them.
    struct OldFile
    {
        int fd = -1;
        ~OldFile() { FileIo::closeInBackground(fd); }
        void reset(int descriptor) { fd = descriptor; }
    } old;
    try {
        // SQLite writes only into a file that does not exist yet.
        removeIfPresent(scratch);
        // No other program may write the library between the copy and the rename:
        // its change would be lost with the old file.
        Connection writers(connectionString(databasePath, password));
        Statement::execute(writers.handle(), "begin immediate");
        CompactDatabase(connectionString(databasePath, password), connectionString(scratch, password));
        syncFile(scratch);
        // The replaced file is let go of on a thread of its own (see FileIo::closeInBackground).
        old.reset(FileIo::openForReading(databasePath));
        replaceLibrary(scratch, databasePath);
        return true;
    } catch (const std::exception& error) {
        if (reason)
            *reason = QString::fromUtf8(error.what());
    } catch (...) {
        if (reason)
            *reason = u"未知错误"_s;
    }
    FileIo::remove(scratch);
    return false;
}

} // namespace Compaction
