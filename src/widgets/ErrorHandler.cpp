#include "widgets/ErrorHandler.h"

#include "widgets/Prompt.h"
#include "widgets/Titles.h"

namespace ErrorHandler {

void report(const std::exception& error)
{
    Prompt::error(nullptr, Titles::application(), QString::fromUtf8(error.what()));
}

void reportUnknown()
{
    Prompt::error(nullptr, Titles::application(), QStringLiteral("发生未知错误。"));
}

} // namespace ErrorHandler

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    // No display name: Qt would append it to every window's title ("提示 — 青禾家庭图书管理系统").
    // Each window and message box carries its own caption instead.
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    bool result = false;
    ErrorHandler::guard([&] { result = QApplication::notify(receiver, event); });
    return result;
}
