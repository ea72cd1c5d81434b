#include "ebooks/EbookExport.h"

#include "Exception.h"
#include "crypto/AES.h"
#include "format/EncryptedPdfDevice.h"
#include "platform/DataFolder.h"
#include "platform/FileIo.h"
#include "platform/SafeFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <string_view>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype NameLimit = 255;

// A cancelled export unwinds the safe write, which then removes its temporary file.
struct Cancelled
{ };

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

QString safeName(const QString& title)
{
    static constexpr char16_t Forbidden[] = u"/\\:*?\"<>|";
    QString name;
    name.reserve(title.size());
    for (const QChar c : title) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            name += u'_';
        else if (std::u16string_view(Forbidden).find(c.unicode()) != std::u16string_view::npos)
            name += QChar(char16_t(c.unicode() - 0x20 + 0xff00)); // the full-width form
        else
            name += c;
    }
    if (name.isEmpty() || name == u"."_s || name == u".."_s)
        return u"_"_s;
    return name;
}

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

QString EbookExport::suggestion(const QString& bookName) const
{
    const QString name = EbookFileName::withPdfExtension(EbookFileName::safeName(bookName));
    if (m_lastPath.isEmpty())
        return name;
    return EbookFileName::fitToLimit(QFileInfo(m_lastPath).absolutePath() + u'/' + name);
}

bool EbookExport::write(const QString& storeFile, const QString& target, const Progress& progress)
{
    DataFolder::refuseProgramFile(target); // the library, the store, the skin...: never replaced by a book
    return decrypt(storeFile, target, progress, SafeFile::Access::Usual);
}

bool EbookExport::decrypt(
    const QString& storeFile, const QString& target, const Progress& progress, SafeFile::Access access)
{
    // The store file itself (through a link) must never be replaced by its plain text.
    const QFileInfo store(storeFile);
    if (store.exists() && QFileInfo(SafeFile::resolveLinks(target)).canonicalFilePath() == store.canonicalFilePath())
        throw EFCreateError("Cannot create file \"" + target.toStdString() + "\". " + std::strerror(EBUSY));
    // Where a new file may be made beside the target, the e-book is decrypted
    // straight into it and renamed over the target only once whole; elsewhere
    // it is decrypted in memory first, then written in place.
    EncryptedPdfDevice book(storeFile);
    const QString folder = QFileInfo(SafeFile::resolveLinks(target)).absolutePath();
    if (FileIo::canCreateFilesIn(folder)) {
        try {
            SafeFile::writeFileAtomically(target, [&](const QString& temporary) {
                QFile out(temporary);
                if (!out.open(QIODevice::WriteOnly))
                    throw EFCreateError("Cannot create file \"" + temporary.toStdString() + "\". "
                        + out.errorString().toStdString());
                if (!book.copyTo(out, progress))
                    throw Cancelled();
                out.close();
                if (out.error() != QFileDevice::NoError)
                    throw EWriteError("Stream write error");
            }, access);
        } catch (const Cancelled&) {
            return false;
        }
        return true;
    }
    QBuffer plain;
    plain.open(QIODevice::WriteOnly);
    if (!book.copyTo(plain, progress))
        return false;
    SafeFile::writeFileAtomically(target, plain.data(), access);
    return true;
}
