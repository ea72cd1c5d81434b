#pragma once

// Notices when nobody has used the program for a while: every key, click, wheel
// turn, touch or mouse move anywhere in the application counts as use (an
// application event filter). idle() comes once the minutes have passed without
// any; then not again until there has been use.

#include <QObject>
#include <QTimer>

#include <functional>

class IdleWatch : public QObject
{
    Q_OBJECT
public:
    explicit IdleWatch(QObject* parent = nullptr);
    ~IdleWatch() override;

    void setMinutes(int minutes); // 0: never idle
    int minutes() const { return m_minutes; }
    // Paused (while the window is locked); resuming counts as use.
    void setPaused(bool paused);

    // Tests: the clock, in milliseconds, that stands for the time.
    void setClock(std::function<qint64()> now);
    // What the timer runs every few seconds: idle() when the time has passed.
    void check();
    void touch(); // use, now

signals:
    void idle();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<qint64()> m_now;
    QTimer m_timer;
    qint64 m_lastUse = 0;
    int m_minutes = 0;
    bool m_paused = false;
    bool m_told = false;
};
