#include "backup/Backup.h"

#include "data/SqliteHandle.h"
#include "data/TextCompare.h"
#include "data/udata.h"
#include "format/BackupFormat.h"
#include "format/Companion.h"
#include "format/StoreNames.h"
#include "platform/DataFolder.h"
#include "platform/FileIo.h"
#include "platform/Processes.h"
#include "platform/TempFiles.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <archive.h>
#include <archive_entry.h>
#include <sqlite3.h>

#include <cerrno>

using namespace Qt::StringLiterals;
using namespace BackupFormat;

namespace {

constexpr qint64 chunkSize = 1 << 20;
constexpr int pagesPerStep = 1024;
constexpr qint64 writeBehind = 32 << 20;

// The temporary files of one write, removed however it ends.
struct Leftovers
{
    QStringList paths;
    ~Leftovers()
    {
        for (const QString& path : paths)
            QFile::remove(path);
    }
};

struct ArchiveWriter
{
    archive* a = archive_write_new();
    ~ArchiveWriter() { archive_write_free(a); }
    void check(int rc, const QString& target) const
    {
        if (rc < ARCHIVE_WARN)
            fail(u"无法写入备份文件 %1: %2"_s.arg(
                QDir::toNativeSeparators(target), QString::fromUtf8(archive_error_string(a))));
    }
};

} // namespace

Backup::Backup(Connection& connection)
    : m_connection(connection)
{ }

QString Backup::defaultFileName(const QDate& date)
{
    return u"青禾书屋备份-%1.qhbak"_s.arg(date.toString(u"yyyyMMdd"_s));
}

void Backup::setProgress(Progress progress)
{
    m_progress = std::move(progress);
}

void Backup::cancel()
{
    m_cancel = true;
}

