#pragma once

// Holds the user's input away from every window while it lives: clicks, keys,
// the wheel, context menus and the window manager's requests to close a window
// are dropped. For work that must not be disturbed from its first moment, before
// a modal progress dialog has come up (tasks show theirs only after a moment).
// Painting, timers and everything else go on.

#include <QObject>

class InputHold : public QObject
{
public:
    explicit InputHold(QObject* parent = nullptr);
    ~InputHold() override;

    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
