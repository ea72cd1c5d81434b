#pragma once

// The application-wide error handler: an error raised inside a handler is shown
// in a message box with its text, and the program goes on. Nothing that was done
// before the error is undone.

#include <QApplication>

#include <exception>
#include <utility>

namespace ErrorHandler {

void report(const std::exception& error);
void reportUnknown();

// Runs one handler; an error stops the handler and is reported.
template<typename Fn>
bool guard(Fn&& fn)
{
    try {
        std::forward<Fn>(fn)();
        return true;
    } catch (const std::exception& e) {
        report(e);
    } catch (...) {
        reportUnknown();
    }
    return false;
}

// A slot that runs fn under guard(), for connecting a window's handler to a signal.
template<typename Fn>
auto guarded(Fn fn)
{
    return [fn] { guard(fn); };
}

} // namespace ErrorHandler

// The application object: also the last line of defence, so that no exception
// ever unwinds into Qt's event loop.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
