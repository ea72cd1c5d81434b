#include "platform/Disks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

#include <sys/stat.h>

namespace {

std::optional<dev_t> deviceOf(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    QString at = QFileInfo(path).absoluteFilePath();
    for (;;) {
        struct stat info {};
        if (::stat(QFile::encodeName(at).constData(), &info) == 0)
            return info.st_dev;
        const QString parent = QFileInfo(at).absolutePath();
        if (parent == at)
            return std::nullopt;
        at = parent;
    }
}

} // namespace

namespace Disks {

bool sameDisk(const QString& first, const QString& second)
{
    const auto a = deviceOf(first);
    const auto b = deviceOf(second);
    return a && b && *a == *b;
}

} // namespace Disks
