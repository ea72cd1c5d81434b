#include "shell/Startup.h"

#include "widgets/FileDialogLook.h"
#include "widgets/QtChinese.h"
#include "widgets/Resources.h"
#include "widgets/Skin.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>

void Startup::prepareApplication()
{
    // The name picks the per-user data folder of an installed copy. No display name:
    // Qt would append it to every title bar.
    QCoreApplication::setApplicationName(QStringLiteral("qinghe"));
    qingheInitResources();
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China));
    QtChinese::install();
    FileDialogLook::install();
    Skin::installFonts();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/qinghe-256.png")));
}
