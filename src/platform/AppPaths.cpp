#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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
    // Only the user may look into it: the library holds the account and document passwords.
    if (!QFileInfo::exists(user) && QDir().mkpath(user))
        QFile::setPermissions(user, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return QDir::cleanPath(user);
}

QString path(const QString& relative)
{
    return dataDir() + u'/' + relative;
}

} // namespace AppPaths
