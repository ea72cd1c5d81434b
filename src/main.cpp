#include "ebooks/DragOut.h"
#include "ebooks/PdfProbe.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Resources.h"
#include "backup/Restore.h"
#include "widgets/Skin.h"
#include "widgets/Titles.h"
#include "shell/Unittest.h"
#include "data/udata.h"
#include "shell/ulogo.h"

#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>

#include <memory>

int main(int argc, char* argv[])
{
    // The PDF check's helper: no window and no library, only a document on stdin.
    if (PdfProbe::isHelperCall(argc, argv)) {
        QCoreApplication helper(argc, argv);
        return PdfProbe::runHelper();
    }

    Application app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qinghe"));
    qingheInitResources();
    // Qt's own dialogs (file dialogs, standard buttons) in Chinese like the rest.
    QTranslator qtChinese;
    if (qtChinese.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtChinese);
    Skin::installFonts();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/qinghe-256.png")));

    // A restore cut short (a crash, a power cut) is finished or undone before the library is opened.
    try {
        const QString recovered = Restore::recoverAtStart();
        if (!recovered.isEmpty())
            qInfo("%s", qPrintable(recovered));
    } catch (const Exception& error) {
        qWarning("%s", error.what());
    }
    TDataModule2 dataModule;

    // Decrypted drag copies left in "temp" by a run that crashed.
    DragOut::cleanTempAtStart();

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
    const int result = app.exec();
    // The drag copies of this run that no drop has taken away.
    DragOut::removeThisRunsCopies();
    return result;
}
