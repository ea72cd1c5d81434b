#include "backup/Restore.h"

#include "backup/LibraryCheck.h"
#include "data/Schema.h"
#include "data/SqliteHandle.h"
#include "data/TextCompare.h"
#include "data/udata.h"
#include "format/BackupFormat.h"
#include "platform/FileIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <archive.h>
#include <archive_entry.h>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using namespace BackupFormat;

namespace {

constexpr qint64 chunkSize = 1 << 20;
constexpr qint64 manifestLimit = 64 << 20;

QString stagingPath()
{
    return AppPaths::path(u"restore-staging"_s);
}

QString journalPath()
{
    return AppPaths::path(u"restore.journal"_s);
}

void removeTree(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        QDir(path).removeRecursively();
    else if (info.exists() || info.isSymLink())
        QFile::remove(path);
}

// The live library file, with whatever the engine keeps beside it.
void removeLibrary(const QString& library)
{
    for (const char* suffix : { "-journal", "-wal", "-shm", "" })
        QFile::remove(library + QLatin1String(suffix));
}

bool exists(const QString& path)
{
    return QFileInfo::exists(path);
}

// The interrupted swap put back the way it was: the asides return to their places.
void rollBack(const QJsonObject& journal)
{
    const QString library = journal[u"library"_s].toString();
    const QString libraryAside = journal[u"libraryAside"_s].toString();
    const QString store = journal[u"store"_s].toString();
    const QString storeAside = journal[u"storeAside"_s].toString();
    if (exists(libraryAside)) {
        removeLibrary(library);
        renameDurably(libraryAside, library);
    }
    if (exists(storeAside)) {
        removeTree(store);
        renameDurably(storeAside, store);
    } else if (!journal[u"hadStore"_s].toBool()) {
        removeTree(store);
    }
}

// The swap was accepted: only the asides are left to go.
void rollForward(const QJsonObject& journal)
{
    removeLibrary(journal[u"libraryAside"_s].toString());
    removeTree(journal[u"storeAside"_s].toString());
}

void finish(const QJsonObject& journal)
{
    removeTree(journal[u"staging"_s].toString());
    QFile::remove(journalPath());
    syncPath(AppPaths::dataDir());
}

// What is wrong with a journal: every path it names must be the one a restore of this
// data folder names, the asides those with the suffix and time stamp apply() gives them.
QString journalProblem(const QJsonObject& journal)
{
    const QString library = Connection(TDataModule2::defaultConnectionString()).databasePath();
    const QString store = AppPaths::path(u"corvina"_s);
    const QString aside = u".恢复前-"_s;
    static const QRegularExpression stampForm(u"^[0-9]{8}-[0-9]{6}$"_s);
    const QString libraryAside = journal[u"libraryAside"_s].toString();
    const QString stamp = libraryAside.mid(library.size() + aside.size());
    const QString phase = journal[u"phase"_s].toString();
    if (phase != u"swap"_s && phase != u"commit"_s)
        return u"阶段不明"_s;
    if (journal[u"library"_s].toString() != library)
        return u"书库文件的位置不对"_s;
    if (journal[u"store"_s].toString() != store)
        return u"电子书库文件夹的位置不对"_s;
    if (journal[u"staging"_s].toString() != stagingPath())
        return u"恢复暂存文件夹的位置不对"_s;
    if (!libraryAside.startsWith(library + aside) || !stampForm.match(stamp).hasMatch())
        return u"原书库的暂存位置不对"_s;
    if (journal[u"storeAside"_s].toString() != store + aside + stamp)
        return u"原电子书库的暂存位置不对"_s;
    if (!journal[u"hadStore"_s].isBool())
        return u"内容不全"_s;
    return {};
}

// The schema check of a backup's library against a fresh one made in the staging folder.
QString checkAgainstFresh(sqlite3* candidate, const QString& staging, const QString& password)
{
    const QString path = staging + u"/fresh.mdb"_s;
    struct Remove
    {
        QString path;
        ~Remove() { removeLibrary(path); }
    } remove { path };
    LibraryCheck::makeReference(path, password);
    SqliteHandle reference;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &reference.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail(QString::fromUtf8(sqlite3_errmsg(reference.db)));
    TextCompare::registerOn(reference.db);
    return LibraryCheck::problems(candidate, reference.db);
}

struct ArchiveReader
{
    archive* a = archive_read_new();
    ~ArchiveReader() { archive_read_free(a); }
    QString error() const { return QString::fromUtf8(archive_error_string(a)); }
};

// Removes the staging folder unless the verify went through.
struct StagingGuard
{
    QString path;
    bool keep = false;
    ~StagingGuard()
    {
        if (!keep)
            removeTree(path);
    }
};

struct Extracted
{
    qint64 size = 0;
    QByteArray sha256;
};

} // namespace

