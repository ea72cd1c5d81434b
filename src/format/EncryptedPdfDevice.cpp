#include "format/EncryptedPdfDevice.h"

#include "crypto/AES.h"
#include "crypto/Streams.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr qint64 HeaderSize = 8;
// What one read of the store file deciphers, and how many such chunks are kept.
constexpr qint64 ChunkSize = qint64(4) << 10;
constexpr size_t CachedChunks = 64;
// Reads of at least this much go straight into the caller's buffer.
constexpr qint64 DirectRead = ChunkSize;
constexpr qint64 CopyStep = qint64(1) << 20;

} // namespace

EncryptedPdfDevice::EncryptedPdfDevice(const QString& storeFile, QObject* parent)
    : QIODevice(parent)
    , m_storeFile(storeFile)
    , m_file(std::make_unique<TFileStream>(storeFile.toStdString(), TFileStream::Mode::OpenRead))
{
    uint8_t header[HeaderSize];
    m_file->readBuffer(header, HeaderSize);
    quint64 length = 0;
    for (int i = 0; i < HeaderSize; ++i)
        length |= quint64(header[i]) << (8 * i);
    m_length = qint64(length);
    m_cipherBytes = m_file->size() - HeaderSize;
    if (m_cipherBytes <= 0 || m_cipherBytes % 16 != 0)
        throw EAESError("Invalid buffer size for decryption");
    if (m_length < 0 || m_length > m_cipherBytes)
        throw EAESError("Invalid length header in encrypted file");

    AesKey256 key {};
    std::memcpy(key.data(), kEbookKey, key.size());
    AesExpandDecryptKey(key, m_roundKeys);
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

EncryptedPdfDevice::~EncryptedPdfDevice()
{
    std::fill(m_roundKeys.begin(), m_roundKeys.end(), 0u);
}

bool EncryptedPdfDevice::open(OpenMode mode)
{
    Q_UNUSED(mode);
    return false;
}

bool EncryptedPdfDevice::decipher(qint64 from, char* into, qint64 bytes)
{
    m_file->setPosition(HeaderSize + from);
    if (m_file->read(into, bytes) != bytes)
        return false;
    AesDecryptBlocksEcb(m_roundKeys, reinterpret_cast<uint8_t*>(into), size_t(bytes / 16));
    return true;
}

const EncryptedPdfDevice::Chunk* EncryptedPdfDevice::chunk(qint64 index)
{
    ++m_uses;
    for (Chunk& cached : m_cache) {
        if (cached.index == index) {
            cached.used = m_uses;
            return &cached;
        }
    }
    Chunk* slot = nullptr;
    if (m_cache.size() < CachedChunks) {
        m_cache.push_back(Chunk { -1, 0, std::make_unique_for_overwrite<char[]>(size_t(ChunkSize)) });
        slot = &m_cache.back();
    } else {
        slot = &*std::min_element(
            m_cache.begin(), m_cache.end(), [](const Chunk& a, const Chunk& b) { return a.used < b.used; });
    }
    const qint64 from = index * ChunkSize;
    slot->index = -1;
    if (!decipher(from, slot->bytes.get(), std::min(ChunkSize, m_cipherBytes - from)))
        return nullptr;
    slot->index = index;
    slot->used = m_uses;
    return slot;
}

qint64 EncryptedPdfDevice::readData(char* data, qint64 maxSize)
{
    const qint64 start = pos();
    const qint64 wanted = std::min(maxSize, m_length - start);
    qint64 done = 0;
    while (done < wanted) {
        const qint64 at = start + done;
        const qint64 left = wanted - done;
        if (at % 16 == 0 && left >= DirectRead) {
            const qint64 whole = left & ~qint64(15);
            if (!decipher(at, data + done, whole))
                break;
            done += whole;
            continue;
        }
        const Chunk* piece = chunk(at / ChunkSize);
        if (!piece)
            break;
        const qint64 offset = at % ChunkSize;
        const qint64 take = std::min(left, ChunkSize - offset);
        std::memcpy(data + done, piece->bytes.get() + offset, size_t(take));
        done += take;
    }
    if (done < wanted && done == 0) {
        setErrorString(QStringLiteral("Stream read error"));
        return -1;
    }
    return done;
}

qint64 EncryptedPdfDevice::writeData(const char* data, qint64 maxSize)
{
    Q_UNUSED(data);
    Q_UNUSED(maxSize);
    return -1;
}

bool EncryptedPdfDevice::copyTo(QIODevice& out, const Progress& progress)
{
    seek(0);
    const auto buffer = std::make_unique_for_overwrite<char[]>(size_t(CopyStep));
    qint64 done = 0;
    if (progress && !progress(0, m_length))
        return false;
    while (done < m_length) {
        const qint64 got = read(buffer.get(), std::min(CopyStep, m_length - done));
        if (got <= 0)
            throw EReadError("Stream read error");
        if (out.write(buffer.get(), got) != got)
            throw EWriteError("Stream write error");
        done += got;
        if (progress && !progress(done, m_length))
            return false;
    }
    return true;
}
