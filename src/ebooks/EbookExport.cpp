#include "ebooks/EbookExport.h"

#include "Exception.h"
#include "crypto/AES.h"
#include "platform/DataFolder.h"
#include "platform/FileIo.h"
#include "platform/SafeFile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype NameLimit = 255;

qsizetype utf8Size(QStringView text)
{
    return text.toUtf8().size();
}

// The longest start of text within limit bytes, not splitting a surrogate pair.
QString cutTo(const QString& text, qsizetype limit)
{
    qsizetype end = text.size();
    while (end > 0 && utf8Size(QStringView(text).left(end)) > limit) {
        --end;
        if (end > 0 && text.at(end).isLowSurrogate())
            --end;
    }
    return text.left(end);
}

} // namespace

namespace EbookFileName {

QString withPdfExtension(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return path.indexOf(u'.', slash + 1) >= 0 ? path : path + u".pdf"_s;
}

QString fitToLimit(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    if (utf8Size(name) <= NameLimit)
        return path;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    // An extension that alone fills the limit is cut like the rest of the name.
    if (extension.isEmpty() || utf8Size(extension) > NameLimit / 2)
        return folder + cutTo(name, NameLimit);
    return folder + cutTo(name.left(dot), NameLimit - utf8Size(extension)) + extension;
}

} // namespace EbookFileName

QString EbookExport::dialogFilter()
{
    return u"电子书(pdf) (*.pdf)"_s;
}

QString EbookExport::choose(const QString& chosen)
{
    m_lastPath = EbookFileName::fitToLimit(EbookFileName::withPdfExtension(chosen));
    return m_lastPath;
}

void EbookExport::write(const QString& storeFile, const QString& target)
{
    DataFolder::refuseProgramFile(target); // the library, the store, the skin...: never replaced by a book
    // The store file itself (through a link) must never be replaced by its plain text.
    const QFileInfo store(storeFile);
    if (store.exists() && QFileInfo(SafeFile::resolveLinks(target)).canonicalFilePath() == store.canonicalFilePath())
        throw EFCreateError("Cannot create file \"" + target.toStdString() + "\". " + std::strerror(EBUSY));
    // Where a new file may be made beside the target, the e-book is decrypted
    // straight into it and renamed over the target only once whole; elsewhere
    // it is decrypted in memory first, then written in place.
    const QString folder = QFileInfo(SafeFile::resolveLinks(target)).absolutePath();
    if (FileIo::canCreateFilesIn(folder)) {
        SafeFile::writeFileAtomically(target, [&](const QString& temporary) {
            AesDecryptFile(storeFile.toStdString(), temporary.toStdString(), kEbookKey, 2);
        });
        return;
    }
    const std::string plain = AesDecryptFileToString(storeFile.toStdString(), kEbookKey, 2);
    SafeFile::writeFileAtomically(target, QByteArray::fromRawData(plain.data(), qsizetype(plain.size())));
}
