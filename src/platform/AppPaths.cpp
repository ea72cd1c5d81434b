#include "platform/AppPaths.h"

#include "platform/FileNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace AppPaths {

QString dataDir()
{
    const QByteArray home = qgetenv("QINGHE_HOME");
    if (!home.isEmpty()) {
        const QString usable = FileNames::usableFolder(home);
        return QDir::cleanPath(QDir(usable.isEmpty() ? QFile::decodeName(home) : usable).absolutePath());
    }
    // The executable's real folder, also when its name is not UTF-8 (Qt's own idea of it
    // then names nothing, and a portable copy would lose its data to the user's folder).
    QString exeDir;
    if (QCoreApplication::instance()) {
        exeDir = FileNames::programFolder();
        if (exeDir.isEmpty())
            exeDir = QCoreApplication::applicationDirPath();
    } else {
        exeDir = QDir::currentPath();
    }
    return dataDirBeside(exeDir);
}

QString dataDirBeside(const QString& exeDir)
{
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
