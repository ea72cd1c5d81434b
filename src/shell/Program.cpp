#include "shell/Program.h"

#include "backup/Restore.h"
#include "data/udata.h"
#include "ebooks/DragCopy.h"
#include "platform/AppPaths.h"
#include "platform/DataFolder.h"
#include "platform/SystemLocale.h"
#include "platform/TempFiles.h"
#include "shell/SingleInstance.h"
#include "shell/Startup.h"
#include "shell/Unittest.h"
#include "shell/ulogo.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QScreen>

#include <memory>

namespace Program {

void useChineseLocale()
{
    SystemLocale::useForQt("zh_CN.UTF-8");
}

int run(int argc, char* argv[])
{
    Application app(argc, argv);
    Startup::prepareApplication();

    // One running copy per data folder, before anything in the folder is touched: a later
    // start brings the running copy's window to the front and ends.
    SingleInstance instance(AppPaths::dataDir());
    switch (instance.start()) {
    case SingleInstance::Start::Run:
        break;
    case SingleInstance::Start::Raised:
        return 0;
    case SingleInstance::Start::Refused:
        Prompt::error(nullptr, Titles::application(), instance.refusal());
        return 1;
    }

    // What a run killed half-way left goes.
    TempFiles::removeLeftovers();
    // A restore cut short (a crash, a power cut) is finished or undone before the library is opened.
    try {
        const QString recovered = Restore::recoverAtStart();
        if (!recovered.isEmpty())
            qInfo("%s", qPrintable(recovered));
    } catch (const Exception& error) {
        Prompt::error(nullptr, Titles::application(), QString::fromUtf8(error.what()));
    }
    TDataModule2 dataModule;
    // The data folder is the user's alone: made so on a first start, brought so after an older version.
    DataFolder::makeAllPrivate();

    // Decrypted drag copies left in "temp" by a run that crashed. This run's own
    // go with the e-book page that made them.
    DragCopy(AppPaths::path(QStringLiteral("temp"))).cleanAtStart();

    std::unique_ptr<TFormtest> mainWindow;
    {
        TFmlog login;
        if (login.exec() == QDialog::Accepted) {
            mainWindow = std::make_unique<TFormtest>();
            mainWindow->setAccount(login.userName());
        }
    }
    if (!mainWindow)
        return 0;
    // Sized to the screen first, for desktops whose window manager does not maximise.
    mainWindow->resize(mainWindow->screen()->availableGeometry().size());
    mainWindow->showMaximized();
    return app.exec();
}

} // namespace Program
