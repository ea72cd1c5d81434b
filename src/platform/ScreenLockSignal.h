#pragma once

// The desktop saying that it locks the screen: the freedesktop screen saver's
// ActiveChanged(true) on the session bus (GNOME's and KDE's paths too), and
// logind's Lock signal for this login session on the system bus. Either gives
// locked(). Where there is no bus, nothing is heard and nothing fails.

#include <QObject>

class ScreenLockSignal : public QObject
{
    Q_OBJECT
public:
    explicit ScreenLockSignal(QObject* parent = nullptr);

    // Whether any bus is listened to.
    bool isListening() const { return m_listening; }

    // logind's object path of a session id ("2" → "/org/freedesktop/login1/session/_32").
    static QString sessionPath(const QString& sessionId);

signals:
    void locked();

public slots:
    // Where the buses deliver (and a test stands in for them).
    void screenSaverActiveChanged(bool active);
    void sessionLock();

private:
    bool m_listening = false;
};
