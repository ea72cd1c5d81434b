#include "platform/InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

using namespace Qt::StringLiterals;

namespace {

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
    m_lock = std::make_unique<QLockFile>(QDir(m_folder).filePath(fileName()));
    // A lock is stale only when the program that made it no longer runs, however long it has
    // been held: a family may keep the program open for days.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return State::Held;

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

bool InstanceLock::isHeld() const
{
    return m_lock && m_lock->isLocked();
}

QString InstanceLock::channelName() const
{
    // The account (its home folder) is part of the name: one user never reaches another's copy.
    const QByteArray key = (QDir::homePath() + u'\n' + canonicalFolder(m_folder)).toUtf8();
    const QByteArray digest = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24);
    return u"qinghe-"_s + QString::fromLatin1(digest);
}
