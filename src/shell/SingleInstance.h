#pragma once

#include "platform/InstanceLock.h"

#include <QObject>

class QLocalServer;

// The one running copy of the program on its data folder. The first start holds the
// folder's lock and listens on a local socket; a later start on the same folder finds
// the lock held, asks the running copy to bring its window to the front, and ends.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Start
    {
        Run, // this copy runs: the lock is held
        Raised, // another copy runs and has been asked to show its window
        Refused, // no lock (another copy that does not answer, or a folder that cannot be locked)
    };
    Start start();

    // What to tell the user after Refused.
    QString refusal() const { return m_refusal; }

    // Brings the program's window to the front: the open dialog when there is one.
    static void raiseWindows();

private:
    void listen();
    bool askRunningCopy();

    InstanceLock m_lock;
    QLocalServer* m_server = nullptr;
    QString m_refusal;
};
