#include "shell/SingleInstance.h"

#include "platform/DataFolder.h"
#include "platform/Processes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

const QByteArray RaiseRequest = "raise\n";
const QByteArray RaiseDone = "shown\n";

// What a peer may send (a line), and how long it may take to send it.
constexpr qint64 MaxMessage = 4096;
constexpr int IdleTimeoutMs = 1000;

// How long a later start keeps trying to reach a copy that is still starting.
constexpr int ReachTimeoutMs = 4000;

void bringToFront(QWidget* window)
{
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

SingleInstance::SingleInstance(const QString& dataFolder, QObject* parent)
    : QObject(parent)
    , m_lock(dataFolder)
{ }

SingleInstance::~SingleInstance() = default;

SingleInstance::Start SingleInstance::start()
{
    switch (m_lock.acquire()) {
    case InstanceLock::State::Held:
        listen();
        return Start::Run;
    case InstanceLock::State::ReadOnly:
        return Start::Run; // a library on a read-only medium: every copy can only read it
    case InstanceLock::State::Failed:
        m_refusal = m_lock.errorText();
        return Start::Refused;
    case InstanceLock::State::HeldElsewhere:
        break;
    }
    if (askRunningCopy())
        return Start::Raised;
    m_refusal
        = u"青禾家庭图书管理系统已经在运行（进程 %1），它正在使用同一个数据文件夹。\n请切换到已经打开的窗口。"_s.arg(
            m_lock.holderPid());
    return Start::Refused;
}

void SingleInstance::listen()
{
    const QString channel = m_lock.channelName();
    DataFolder::makePrivate(QFileInfo(channel).absolutePath()); // the data folder, made 0700 a moment early
    if (!InstanceLock::isPrivateFolder(QFileInfo(channel).absolutePath())) {
        qWarning("Later starts cannot reach this copy: %s is not this user's alone", qPrintable(channel));
        return;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a copy that crashed: ours now, since we hold the lock.
    QLocalServer::removeServer(channel);
    if (!m_server->listen(channel)) {
        qWarning("Later starts cannot reach this copy: %s", qPrintable(m_server->errorString()));
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            // Another account's program is not heard; nor is one that says nothing, or too much.
            if (!Processes::peerIsThisUser(peer->socketDescriptor())) {
                peer->abort();
                peer->deleteLater();
                continue;
            }
            peer->setReadBufferSize(MaxMessage);
            QTimer::singleShot(IdleTimeoutMs, peer, [peer] {
                peer->abort();
                peer->deleteLater();
            });
            connect(peer, &QLocalSocket::readyRead, peer, [peer] {
                if (!peer->canReadLine()) {
                    if (peer->bytesAvailable() >= MaxMessage) {
                        peer->abort();
                        peer->deleteLater();
                    }
                    return;
                }
                if (peer->readLine(MaxMessage) == RaiseRequest) {
                    raiseWindows();
                    peer->write(RaiseDone);
                    peer->flush();
                }
                peer->disconnectFromServer();
            });
        }
    });
}

bool SingleInstance::askRunningCopy()
{
    // The running copy may be between taking the lock and listening: try for a while.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ReachTimeoutMs) {
        QLocalSocket socket;
        socket.connectToServer(m_lock.channelName());
        if (socket.waitForConnected(1000)) {
            if (!Processes::peerIsThisUser(socket.socketDescriptor()))
                return false; // a socket another account made: not our copy
            socket.write(RaiseRequest);
            socket.waitForBytesWritten(1000);
            while (!socket.canReadLine() && socket.waitForReadyRead(ReachTimeoutMs)) { }
            return socket.readLine() == RaiseDone;
        }
        QThread::msleep(200);
    }
    return false;
}

void SingleInstance::raiseWindows()
{
    QWidget* front = QApplication::activeModalWidget();
    QList<QWidget*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && !(widget->windowType() == Qt::Popup || widget->windowType() == Qt::ToolTip)
            && widget != front)
            windows.append(widget);
    }
    for (QWidget* window : windows)
        bringToFront(window);
    if (front)
        bringToFront(front);
}
