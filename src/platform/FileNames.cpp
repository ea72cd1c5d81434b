#include "platform/FileNames.h"

#include <QFile>
#include <QHash>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace FileNames {
namespace {

    bool exists(const QByteArray& path)
    {
        return !path.isEmpty() && ::access(path.constData(), F_OK) == 0;
    }

    // The one entry of folder whose decoded name is `decoded`; empty when none or several.
    QByteArray entryNamed(const QByteArray& folder, const QString& decoded)
    {
        DIR* dir = ::opendir(folder.isEmpty() ? "." : folder.constData());
        if (!dir)
            return {};
        QByteArray found;
        int matches = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (QFile::decodeName(name) == decoded) {
                found = name;
                ++matches;
            }
        }
        ::closedir(dir);
        return matches == 1 ? found : QByteArray();
    }

    // POSIX with /proc; elsewhere a folder whose name does not decode stays unusable.
    QString folderAlias(const QByteArray& realPath)
    {
        static std::mutex mutex;
        static QHash<QByteArray, QString> aliases;
        const std::lock_guard lock(mutex);
        if (const auto it = aliases.constFind(realPath); it != aliases.constEnd())
            return *it;
#ifdef __linux__
        const int fd = ::open(realPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return {};
        // Through the process id, not "self", so other programs (a drop target) reach it too.
        const QString alias = QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(fd);
        aliases.insert(realPath, alias);
        return alias;
#else
        return {};
#endif
    }

} // namespace

QByteArray native(const QString& path)
{
    const QByteArray plain = QFile::encodeName(path);
    if (!path.contains(QChar::ReplacementCharacter) || exists(plain))
        return plain;
    const QStringList parts = path.split(u'/');
    QByteArray resolved;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        // The folder looked in: "" for the first component, "/" after the root.
        const QByteArray folder = i == 0 ? QByteArray() : resolved.isEmpty() ? QByteArray("/") : resolved;
        const QByteArray prefix = folder.isEmpty() ? QByteArray() : folder.endsWith('/') ? folder : folder + '/';
        QByteArray piece = QFile::encodeName(part);
        if (part.contains(QChar::ReplacementCharacter) && !exists(prefix + piece)) {
            piece = entryNamed(folder, part);
            if (piece.isEmpty())
                return plain;
        }
        resolved = i == 0 ? piece : prefix + piece;
    }
    return resolved;
}

QByteArray native(const QByteArray& utf8Path)
{
    if (!utf8Path.contains("\xEF\xBF\xBD"))
        return utf8Path;
    return native(QString::fromUtf8(utf8Path));
}

QString usableFolder(const QByteArray& realPath)
{
    const QString decoded = QFile::decodeName(realPath);
    if (QFile::encodeName(decoded) == realPath)
        return decoded;
    return folderAlias(realPath);
}

QString programFolder()
{
#ifdef __linux__
    QByteArray exe(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", exe.data(), size_t(exe.size()));
    if (length > 0 && length < exe.size()) {
        exe.truncate(length);
        const qsizetype slash = exe.lastIndexOf('/');
        if (slash > 0)
            return usableFolder(exe.left(slash));
        if (slash == 0)
            return QStringLiteral("/");
    }
#endif
    return {};
}

} // namespace FileNames
