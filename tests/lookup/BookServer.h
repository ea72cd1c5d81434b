#pragma once

// A local HTTP server standing in for the book sources: each request goes to
// route(), whose answer is sent after its delay. Counts the requests and how
// many were open at once. Loopback only; never the internet.

#include <QByteArray>
#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>

class BookServer : public QObject
{
public:
    struct Reply
    {
        Reply(int status = 200, QByteArray body = {}, int delayMs = 0)
            : status(status)
            , body(std::move(body))
            , delayMs(delayMs)
        { }
        int status = 200;
        QByteArray body;
        int delayMs = 0;
        QByteArray location; // a redirect's target
        QByteArray contentType = "application/json; charset=UTF-8";
        bool sendLength = true; // false: the answer ends when the connection closes
        bool never = false; // no answer at all
    };
    // Gets the path with its query, e.g. "/api/books?bibkeys=ISBN:978...".
    std::function<Reply(const QByteArray& target)> route;

    BookServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    QUrl base() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort())); }
    quint16 port() const { return m_server.serverPort(); }
    int requests() const { return m_requests; }
    int mostAtOnce() const { return m_mostAtOnce; }
    QList<QByteArray> targets() const { return m_targets; }
    void resetCounts()
    {
        m_requests = 0;
        m_mostAtOnce = 0;
        m_targets.clear();
    }

private:
    void serve(QTcpSocket* socket)
    {
        socket->setParent(this);
        auto* buffer = new QByteArray;
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
            delete buffer;
            socket->deleteLater();
        });
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            if (!buffer->contains("\r\n\r\n") || buffer->startsWith("DONE"))
                return;
            const QByteArray line = buffer->left(buffer->indexOf("\r\n"));
            *buffer = "DONE";
            const QList<QByteArray> parts = line.split(' ');
            const QByteArray target = parts.value(1);
            ++m_requests;
            m_targets << target;
            m_open += 1;
            m_mostAtOnce = qMax(m_mostAtOnce, m_open);
            const Reply reply = route ? route(target) : Reply { 404, "{}" };
            if (reply.never)
                return;
            QPointer<QTcpSocket> guarded(socket);
            QTimer::singleShot(reply.delayMs, this, [this, guarded, reply] {
                m_open -= 1;
                if (!guarded)
                    return;
                answer(guarded, reply);
            });
        });
    }

    static QByteArray reason(int status)
    {
        switch (status) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 404:
            return "Not Found";
        default:
            return "Internal Server Error";
        }
    }

    void answer(QTcpSocket* socket, const Reply& reply)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason(reply.status) + "\r\n";
        head += "Content-Type: " + reply.contentType + "\r\n";
        if (!reply.location.isEmpty())
            head += "Location: " + reply.location + "\r\n";
        if (reply.sendLength)
            head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        socket->write(head);
        socket->write(reply.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    int m_requests = 0;
    int m_open = 0;
    int m_mostAtOnce = 0;
    QList<QByteArray> m_targets;
};