bool Backup::write(const QString& target)
{
    m_cancel = false;
    m_result = {};
    sqlite3* source = m_connection.handle();
    const QFileInfo targetInfo(target);
    const QString shown = QDir::toNativeSeparators(targetInfo.absoluteFilePath());
    if (DataFolder::isProgramFile(target))
        fail(u"不能把备份写到 %1：那是书库数据文件夹中的文件，请另选一个位置。"_s.arg(shown));
    const QString pid = QString::number(QCoreApplication::applicationPid());
    // The snapshot holds the passwords: it stays in the private data folder, whatever the target.
    const QString snapshotPath = AppPaths::path(u"backup-snapshot-%1.db"_s.arg(pid));
    const QString temporary = targetInfo.absolutePath() + u"/."_s + targetInfo.fileName() + u'.' + pid + u".tmp"_s;
    // Named on the list of temporary files before it exists; struck off after the files went.
    const TempFiles::Recorded listed(temporary);
    Leftovers leftovers { { snapshotPath, snapshotPath + u"-journal"_s, temporary } };
    // What a write to the same name left when its process was killed.
    const QString prefix = u'.' + targetInfo.fileName() + u'.';
    const QDir folder = targetInfo.absoluteDir();
    for (const QString& name : folder.entryList({ prefix + u'*' }, QDir::Files | QDir::Hidden)) {
        bool numeric = false;
        const qint64 pid = name.mid(prefix.size()).section(u'.', 0, 0).toLongLong(&numeric);
        if (numeric && Processes::isGone(pid))
            QFile::remove(folder.filePath(name));
    }

    qint64 done = 0;
    qint64 total = scalar(source, "pragma page_count").toLongLong() * scalar(source, "pragma page_size").toLongLong();
    const auto report = [&](qint64 step) {
        done += step;
        if (m_progress)
            m_progress(done, std::max(total, done));
        return !m_cancel;
    };

    // 1. The snapshot, page by page through the engine's online backup.
    SqliteHandle snapshot;
    QFile::remove(snapshotPath);
    FileIo::Descriptor(FileIo::openForWriting(snapshotPath, 0600, true)); // the engine keeps these bits
    if (sqlite3_open_v2(QFile::encodeName(snapshotPath).constData(), &snapshot.db,
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK)
        fail(u"无法写入备份文件 %1: %2"_s.arg(shown, QString::fromUtf8(sqlite3_errmsg(snapshot.db))));
    TextCompare::registerOn(snapshot.db);
    // A scratch file: the archive it goes into is what gets flushed to the disk.
    sqlite3_exec(snapshot.db, "pragma synchronous = off; pragma journal_mode = off", nullptr, nullptr, nullptr);
    sqlite3_backup* copy = sqlite3_backup_init(snapshot.db, "main", source, "main");
    if (!copy)
        fail(u"无法备份数据库: %1"_s.arg(QString::fromUtf8(sqlite3_errmsg(snapshot.db))));
    int rc = SQLITE_OK;
    qint64 copied = 0;
    while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
        if (rc != SQLITE_OK)
            sqlite3_sleep(10);
        rc = sqlite3_backup_step(copy, pagesPerStep);
        const qint64 now = qint64(sqlite3_backup_pagecount(copy) - sqlite3_backup_remaining(copy))
            * scalar(snapshot.db, "pragma page_size").toLongLong();
        if (!report(now - copied)) {
            sqlite3_backup_finish(copy);
            return false;
        }
        copied = now;
    }
    sqlite3_backup_finish(copy);
    if (rc != SQLITE_DONE)
        fail(u"无法备份数据库: %1"_s.arg(QString::fromUtf8(sqlite3_errstr(rc))));

    // 2. What the snapshot holds: its counts and the store files of its rows.
    m_result.books = scalar(snapshot.db, "select count(*) from baseshu").toInt();
    m_result.ebooks = scalar(snapshot.db, "select count(*) from dzbook").toInt();
    QStringList names;
    {
        QSet<QString> seen;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(snapshot.db, "select filename from dzbook order by id", -1, &stmt, nullptr) != SQLITE_OK)
            fail(QString::fromUtf8(sqlite3_errmsg(snapshot.db)));
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const QString name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
            if (name.isEmpty() || seen.contains(name))
                continue;
            seen.insert(name);
            names << name;
        }
        sqlite3_finalize(stmt);
    }
    // The e-books in the recycle bin: their files wait in the store's bin folder.
    QStringList binned;
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(snapshot.db, "select filename from qh_trash_ebooks order by trash_id", -1, &stmt,
                nullptr)
            == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const QString name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
                if (!name.isEmpty() && !binned.contains(name) && !names.contains(name))
                    binned << name;
            }
        }
        sqlite3_finalize(stmt);
    }
    snapshot.close();

    const QString store = AppPaths::path(u"corvina"_s);
    struct Item
    {
        QString entry, path;
        qint64 size;
    };
    QList<Item> items { { QString::fromLatin1(databaseEntry), snapshotPath, QFileInfo(snapshotPath).size() } };
    for (const QString& name : std::as_const(names)) {
        const QFileInfo file(store + u'/' + name);
        if (!isStoreFileName(name) || !file.isFile()) {
            m_result.missing << name;
            continue;
        }
        items.append({ QString::fromLatin1(storePrefix) + name, file.absoluteFilePath(), file.size() });
        // The book's text goes with it, so a restored library need not read its books again.
        const QString companion = Companion::fileName(name);
        const QFileInfo text(store + u'/' + companion);
        if (text.isFile())
            items.append({ QString::fromLatin1(storePrefix) + companion, text.absoluteFilePath(), text.size() });
    }
    // A file of the bin missing is no loss to report: the book was deleted.
    const QString bin = store + u'/' + QLatin1String(StoreNames::binFolder);
    for (const QString& name : std::as_const(binned)) {
        for (const QString& file : { name, Companion::fileName(name) }) {
            const QFileInfo info(bin + u'/' + file);
            if (isStoreFileName(name) && info.isFile())
                items.append({ QString::fromLatin1(binPrefix) + file, info.absoluteFilePath(), info.size() });
        }
    }
    // Files of the store that no row names (the e-book page offers them back) stay out.
    const QSet<QString> named(names.begin(), names.end());
    for (const QString& name : QDir(store).entryList(QDir::Files | QDir::Hidden))
        m_result.unlisted += isStoreFileName(name) && !Companion::isCompanionName(name) && !named.contains(name) ? 1 : 0;
    total = done;
    for (const Item& item : std::as_const(items))
        total += item.size;

    // 3. The archive, under a temporary name beside the target.
    const FileIo::Descriptor file(FileIo::openForWriting(temporary, 0600, false));
    if (!file.isOpen())
        fail(u"无法写入备份文件 %1: %2"_s.arg(shown, FileIo::errorText(errno)));
    const int fd = file.get();
    const Utf8Names utf8Names;
    ArchiveWriter writer;
    writer.check(archive_write_set_format_pax_restricted(writer.a), target);
    writer.check(archive_write_set_bytes_per_block(writer.a, int(chunkSize)), target);
    writer.check(archive_write_set_bytes_in_last_block(writer.a, 1), target);
    writer.check(archive_write_open_fd(writer.a, fd), target);

    const auto header = [&](const QString& name, qint64 size, qint64 mtime) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, name.toUtf8().constData());
        archive_entry_set_size(entry, size);
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_mtime(entry, mtime, 0);
        const int rc = archive_write_header(writer.a, entry);
        archive_entry_free(entry);
        writer.check(rc, target);
    };
    // The disk starts writing while the archive is still being made, so that the flush at
    // the end has little left to do and dirty pages never pile up.
    qint64 unflushed = 0;
    qint64 flushed = 0;
    const auto data = [&](const char* bytes, qint64 size) {
        if (archive_write_data(writer.a, bytes, size_t(size)) != size)
            writer.check(ARCHIVE_FATAL, target);
        if ((unflushed += size) >= writeBehind) {
            const qint64 end = FileIo::seek(fd, 0, true);
            FileIo::startWriteback(fd, flushed, end - flushed);
            flushed = end;
            unflushed = 0;
        }
    };

    const QByteArray marker = QByteArray(markerText) + QByteArray::number(version) + '\n';
    header(QString::fromLatin1(markerEntry), marker.size(), QDateTime::currentSecsSinceEpoch());
    data(marker.constData(), marker.size());

    QJsonArray entries;
    QByteArray buffer(chunkSize, Qt::Uninitialized);
    for (const Item& item : std::as_const(items)) {
        QFile file(item.path);
        if (!file.open(QIODevice::ReadOnly))
            fail(u"无法读取 %1: %2"_s.arg(QDir::toNativeSeparators(item.path), file.errorString()));
        header(item.entry, item.size, QFileInfo(file).lastModified().toSecsSinceEpoch());
        Sha256 sum;
        qint64 left = item.size;
        while (left > 0) {
            const qint64 got = file.read(buffer.data(), std::min(left, chunkSize));
            if (got <= 0)
                fail(u"无法读取 %1: 文件在备份时变短了"_s.arg(QDir::toNativeSeparators(item.path)));
            sum.add(buffer.constData(), got);
            data(buffer.constData(), got);
            left -= got;
            if (!report(got))
                return false;
        }
        entries.append(QJsonObject {
            { u"name"_s, item.entry }, { u"size"_s, item.size }, { u"sha256"_s, QString::fromLatin1(sum.hex()) } });
        if (item.entry != QLatin1String(databaseEntry) && !Companion::isCompanionName(item.entry)
            && !item.entry.startsWith(QLatin1String(binPrefix)))
            ++m_result.storeFiles; // books; their text companions go unsaid
    }

    const QJsonObject manifest { { u"format"_s, QString::fromUtf8(manifestFormat) }, { u"version"_s, version },
        { u"created"_s, QDateTime::currentDateTime().toString(Qt::ISODate) }, { u"books"_s, m_result.books },
        { u"ebooks"_s, m_result.ebooks }, { u"entries"_s, entries } };
    const QByteArray manifestBytes = QJsonDocument(manifest).toJson();
    header(QString::fromLatin1(manifestEntry), manifestBytes.size(), QDateTime::currentSecsSinceEpoch());
    data(manifestBytes.constData(), manifestBytes.size());
    writer.check(archive_write_close(writer.a), target);
    if (m_cancel)
        return false;

    // 4. On the disk, then under its name.
    syncFd(fd, temporary);
    m_result.bytes = QFileInfo(temporary).size();
    renameDurably(temporary, targetInfo.absoluteFilePath());
    return true;
}
