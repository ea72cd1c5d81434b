#include "format/Companion.h"

#include "Exception.h"
#include "format/StoreFile.h"
#include "format/StoreNames.h"
#include "platform/FileIo.h"
#include "platform/SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace Companion {
namespace {

    // The most a reading thread keeps between companions.
    constexpr size_t BufferKept = 8 << 20;

    QString companionPath(const QString& storePath)
    {
        return storePath + QLatin1String(suffix);
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
    const std::string bytes = StoreFile::enciphered(text.serialize().toStdString());
    const QString target = companionPath(storePath);
    const QString part = target + QLatin1String(StoreNames::partSuffix);
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
        // Deciphered into a buffer each reading thread keeps: a search reads a
        // whole library of companions, and fresh memory for each would cost more
        // (in page faults) than the deciphering itself.
        StoreFile::Reader reader(path);
        thread_local std::vector<char> buffer;
        const qint64 blocks = reader.cipherSize();
        if (blocks > qint64(1) << 31)
            return std::nullopt;
        if (buffer.size() < size_t(blocks))
            buffer.resize(size_t(blocks));
        if (!reader.decipher(0, buffer.data(), blocks))
            return std::nullopt;
        std::optional<BookText> text = BookText::parse(QByteArray::fromRawData(buffer.data(), qsizetype(reader.plainSize())));
        if (buffer.size() > BufferKept)
            std::vector<char>().swap(buffer); // an unusually big book leaves no lasting weight
        return text;
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
