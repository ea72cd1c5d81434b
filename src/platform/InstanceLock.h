#pragma once

#include <QString>

#include <memory>

class QLockFile;

// One data folder, one running program. Whatever works on the data folder (the windows,
// or any other front end) takes this lock before it touches anything there, and holds it
// until it ends: a second start on the same folder finds it held and stays out. A lock
// that is not a running copy's on this computer (left by a crash, a power cut, kill -9;
// empty, garbled, or another computer's) is taken over.
class InstanceLock
{
public:
    enum class State
    {
        Held, // this process holds the lock
        HeldElsewhere, // another running program holds it
        ReadOnly, // this user cannot write the folder: nothing in it can change, so nothing to lock
        Failed, // no lock could be made (errorText() says why)
    };

    explicit InstanceLock(const QString& dataFolder);
    ~InstanceLock(); // releases the lock
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Makes the data folder when missing and tries once, without waiting.
    State acquire();
    bool isHeld() const;

    // The process that holds the lock, after acquire() returned HeldElsewhere (0 when unknown).
    qint64 holderPid() const { return m_holderPid; }
    QString errorText() const { return m_error; }

    // The path of the local socket by which a later start reaches the running copy; the
    // same for every path (relative, through links) that leads to the same data folder. In
    // the user's runtime folder (XDG_RUNTIME_DIR), else in the data folder: places no other
    // account can write.
    QString channelName() const;
    // Whether a folder is this account's alone (owned by it, no access for others, no link).
    static bool isPrivateFolder(const QString& path);

    // The lock file's name inside the data folder.
    static QString fileName();

private:
    bool isLiveCopy() const; // whether the lock found names a copy running on this computer

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    qint64 m_holderPid = 0;
    QString m_error;
};
