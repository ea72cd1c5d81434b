#include "ebooks/DragCopy.h"

#include "Exception.h"
#include "ebooks/EbookExport.h"
#include "data/udata.h"
#include "platform/FileIo.h"
#include "platform/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// A copy this run wrote, known by its file identity: a later file of the same
// name (another run, the user) is not ours to remove.
struct Copy
{
    QString path;
    uint64_t device;
    uint64_t inode;
};

std::vector<Copy>& copies()
{
    static std::vector<Copy> list;
    return list;
}

bool identity(const QString& path, uint64_t& device, uint64_t& inode)
{
    FileIo::Info info;
    if (!FileIo::linkStat(path, info))
        return false;
    device = info.device;
    inode = info.inode;
    return true;
}

} // namespace

namespace DragCopy {

QString path(const QString& name)
{
    return EbookFileName::fitToLimit(
        EbookFileName::withPdfExtension(AppPaths::path(u"temp/"_s) + EbookFileName::safeName(name)));
}

QString make(const QString& storeFile, const QString& name, const std::function<bool(qint64, qint64)>& progress)
{
    // The safe name holds no "/" and is never "." or "..": the copy stays in "temp".
    const QString copy = path(name);
    EbookExport::decrypt(storeFile, copy, progress, SafeFile::Access::Private);
    Copy made { copy, 0, 0 };
    if (identity(copy, made.device, made.inode)) {
        std::erase_if(copies(), [&](const Copy& c) { return c.path == copy; });
        copies().push_back(made);
    }
    return copy;
}

void cleanAtStart(qint64 maxAgeSeconds)
{
    const QDateTime cutoff = QDateTime::currentDateTime().addSecs(-maxAgeSeconds);
    const QDir temp(AppPaths::path(u"temp"_s));
    const auto entries = temp.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.lastModified() < cutoff)
            QFile::remove(entry.absoluteFilePath());
    }
}

void discard(const QString& copy)
{
    const auto ours = std::find_if(copies().begin(), copies().end(), [&](const Copy& c) { return c.path == copy; });
    if (ours == copies().end())
        return;
    uint64_t device = 0;
    uint64_t inode = 0;
    if (identity(copy, device, inode) && device == ours->device && inode == ours->inode)
        QFile::remove(copy);
    copies().erase(ours);
}

void removeThisRunsCopies()
{
    for (const Copy& copy : copies()) {
        uint64_t device = 0;
        uint64_t inode = 0;
        if (identity(copy.path, device, inode) && device == copy.device && inode == copy.inode)
            QFile::remove(copy.path);
    }
    copies().clear();
}

} // namespace DragCopy