Restore::Restore(Connection& connection)
    : m_connection(connection)
{ }

Restore::~Restore()
{
    if (!m_staging.isEmpty())
        removeTree(m_staging);
}

void Restore::setProgress(Progress progress)
{
    m_progress = std::move(progress);
}

void Restore::cancel()
{
    m_cancel = true;
}

bool Restore::verify(const QString& path)
{
    m_cancel = false;
    m_summary = {};
    if (!m_staging.isEmpty())
        removeTree(m_staging);
    m_staging.clear();
    const QString shown = QDir::toNativeSeparators(path);
    if (exists(journalPath()))
        fail(u"上次的恢复没有完成，请重新启动程序后再试"_s);
    const QFileInfo file(path);
    if (!file.isFile())
        fail(u"找不到备份文件 %1"_s.arg(shown));
    const qint64 fileSize = file.size();
    const QString notOurs = u"%1 不是青禾书屋的备份文件"_s.arg(shown);

    const QString staging = stagingPath();
    removeTree(staging);
    StagingGuard guard { staging };
    if (!QDir().mkpath(staging + u"/corvina"_s))
        fail(u"无法建立文件夹 %1"_s.arg(QDir::toNativeSeparators(staging)));
    FileIo::setMode(staging, 0700);
    FileIo::setMode(staging + u"/corvina"_s, 0700);

    const Utf8Names utf8Names;
    ArchiveReader reader;
    archive_read_support_format_all(reader.a);
    archive_read_support_filter_all(reader.a);
    if (archive_read_open_filename(reader.a, QFile::encodeName(path).constData(), size_t(chunkSize)) != ARCHIVE_OK)
        fail(u"%1: %2"_s.arg(notOurs, reader.error()));

    // The marker comes first; anything else is another program's archive.
    archive_entry* entry = nullptr;
    if (archive_read_next_header(reader.a, &entry) < ARCHIVE_WARN
        || qstrcmp(archive_entry_pathname(entry), markerEntry) != 0)
        fail(notOurs);
    QByteArray marker(64, Qt::Uninitialized);
    const la_ssize_t markerSize = archive_read_data(reader.a, marker.data(), size_t(marker.size()));
    marker.truncate(std::max<la_ssize_t>(markerSize, 0));
    if (!marker.startsWith(markerText) || !marker.endsWith('\n'))
        fail(notOurs);
    bool numeric = false;
    const int markerVersion = marker.mid(qstrlen(markerText)).trimmed().toInt(&numeric);
    if (!numeric)
        fail(notOurs);
    if (markerVersion > version)
        fail(u"%1 是较新版本的青禾书屋写的备份(格式 %2)，这个版本无法恢复"_s.arg(shown).arg(markerVersion));

    // Every entry, unpacked into the staging folder with its size and sum.
    QHash<QString, Extracted> extracted;
    QByteArray manifestBytes;
    bool manifestSeen = false;
    QString last = QString::fromLatin1(markerEntry);
    QByteArray buffer(chunkSize, Qt::Uninitialized);
    for (;;) {
        const int rc = archive_read_next_header(reader.a, &entry);
        if (rc == ARCHIVE_EOF)
            break;
        if (rc < ARCHIVE_WARN)
            fail(u"备份文件已损坏(条目“%1”之后): %2"_s.arg(last, reader.error()));
        const char* utf8 = archive_entry_pathname_utf8(entry);
        const QString name = utf8 ? QString::fromUtf8(utf8) : QString::fromLocal8Bit(archive_entry_pathname(entry));
        last = name;
        const QString storeName = name.mid(qstrlen(storePrefix));
        QString target;
        if (name == QLatin1String(manifestEntry) && !manifestSeen)
            manifestSeen = true;
        else if (name == QLatin1String(databaseEntry))
            target = staging + u'/' + name;
        else if (name.startsWith(QLatin1String(storePrefix)) && isStoreFileName(storeName))
            target = staging + u"/corvina/"_s + storeName;
        else
            fail(u"备份文件中有不应有的条目“%1”"_s.arg(name));
        if (archive_entry_filetype(entry) != AE_IFREG || extracted.contains(name))
            fail(u"备份文件中的条目“%1”不对"_s.arg(name));

        QFile out(target);
        if (!target.isEmpty() && !out.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            fail(u"无法写入 %1: %2"_s.arg(QDir::toNativeSeparators(target), out.errorString()));
        Sha256 sum;
        qint64 size = 0;
        for (;;) {
            const la_ssize_t got = archive_read_data(reader.a, buffer.data(), size_t(buffer.size()));
            if (got < 0)
                fail(u"备份文件已损坏: 条目“%1”不完整(%2)"_s.arg(name, reader.error()));
            if (got == 0)
                break;
            size += got;
            if (target.isEmpty()) {
                if (manifestBytes.size() + got > manifestLimit)
                    fail(u"备份文件中的清单“%1”不对"_s.arg(name));
                manifestBytes.append(buffer.constData(), got);
                continue;
            }
            sum.add(buffer.constData(), got);
            if (out.write(buffer.constData(), got) != got)
                fail(u"无法写入 %1: %2"_s.arg(QDir::toNativeSeparators(target), out.errorString()));
            if (m_progress)
                m_progress(std::min<qint64>(archive_filter_bytes(reader.a, -1), fileSize), fileSize);
            if (m_cancel)
                return false;
        }
        if (archive_entry_size_is_set(entry) && size != archive_entry_size(entry))
            fail(u"备份文件已损坏: 条目“%1”不完整"_s.arg(name));
        if (target.isEmpty())
            continue;
        if (!out.flush())
            fail(u"无法写入 %1: %2"_s.arg(QDir::toNativeSeparators(target), out.errorString()));
        syncFd(out.handle(), target);
        extracted.insert(name, { size, sum.hex() });
    }

    // The manifest: every entry it names present, of its size and sum, and nothing more.
    if (!manifestSeen)
        fail(u"备份文件不完整: 缺少清单“%1”"_s.arg(QLatin1String(manifestEntry)));
    const QJsonObject manifest = QJsonDocument::fromJson(manifestBytes).object();
    if (manifest[u"format"_s].toString() != QString::fromUtf8(manifestFormat) || !manifest[u"entries"_s].isArray())
        fail(u"备份文件中的清单“%1”不对"_s.arg(QLatin1String(manifestEntry)));
    QSet<QString> listed;
    for (const QJsonValue& value : manifest[u"entries"_s].toArray()) {
        const QJsonObject item = value.toObject();
        const QString name = item[u"name"_s].toString();
        listed.insert(name);
        const auto found = extracted.constFind(name);
        if (found == extracted.cend())
            fail(u"备份文件不完整: 缺少条目“%1”"_s.arg(name));
        const qint64 size = item[u"size"_s].toInteger(-1);
        if (found->size != size)
            fail(u"备份文件已损坏: 条目“%1”应有 %2 字节，实有 %3 字节"_s.arg(name).arg(size).arg(found->size));
        if (found->sha256 != item[u"sha256"_s].toString().toLatin1())
            fail(u"备份文件已损坏: 条目“%1”的校验和(SHA-256)不符"_s.arg(name));
    }
    for (auto it = extracted.cbegin(); it != extracted.cend(); ++it)
        if (!listed.contains(it.key()))
            fail(u"备份文件中的条目“%1”不在清单中"_s.arg(it.key()));
    if (!extracted.contains(QLatin1String(databaseEntry)))
        fail(u"备份文件不完整: 缺少数据库“%1”"_s.arg(QLatin1String(databaseEntry)));

    // The library in it: opens, is whole, has our tables and our password.
    {
        const QString database = staging + u'/' + QLatin1String(databaseEntry);
        const QString bad = u"备份中的数据库“%1”无法使用: %2"_s.arg(QLatin1String(databaseEntry));
        SqliteHandle db;
        if (sqlite3_open_v2(QFile::encodeName(database).constData(), &db.db, SQLITE_OPEN_READWRITE, nullptr)
            != SQLITE_OK)
            fail(bad.arg(QString::fromUtf8(sqlite3_errmsg(db.db))));
        TextCompare::registerOn(db.db);
        QString stored;
        try {
            stored = Schema::storedPassword(db.db);
            const QString check = scalar(db.db, "pragma integrity_check");
            if (check != u"ok"_s)
                fail(bad.arg(check));
            // A backup of an earlier version is brought up to this one here, in the staging folder,
            // so that its tables can be held against those this version makes.
            const int version = scalar(db.db, "pragma user_version").toInt();
            if (version < Schema::latestVersion() && Schema::isLibrary(db.db))
                Schema::migrate(db.db);
            // Only a library of this program's own making takes the place of the one in use.
            const QString problem = checkAgainstFresh(db.db, staging, (m_reading ? *m_reading : m_connection).password());
            if (!problem.isEmpty())
                fail(u"备份中的书库不能使用(%1)，没有恢复"_s.arg(problem));
            m_summary.booksInBackup = scalar(db.db, "select count(*) from baseshu").toInt();
            m_summary.ebooksInBackup = scalar(db.db, "select count(*) from dzbook").toInt();
        } catch (const Exception& error) {
            const QString message = QString::fromStdString(error.message());
            fail(message.startsWith(u"备份中"_s) ? message : bad.arg(message));
        }
        if (!stored.isEmpty() && stored != (m_reading ? *m_reading : m_connection).password())
            fail(u"备份中的数据库密码与当前书库的不同，无法恢复"_s);
    }
    Connection& now = m_reading ? *m_reading : m_connection;
    m_summary.booksNow = now.scalar(u"select count(*) from baseshu"_s).toInt();
    m_summary.ebooksNow = now.scalar(u"select count(*) from dzbook"_s).toInt();
    {
        sqlite3* db = now.handle();
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "select filename from dzbook", -1, &stmt, nullptr) != SQLITE_OK)
            fail(QString::fromUtf8(sqlite3_errmsg(db)));
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            if (!extracted.contains(QLatin1String(storePrefix) + QString::fromUtf8(name)))
                ++m_summary.ebooksNotInBackup;
        }
        sqlite3_finalize(stmt);
    }
    m_summary.created = QDateTime::fromString(manifest[u"created"_s].toString(), Qt::ISODate);

    syncPath(staging + u"/corvina"_s);
    syncPath(staging);
    syncPath(AppPaths::dataDir());
    guard.keep = true;
    m_staging = staging;
    return true;
}

