#include "platform/ScreenLockSignal.h"

#include <QDBusConnection>

using namespace Qt::StringLiterals;

ScreenLockSignal::ScreenLockSignal(QObject* parent)
    : QObject(parent)
{
    // The bus matches signals by their signature; it knows no pointer-to-member connects.
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        const QList<std::pair<QString, QString>> savers { { u"/org/freedesktop/ScreenSaver"_s, u"org.freedesktop.ScreenSaver"_s },
            { u"/ScreenSaver"_s, u"org.freedesktop.ScreenSaver"_s }, { u"/org/gnome/ScreenSaver"_s, u"org.gnome.ScreenSaver"_s } };
        for (const auto& [path, interface] : savers)
            m_listening |= session.connect(
                QString(), path, interface, u"ActiveChanged"_s, this, SLOT(screenSaverActiveChanged(bool)));
    }
    const QString sessionId = qEnvironmentVariable("XDG_SESSION_ID");
    QDBusConnection system = QDBusConnection::systemBus();
    if (!sessionId.isEmpty() && system.isConnected())
        m_listening |= system.connect(u"org.freedesktop.login1"_s, sessionPath(sessionId),
            u"org.freedesktop.login1.Session"_s, u"Lock"_s, this, SLOT(sessionLock()));
}

QString ScreenLockSignal::sessionPath(const QString& sessionId)
{
    // logind's escaping: letters and digits stay, but a leading digit; every other byte is "_xx".
    QString path = u"/org/freedesktop/login1/session/"_s;
    const QByteArray bytes = sessionId.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (letter || (digit && i > 0))
            path += QLatin1Char(c);
        else
            path += u'_' + QString::number(quint8(c), 16).rightJustified(2, u'0');
    }
    return path;
}

void ScreenLockSignal::screenSaverActiveChanged(bool active)
{
    if (active)
        emit locked();
}

void ScreenLockSignal::sessionLock()
{
    emit locked();
}
