#include "platform/DataFolder.h"

#include "Exception.h"
#include "platform/AppPaths.h"
#include "platform/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

constexpr mode_t folderMode = 0700;
constexpr mode_t fileMode = 0600;

struct Identity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const Identity&) const = default;
};

bool identityOf(const QString& path, Identity& id, struct stat* info = nullptr)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    id = { st.st_dev, st.st_ino };
    if (info)
        *info = st;
    return true;
}

// Names the program keeps directly in the data folder; a name that starts with one of
// the prefixes is one of them too ("corvina.恢复前-…", "Temp.mdb-journal", "restore.journal.tmp").
bool isOwnName(const QString& name)
{
    static const QStringList exact { u"data"_s, u"corvina"_s, u"temp"_s, u"restore-staging"_s };
    static const QStringList prefixes { u"corvina."_s, u"restore.journal"_s, u"skinh.she"_s, u"Temp.mdb"_s,
        u"temporaries.list"_s, u"backup-snapshot-"_s, u".qinghe-"_s, u"qinghe.lock"_s,
        u"qinghe.socket"_s };
    if (exact.contains(name))
        return true;
    for (const QString& prefix : prefixes)
        if (name.startsWith(prefix))
            return true;
    return false;
}

// The folder a path's file would be in, all of its links followed.
QString realFolderOf(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    char resolved[PATH_MAX];
    if (!::realpath(folder.constData(), resolved))
        return QFileInfo(path).absolutePath();
    return QFile::decodeName(resolved);
}

// The program's files that another name may be a hard link to.
bool isHardLinkToOwnFile(const QString& path, const QString& dataDir)
{
    struct stat info
    {
    };
    Identity target;
    if (!identityOf(path, target, &info) || !S_ISREG(info.st_mode) || info.st_nlink < 2)
        return false;
    QDirIterator it(
        dataDir, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        Identity id;
        if (identityOf(it.next(), id) && id == target)
            return true;
    }
    return false;
}

void chmodIfNeeded(const QString& path, bool folder)
{
    struct stat info
    {
    };
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), &info) != 0 || S_ISLNK(info.st_mode))
        return;
    const mode_t wanted = folder ? folderMode : fileMode;
    if ((info.st_mode & 07777) != wanted && (S_ISDIR(info.st_mode) || S_ISREG(info.st_mode)))
        ::chmod(name.constData(), wanted); // another account's file stays as it is
}

} // namespace

namespace DataFolder {

bool isProgramFile(const QString& path)
{
    const QString dataDir = AppPaths::dataDir();
    Identity data;
    if (path.isEmpty() || !identityOf(dataDir, data))
        return false;
    const QString target = SafeFile::resolveLinks(path);
    // Up from the target's folder: is the data folder one of its ancestors, and by which name?
    QString below = QFileInfo(target).fileName();
    QString folder = realFolderOf(target);
    for (int depth = 0; depth < 256; ++depth) {
        Identity id;
        if (identityOf(folder, id) && id == data)
            return isOwnName(below) || QFileInfo(target).isSymLink();
        if (folder == u"/"_s || folder.isEmpty())
            break;
        below = QFileInfo(folder).fileName();
        folder = QFileInfo(folder).absolutePath();
    }
    Identity id, program;
    if (identityOf(target, id) && id == data)
        return true;
    if (QCoreApplication::instance() && identityOf(QCoreApplication::applicationFilePath(), program) && id == program)
        return true;
    return isHardLinkToOwnFile(target, dataDir);
}

void refuseProgramFile(const QString& path)
{
    if (!isProgramFile(path))
        return;
    throw EFCreateError(u"不能写入 %1：那是书库数据文件夹(%2)中的文件，请另选一个位置。"_s
                            .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(AppPaths::dataDir()))
                            .toStdString());
}

void makeFolder(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    if (QFileInfo(clean).isDir())
        return;
    const QString parent = QFileInfo(clean).absolutePath();
    if (parent != clean)
        makeFolder(parent);
    if (::mkdir(QFile::encodeName(clean).constData(), folderMode) != 0 && errno != EEXIST)
        throw EFCreateError(u"无法创建文件夹 \"%1\"：%2"_s
                                .arg(QDir::toNativeSeparators(clean), QString::fromLocal8Bit(std::strerror(errno)))
                                .toStdString());
}

void makePrivate(const QString& path)
{
    chmodIfNeeded(path, QFileInfo(path).isDir());
}

void makeAllPrivate()
{
    const QString dataDir = AppPaths::dataDir();
    if (!QFileInfo(dataDir).isDir())
        return;
    chmodIfNeeded(dataDir, true);
    const QDir top(dataDir);
    for (const QFileInfo& entry :
        top.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (!isOwnName(entry.fileName()) || entry.isSymLink())
            continue;
        chmodIfNeeded(entry.absoluteFilePath(), entry.isDir());
        if (!entry.isDir())
            continue;
        QDirIterator it(entry.absoluteFilePath(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo file(it.next());
            if (!file.isSymLink())
                chmodIfNeeded(file.absoluteFilePath(), file.isDir());
        }
    }
    // The library reached through a link from "data" is private too.
    const QString library = dataDir + u"/data/AccessMng.mdb"_s;
    if (QFileInfo(library).isSymLink())
        ::chmod(QFile::encodeName(SafeFile::resolveLinks(library)).constData(), fileMode);
}

} // namespace DataFolder
