#include "format/Companion.h"

#include "crypto/AES.h"
#include "crypto/Streams.h"
#include "platform/FileIo.h"
#include "platform/SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

using namespace Qt::StringLiterals;

namespace Companion {
namespace {

    QString companionPath(const QString& storePath)
    {
        return storePath + QLatin1String(suffix);
    }

    // The store's file form in memory: the plain length as 8 little-endian
    // bytes, then AES-256 ECB with the e-book key.
    std::string encipher(const QByteArray& plain)
    {
        TMemoryStream source(plain.toStdString());
        TMemoryStream out;
        uint8_t header[8];
        const auto length = static_cast<uint64_t>(plain.size());
        for (int i = 0; i < 8; ++i)
            header[i] = static_cast<uint8_t>(length >> (8 * i));
        out.writeBuffer(header, sizeof header);
        AesKey256 key {};
        std::memcpy(key.data(), kEbookKey, key.size());
        AesEncryptStreamEcb(source, 0, key, out);
        return out.takeBytes();
    }

} // namespace

QString fileName(const QString& storedName)
{
    return storedName + QLatin1String(suffix);
}

bool isCompanionName(const QString& name, QString* storedName)
{
    if (!name.endsWith(QLatin1String(suffix)) || name.size() <= qsizetype(std::strlen(suffix)))
        return false;
    if (storedName)
        *storedName = name.chopped(qsizetype(std::strlen(suffix)));
    return true;
}

void write(const QString& storePath, const BookText& text)
{
    const std::string bytes = encipher(text.serialize());
    const QString target = companionPath(storePath);
    const QString part = target + u".part"_s;
    QFile out(part);
    const auto fail = [&](const QString& why) {
        out.close();
        QFile::remove(part);
        throw EWriteError(u"Cannot write \"%1\". %2"_s.arg(part, why).toStdString());
    };
    QFile::remove(part); // one a run cut short left may have other bits
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        fail(out.errorString()); // the user's alone from its first byte, like the store file
    if (out.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) || !out.flush())
        fail(out.errorString());
    out.close();
    if (const int error = SafeFile::syncToDisk(part))
        fail(FileIo::errorText(error));
    if (const int error = FileIo::rename(part, target)) // in place of a damaged one, at once
        fail(FileIo::errorText(error));
    SafeFile::syncToDisk(QFileInfo(target).absolutePath());
}

std::optional<BookText> read(const QString& storePath)
{
    const QString path = companionPath(storePath);
    if (!QFileInfo::exists(path))
        return std::nullopt;
    try {
        const std::string plain = AesDecryptFileToString(path.toUtf8().toStdString(), kEbookKey, 2);
        return BookText::parse(QByteArray::fromRawData(plain.data(), qsizetype(plain.size())));
    } catch (const Exception&) {
        return std::nullopt;
    }
}

bool remove(const QString& storePath)
{
    const QString path = companionPath(storePath);
    return !QFileInfo::exists(path) || QFile::remove(path);
}

} // namespace Companion
