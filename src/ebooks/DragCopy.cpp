#include "ebooks/DragCopy.h"

#include "Exception.h"
#include "ebooks/EbookExport.h"
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

DragCopy::DragCopy(QString folder)
    : m_folder(std::move(folder))
{ }

DragCopy::~DragCopy()
{
    removeThisRunsCopies();
}

QString DragCopy::path(const QString& name) const
{
    return EbookFileName::fitToLimit(EbookFileName::withPdfExtension(m_folder + u'/' + EbookFileName::safeName(name)));
}

QString DragCopy::make(const QString& storeFile, const QString& name, const std::function<bool(qint64, qint64)>& progress)
{
    // The safe name holds no "/" and is never "." or "..": the copy stays in "temp".
    const QString copy = path(name);
    EbookExport::decrypt(storeFile, copy, progress, SafeFile::Access::Private);
    Copy made { copy, 0, 0 };
    if (identity(copy, made.device, made.inode)) {
        std::erase_if(m_copies, [&](const Copy& c) { return c.path == copy; });
        m_copies.push_back(made);
    }
    return copy;
}

void DragCopy::cleanAtStart(qint64 maxAgeSeconds) const
{
    const QDateTime cutoff = QDateTime::currentDateTime().addSecs(-maxAgeSeconds);
    const QDir temp(m_folder);
    const auto entries = temp.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.lastModified() < cutoff)
            QFile::remove(entry.absoluteFilePath());
    }
}

void DragCopy::discard(const QString& copy)
{
    const auto ours = std::find_if(m_copies.begin(), m_copies.end(), [&](const Copy& c) { return c.path == copy; });
    if (ours == m_copies.end())
        return;
    uint64_t device = 0;
    uint64_t inode = 0;
    if (identity(copy, device, inode) && device == ours->device && inode == ours->inode)
        QFile::remove(copy);
    m_copies.erase(ours);
}

void DragCopy::removeThisRunsCopies()
{
    for (const Copy& copy : m_copies) {
        uint64_t device = 0;
        uint64_t inode = 0;
        if (identity(copy.path, device, inode) && device == copy.device && inode == copy.inode)
            QFile::remove(copy.path);
    }
    m_copies.clear();
}

