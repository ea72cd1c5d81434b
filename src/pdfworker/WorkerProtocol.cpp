#include "pdfworker/WorkerProtocol.h"

#include <QCborValue>

namespace WorkerProtocol {
namespace {

    void putLittle(QByteArray& out, quint64 value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            out.append(char((value >> (8 * i)) & 0xff));
    }

    quint64 getLittle(const char* from, int bytes)
    {
        quint64 value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= quint64(quint8(from[i])) << (8 * i);
        return value;
    }

    constexpr qsizetype HeaderBytes = 8;

} // namespace

QByteArray encode(FrameType type, const QCborMap& body)
{
    const QByteArray cbor = body.toCborValue().toCbor();
    QByteArray frame;
    frame.reserve(HeaderBytes + cbor.size());
    putLittle(frame, quint64(4 + cbor.size()), 4);
    putLittle(frame, Version, 2);
    putLittle(frame, quint16(type), 2);
    frame += cbor;
    return frame;
}

std::optional<Frame> FrameReader::next()
{
    if (m_broken || pending() < 4)
        return std::nullopt;
    const char* at = m_buffer.constData() + m_start;
    const quint64 length = getLittle(at, 4);
    if (length < 4 || qint64(length) > m_maxFrameBytes) {
        m_broken = true;
        return std::nullopt;
    }
    if (pending() < qint64(4 + length))
        return std::nullopt;
    const quint64 version = getLittle(at + 4, 2);
    const quint64 type = getLittle(at + 6, 2);
    QCborParserError error;
    const QCborValue body
        = QCborValue::fromCbor(QByteArray::fromRawData(at + HeaderBytes, qsizetype(length - 4)), &error);
    m_start += qsizetype(4 + length);
    // Consumed bytes go once they are most of the buffer: no copy per frame.
    if (m_start > 1024 * 1024 && m_start * 2 > m_buffer.size()) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    if (version != Version || type < quint64(FrameType::Job) || type > quint64(FrameType::Failed)
        || error.error != QCborError::NoError || !body.isMap()) {
        m_broken = true;
        return std::nullopt;
    }
    return Frame { FrameType(type), body.toMap() };
}

} // namespace WorkerProtocol
