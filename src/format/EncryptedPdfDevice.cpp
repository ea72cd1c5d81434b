#include "format/EncryptedPdfDevice.h"

#include "Exception.h"
#include "format/StoreFile.h"

#include <algorithm>
#include <cstring>

namespace {

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
    , m_file(std::make_unique<StoreFile::Reader>(storeFile))
    , m_length(m_file->plainSize())
    , m_cipherBytes(m_file->cipherSize())
{
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

EncryptedPdfDevice::~EncryptedPdfDevice() = default;

bool EncryptedPdfDevice::open(OpenMode mode)
{
    Q_UNUSED(mode);
    return false;
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
    if (!m_file->decipher(from, slot->bytes.get(), std::min(ChunkSize, m_cipherBytes - from)))
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
            if (!m_file->decipher(at, data + done, whole))
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
