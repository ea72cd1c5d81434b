#pragma once

// What day it is, for loans, reading dates and statistics. The program runs on
// the system's clock; a test fixes the day on the clock it hands in. The core
// functions take the day as a value (Loans::current(connection, today)); a
// window is handed the clock with its connection and asks it when it draws.

#include <QDate>

class Clock
{
public:
    QDate today() const { return m_fixed.isValid() ? m_fixed : QDate::currentDate(); }
    // Every later today() gives day; a null date goes back to the system's clock.
    void fix(const QDate& day) { m_fixed = day; }

private:
    QDate m_fixed;
};
