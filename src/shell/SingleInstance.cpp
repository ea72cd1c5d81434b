#include "shell/SingleInstance.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

const QByteArray RaiseRequest = "raise\n";
const QByteArray RaiseDone = "shown\n";

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
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a copy that crashed: ours now, since we hold the lock.
    QLocalServer::removeServer(m_lock.channelName());
    if (!m_server->listen(m_lock.channelName())) {
        qWarning("Later starts cannot reach this copy: %s", qPrintable(m_server->errorString()));
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, peer, [peer] {
                if (!peer->canReadLine())
                    return;
                if (peer->readLine() == RaiseRequest) {
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
