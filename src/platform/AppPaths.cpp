#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace AppPaths {

QString dataDir()
{
    const QString home = qEnvironmentVariable("QINGHE_HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(QDir(home).absolutePath());

    const QString exeDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    // An installed copy (bin/ beside share/applications/qinghe.desktop) never keeps data in its
    // bin folder, even when that folder happens to be writable.
    const bool installed = QFileInfo::exists(exeDir + QStringLiteral("/../share/applications/qinghe.desktop"));
    if (!installed && QFileInfo(exeDir).isWritable())
        return QDir::cleanPath(exeDir);

    // An installed copy: its folder is not ours to write, so the data go to the user's folder.
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(user);
    return QDir::cleanPath(user);
}

QString path(const QString& relative)
{
    return dataDir() + u'/' + relative;
}

} // namespace AppPaths
