#include "platform/InstanceLock.h"

#include "platform/FileIo.h"
#include "platform/Processes.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A local socket's name is at most 107 bytes (sun_path).
constexpr qsizetype maxSocketPath = 100;

QString canonicalFolder(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : canonical;
}

} // namespace

InstanceLock::InstanceLock(const QString& dataFolder)
    : m_folder(dataFolder)
{ }

InstanceLock::~InstanceLock() = default; // QLockFile unlocks when it goes

QString InstanceLock::fileName()
{
    return u"qinghe.lock"_s;
}

InstanceLock::State InstanceLock::acquire()
{
    if (isHeld())
        return State::Held;
    m_holderPid = 0;
    m_error.clear();
    if (!QDir().mkpath(m_folder)) {
        m_error = u"无法创建数据文件夹 \"%1\"。"_s.arg(QDir::toNativeSeparators(m_folder));
        return State::Failed;
    }
    const QString path = QDir(m_folder).filePath(fileName());
    m_lock = std::make_unique<QLockFile>(path);
    // A lock is stale only when the program that made it no longer runs, however long it has
    // been held: a family may keep the program open for days.
    m_lock->setStaleLockTime(0);
    bool held = m_lock->tryLock(0);
    if (!held && m_lock->error() == QLockFile::LockFailedError && !isLiveCopy())
        held = m_lock->removeStaleLockFile() && m_lock->tryLock(0);
    if (held) {
        FileIo::setMode(path, 0600); // the user's alone, like every file of the folder
        return State::Held;
    }

    const QLockFile::LockError error = m_lock->error();
    if (error == QLockFile::LockFailedError) {
        QString host;
        QString application;
        m_lock->getLockInfo(&m_holderPid, &host, &application);
        m_lock.reset();
        return State::HeldElsewhere;
    }
    m_lock.reset();
    if (error == QLockFile::PermissionError && !QFileInfo(m_folder).isWritable())
        return State::ReadOnly;
    m_error = u"无法锁定数据文件夹 \"%1\"。"_s.arg(QDir::toNativeSeparators(m_folder));
    return State::Failed;
}

bool InstanceLock::isLiveCopy() const
{
    // Beyond QLockFile's own rules (the process named is gone, or runs another program): a lock
    // that names no process (empty, garbled, process 0) or one on another computer holds
    // nothing here. A copy that is writing its lock this moment gets a moment to finish.
    qint64 pid = 0;
    QString host;
    QString application;
    bool readable = m_lock->getLockInfo(&pid, &host, &application);
    if (!readable || pid <= 0) {
        QThread::msleep(200);
        readable = m_lock->getLockInfo(&pid, &host, &application);
    }
    if (!readable || pid <= 0)
        return false;
    if (!host.isEmpty() && host != QSysInfo::machineHostName())
        return false;
    return !Processes::isGone(pid) && Processes::runsProgram(pid, application);
}

bool InstanceLock::isHeld() const
{
    return m_lock && m_lock->isLocked();
}

QString InstanceLock::channelName() const
{
    const QString folder = canonicalFolder(m_folder);
    // The account (its home folder) is part of the name: one user never reaches another's copy.
    const QByteArray key = (QDir::homePath() + u'\n' + folder).toUtf8();
    const QByteArray digest = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24);
    const QString name = u"qinghe-"_s + QString::fromLatin1(digest);
    // Where no other account can make the name first: the user's runtime folder, else the data
    // folder (both the user's alone), else, for a path too long for a socket's name, a folder of
    // this account's own among the temporary files.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return QDir(runtime).filePath(name);
    const QString inFolder = folder + u"/qinghe.socket"_s;
    if (QFile::encodeName(inFolder).size() < maxSocketPath)
        return inFolder;
    const QString temporary = QDir::tempPath() + u"/qinghe-"_s + QString::number(::getuid());
    ::mkdir(QFile::encodeName(temporary).constData(), 0700);
    return QDir(temporary).filePath(name); // listening fails in a folder that is not private
}

bool InstanceLock::isPrivateFolder(const QString& path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}
