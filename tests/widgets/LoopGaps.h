#pragma once

// Measures how long the window's thread goes without its event loop: a 20 ms
// timer notes the longest time between two of its ticks.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class LoopGaps : public QObject
{
public:
    LoopGaps()
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_longest = qMax(m_longest, m_clock.restart());
        });
        m_clock.start();
        m_timer.start();
    }
    // The longest gap so far, in milliseconds (the last one, up to now, included).
    qint64 longest() const { return qMax(m_longest, m_clock.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};
