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
    // The title of windows without a caption of their own and of message boxes.
    setApplicationDisplayName(Titles::application());
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    bool result = false;
    ErrorHandler::guard([&] { result = QApplication::notify(receiver, event); });
    return result;
}
