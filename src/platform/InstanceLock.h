#pragma once

#include <QString>

#include <memory>

class QLockFile;

// One data folder, one running program. Whatever works on the data folder (the windows,
// or any other front end) takes this lock before it touches anything there, and holds it
// until it ends: a second start on the same folder finds it held and stays out. A lock
// left by a program that no longer runs (a crash, a power cut, kill -9) is taken over.
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

    // A name for the local socket by which a later start reaches the running copy; the
    // same for every path (relative, through links) that leads to the same data folder.
    QString channelName() const;

    // The lock file's name inside the data folder.
    static QString fileName();

private:
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    qint64 m_holderPid = 0;
    QString m_error;
};
