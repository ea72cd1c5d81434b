#pragma once

// The frames the PDF worker and the program exchange over the worker's pipes.
//
// A frame is: its length (4 bytes, little-endian, counting what follows), the
// protocol version (2 bytes), the frame type (2 bytes), then a CBOR map. The
// program sends one Job frame at a time; the worker answers with any number of
// Progress and Page frames and ends the job with one Done or Failed frame.
// Neither side trusts the other's lengths: a frame above the reader's limit,
// of another version or with a body that is not a map ends the exchange.

#include <QByteArray>
#include <QCborMap>

#include <optional>

namespace WorkerProtocol {

inline constexpr quint16 Version = 1;

enum class FrameType : quint16
{
    Job = 1, // program → worker: {job, path, password, ...}
    Progress = 2, // worker → program: {done, total}
    Page = 3, // worker → program: one page's result {page, ...}
    Done = 4, // worker → program: the job's answer
    Failed = 5, // worker → program: {reason}; the worker goes on with the next job
};

struct Frame
{
    FrameType type = FrameType::Done;
    QCborMap body;
};

QByteArray encode(FrameType type, const QCborMap& body);

// Collects bytes as they come and gives whole frames.
class FrameReader
{
public:
    explicit FrameReader(qint64 maxFrameBytes)
        : m_maxFrameBytes(maxFrameBytes)
    { }

    void append(const QByteArray& bytes) { m_buffer += bytes; }
    // The next whole frame, or nothing yet. Sets broken() on a frame that
    // breaks the rules above; nothing more is given after that.
    std::optional<Frame> next();
    bool broken() const { return m_broken; }
    // Bytes waiting for the rest of their frame.
    qint64 pending() const { return m_buffer.size() - m_start; }

private:
    QByteArray m_buffer;
    qsizetype m_start = 0;
    qint64 m_maxFrameBytes;
    bool m_broken = false;
};

} // namespace WorkerProtocol