void Restore::apply()
{
    if (m_staging.isEmpty())
        fail(u"请先检查备份文件"_s);
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    const QString library = m_connection.databasePath();
    const QString store = AppPaths::path(u"corvina"_s);
    QJsonObject journal { { u"phase"_s, u"swap"_s }, { u"library"_s, library },
        { u"libraryAside"_s, library + u".恢复前-"_s + stamp }, { u"store"_s, store },
        { u"storeAside"_s, store + u".恢复前-"_s + stamp }, { u"hadStore"_s, QFileInfo(store).isDir() },
        { u"staging"_s, m_staging } };
    writeFileAtomically(journalPath(), QJsonDocument(journal).toJson());
    m_connection.close();
    try {
        renameDurably(library, journal[u"libraryAside"_s].toString());
        if (journal[u"hadStore"_s].toBool())
            renameDurably(store, journal[u"storeAside"_s].toString());
        renameDurably(m_staging + u'/' + QLatin1String(databaseEntry), library);
        renameDurably(m_staging + u"/corvina"_s, store);
        m_connection.open();
        const QString check = m_connection.scalar(u"pragma integrity_check"_s);
        if (check != u"ok"_s)
            fail(u"恢复的书库已损坏: %1"_s.arg(check));
        m_connection.scalar(u"select count(*) from baseshu"_s);
    } catch (const Exception& error) {
        m_connection.close();
        rollBack(journal);
        finish(journal);
        m_staging.clear();
        m_connection.open();
        fail(u"恢复没有成功，原来的书库已放回: %1"_s.arg(QString::fromStdString(error.message())));
    }
    journal[u"phase"_s] = u"commit"_s;
    writeFileAtomically(journalPath(), QJsonDocument(journal).toJson());
    rollForward(journal);
    finish(journal);
    m_staging.clear();
}

QString Restore::recoverAtStart()
{
    QFile::remove(journalPath() + u".tmp"_s);
    QFile file(journalPath());
    if (!file.exists()) {
        if (!exists(stagingPath()))
            return {};
        removeTree(stagingPath());
        return u"removed the staging folder of an unfinished restore"_s;
    }
    if (!file.open(QIODevice::ReadOnly))
        fail(u"无法读取 %1: %2"_s.arg(QDir::toNativeSeparators(journalPath()), file.errorString()));
    const QJsonObject journal = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    // Only a journal this program wrote is followed; anything else stays as it is.
    const QString problem = journalProblem(journal);
    if (!problem.isEmpty())
        fail(u"恢复日志 %1 不是本程序写的(%2)，没有做任何改动。请检查后删除这个文件。"_s.arg(
            QDir::toNativeSeparators(journalPath()), problem));
    const bool forward = journal[u"phase"_s].toString() == u"commit"_s;
    if (forward)
        rollForward(journal);
    else
        rollBack(journal);
    finish(journal);
    return forward ? u"completed an interrupted restore"_s : u"rolled back an interrupted restore"_s;
}
