#include "format/StoreFile.h"

#include "crypto/AES.h"
#include "crypto/Streams.h"

#include <algorithm>
#include <cstring>

namespace StoreFile {

void write(TStream& plain, TStream& out)
{
    AesEncryptToStream(plain, out, kEbookKey, 2);
}

std::string enciphered(const std::string& plain)
{
    TMemoryStream source(plain);
    TMemoryStream out;
    write(source, out);
    return out.takeBytes();
}

std::string readAll(const QString& path)
{
    return AesDecryptFileToString(path.toStdString(), kEbookKey, 2);
}

Reader::Reader(const QString& path)
    : m_file(std::make_unique<TFileStream>(path.toStdString(), TFileStream::Mode::OpenRead))
{
    m_length = AesReadLengthHeader(*m_file);
    m_cipherBytes = m_file->size() - headerSize;
    AesCheckForm(m_length, m_cipherBytes);
    AesKey256 key {};
    std::memcpy(key.data(), kEbookKey, key.size());
    AesExpandDecryptKey(key, m_roundKeys);
}

Reader::~Reader()
{
    std::fill(m_roundKeys.begin(), m_roundKeys.end(), 0u);
}

bool Reader::decipher(qint64 from, char* into, qint64 bytes)
{
    m_file->setPosition(headerSize + from);
    if (m_file->read(into, bytes) != bytes)
        return false;
    AesDecryptBlocksEcb(m_roundKeys, reinterpret_cast<uint8_t*>(into), size_t(bytes / 16));
    return true;
}

} // namespace StoreFile
