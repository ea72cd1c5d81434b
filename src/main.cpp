#include "shell/ErrorHandler.h"
#include "shell/Resources.h"
#include "shell/Skin.h"
#include "shell/Titles.h"
#include "shell/Unittest.h"
#include "shell/udata.h"
#include "shell/ulogo.h"

#include <QScreen>

#include <memory>

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qinghe"));
    qingheInitResources();
    Skin::installFonts();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/qinghe-256.png")));

    TDataModule2 dataModule;

    std::unique_ptr<TFormtest> mainWindow;
    {
        TFmlog login;
        if (login.exec() == QDialog::Accepted)
            mainWindow = std::make_unique<TFormtest>();
    }
    if (!mainWindow)
        return 0;
    // Sized to the screen first, for desktops whose window manager does not maximise.
    mainWindow->resize(mainWindow->screen()->availableGeometry().size());
    mainWindow->showMaximized();
    return app.exec();
}
