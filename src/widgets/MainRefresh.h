#pragma once

#include <QEvent>

class QWidget;

// The message by which the category manager and the CSV import ask the main window to reload.
constexpr int WM_MAIN_REFRESH = 2010;
inline const QEvent::Type MainRefreshEvent = static_cast<QEvent::Type>(QEvent::User + WM_MAIN_REFRESH);
// Sends it to main, the main window (nothing when there is none).
void sendMainRefresh(QWidget* main);
