#include "ebooks/StoreReader.h"

#include "crypto/AES.h"
#include "crypto/ElAES.h"
#include "crypto/Streams.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int64_t HeaderBytes = 8;
constexpr qint64 ChunkBytes = 256 * 1024; // a multiple of the block size

// Decrypts into a caller's buffer, so a chunk is never copied twice.
class SpanStream : public TStream
{
public:
    explicit SpanStream(char* target)
        : m_target(target)
    { }
    int64_t size() const override { return m_position; }
    void setSize(int64_t) override { }
    int64_t position() const override { return m_position; }
    void setPosition(int64_t pos) override { m_position = pos; }
    int64_t read(void*, int64_t) override { return 0; }
    int64_t write(const void* buffer, int64_t count) override
    {
        std::memcpy(m_target + m_position, buffer, static_cast<size_t>(count));
        m_position += count;
        return count;
    }

private:
    char* m_target;
    int64_t m_position = 0;
};

} // namespace

StoreReader::StoreReader(std::string path, QObject* parent)
    : QIODevice(parent)
    , m_path(std::move(path))
{ }

StoreReader::~StoreReader() = default;

void StoreReader::openStored()
{
    auto file = std::make_unique<TFileStream>(m_path, TFileStream::Mode::OpenRead);
    uint8_t header[HeaderBytes];
    file->readBuffer(header, HeaderBytes);
    uint64_t length = 0;
    for (int i = 0; i < HeaderBytes; ++i)
        length |= uint64_t(header[i]) << (8 * i);
    // The cipher's own checks: whole blocks, and a length they can hold.
    const int64_t cipherBytes = file->size() - HeaderBytes;
    if (cipherBytes <= 0 || cipherBytes % 16 != 0)
        throw EAESError("Invalid buffer size for decryption");
    if (static_cast<int64_t>(length) < 0 || static_cast<int64_t>(length) > cipherBytes)
        throw EAESError("Invalid length header in encrypted file");
    m_file = std::move(file);
    m_plainSize = static_cast<qint64>(length);
    m_done = 0;
    m_chunk.clear();
    m_taken = 0;
    QIODevice::open(QIODevice::ReadOnly);
}

void StoreReader::close()
{
    m_file.reset();
    QIODevice::close();
}

qint64 StoreReader::readData(char* data, qint64 maxSize)
{
    if (!m_file)
        return -1;
    if (m_taken >= qint64(m_chunk.size())) {
        const qint64 left = m_plainSize - m_done;
        if (left <= 0)
            return 0;
        // Whole blocks from the file; the plain length cuts the padding off the last one.
        const qint64 cipherCount = std::min(ChunkBytes, (left + 15) / 16 * 16);
        m_chunk.resize(static_cast<size_t>(cipherCount));
        SpanStream out(m_chunk.data());
        AesKey256 key {};
        std::memcpy(key.data(), kEbookKey, key.size());
        AesDecryptStreamEcb(*m_file, uint64_t(cipherCount), key, out);
        m_chunk.resize(static_cast<size_t>(std::min(cipherCount, left)));
        m_done += qint64(m_chunk.size());
        m_taken = 0;
    }
    const qint64 count = std::min(maxSize, qint64(m_chunk.size()) - m_taken);
    std::memcpy(data, m_chunk.data() + m_taken, static_cast<size_t>(count));
    m_taken += count;
    return count;
}
