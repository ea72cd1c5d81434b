#pragma once

// Locks the program when the family walks away: after the minutes without use
// (IdleWatch) and when the desktop locks its screen (ScreenLockSignal).
//
// Locked, every window of the program is covered (the main window and any dialog
// open over it, and any that opens meanwhile but for message boxes, which show no
// book), and the prompt TFmlock asks the logged-in account's password above them all.
// The hooks run first: the main window closes the document being read, drops
// its decrypted pages and the drag copies nobody took. The right password takes
// the covers away, so every window is where it was; a wrong one is refused with
// "密码错误", as at login.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class Connection;
class IdleWatch;
class ScreenLockSignal;
class TFmlock;
class QWidget;

class AppLock : public QObject
{
    Q_OBJECT
public:
    // window: the main window, over which the prompt stands.
    AppLock(Connection& connection, QWidget* window);
    ~AppLock() override;

    // The account logged in; empty: the first account.
    void setAccount(const QString& user) { m_user = user; }
    void setIdleMinutes(int minutes);
    void setHooks(std::function<void()> onLock, std::function<void()> onUnlock);

    IdleWatch& idleWatch() const { return *m_idle; }
    ScreenLockSignal& screenSignal() const { return *m_screen; }

    bool isLocked() const;
    TFmlock* prompt() const;
    void lock();
    // The prompt's 解锁: true when the password was right and the windows are back.
    bool unlock();

signals:
    void lockedChanged(bool locked);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cover(QWidget* window);
    QString account() const;

    Connection& m_connection;
    QWidget* m_window;
    IdleWatch* m_idle;
    ScreenLockSignal* m_screen;
    QString m_user;
    std::function<void()> m_onLock, m_onUnlock;
    QPointer<TFmlock> m_prompt;
    QList<QPointer<QWidget>> m_covers;
    QPointer<QWidget> m_focus;
};
