#include "shell/IdleWatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>

namespace {

qint64 monotonicNow()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

bool isUse(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
    case QEvent::ShortcutOverride:
        return true;
    default:
        return false;
    }
}

} // namespace

IdleWatch::IdleWatch(QObject* parent)
    : QObject(parent)
    , m_now(monotonicNow)
{
    m_lastUse = m_now();
    m_timer.setInterval(5000);
    connect(&m_timer, &QTimer::timeout, this, &IdleWatch::check);
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
}

IdleWatch::~IdleWatch()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

void IdleWatch::setMinutes(int minutes)
{
    m_minutes = std::max(minutes, 0);
    touch();
    if (m_minutes > 0 && !m_paused)
        m_timer.start();
    else
        m_timer.stop();
}

void IdleWatch::setPaused(bool paused)
{
    m_paused = paused;
    setMinutes(m_minutes);
}

void IdleWatch::setClock(std::function<qint64()> now)
{
    m_now = std::move(now);
    touch();
}

void IdleWatch::touch()
{
    m_lastUse = m_now();
    m_told = false;
}

void IdleWatch::check()
{
    if (m_paused || m_minutes <= 0 || m_told)
        return;
    if (m_now() - m_lastUse >= qint64(m_minutes) * 60 * 1000) {
        m_told = true;
        emit idle();
    }
}

bool IdleWatch::eventFilter(QObject* watched, QEvent* event)
{
    // Spontaneous: from the person at the keyboard, not made up by the program.
    if (!m_paused && event->spontaneous() && isUse(event->type()))
        touch();
    return QObject::eventFilter(watched, event);
}
