#include "ebooks/EbookExport.h"

#include "crypto/AES.h"
#include "shell/SafeFile.h"

#include <QByteArray>

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
    const std::string plain = AesDecryptFileToString(storeFile.toStdString(), kEbookKey, 2);
    SafeFile::writeFileAtomically(target, QByteArray::fromRawData(plain.data(), qsizetype(plain.size())));
}
