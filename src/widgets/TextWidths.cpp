#include "widgets/TextWidths.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Eight bytes at a time, each step a multiply and a shift, then a final mix: the
// texts are a household's titles and names, nothing chosen to collide.
quint64 hashOf(QByteArrayView bytes)
{
    const char* p = bytes.data();
    size_t n = size_t(bytes.size());
    quint64 h = 0x9e3779b97f4a7c15ULL ^ n;
    for (; n >= 8; p += 8, n -= 8) {
        quint64 v;
        std::memcpy(&v, p, 8);
        h = (h ^ v) * 0xff51afd7ed558ccdULL;
        h ^= h >> 29;
    }
    if (n > 0) {
        // The last bytes: as the last eight when the text has them (overlapping
        // what was hashed), else in pieces; a call to memcpy would cost more.
        quint64 v = 0;
        if (bytes.size() >= 8) {
            std::memcpy(&v, p + n - 8, 8);
        } else {
            quint32 four = 0;
            quint16 two = 0;
            if (n & 4)
                std::memcpy(&four, p, 4);
            if (n & 2)
                std::memcpy(&two, p + (n & 4), 2);
            const quint8 one = (n & 1) ? quint8(p[n - 1]) : 0;
            v = quint64(four) | quint64(two) << 32 | quint64(one) << 48;
        }
        h = (h ^ v) * 0xc4ceb9fe1a85ec53ULL;
        h ^= h >> 32;
    }
    h = (h ^ (h >> 33)) * 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h >> 16 ? h : h | 0x10000; // a text's tag is never 0, the empty slot's
}

constexpr size_t MostTexts = 100000; // then the table starts again

} // namespace

void TextWidths::setFont(const QFont& font)
{
    if (font == m_font && !m_slots.empty())
        return;
    m_font = font;
    m_metrics = QFontMetricsF(font);
    m_slots.assign(1024, Slot());
    m_used = 0;
}

int TextWidths::width(QByteArrayView utf8)
{
    if (m_slots.empty())
        setFont(m_font);
    constexpr quint64 widthBits = 0xffff;
    const quint64 tag = hashOf(utf8) & ~widthBits;
    const size_t mask = m_slots.size() - 1;
    size_t i = size_t(tag >> 16) & mask;
    for (; m_slots[i] != 0; i = (i + 1) & mask) {
        if ((m_slots[i] & ~widthBits) == tag)
            return int(m_slots[i] & widthBits);
    }
    // Rounded up: a cell elides a text whose fractional width passes its own by a hair.
    const qreal advance = std::ceil(m_metrics.horizontalAdvance(QString::fromUtf8(utf8)));
    const int width = int(std::clamp(advance, 0.0, qreal(widthBits)));
    m_slots[i] = tag | quint64(width);
    if (++m_used * 2 > m_slots.size())
        grow();
    return width;
}

void TextWidths::grow()
{
    if (m_used > MostTexts) {
        m_slots.assign(1024, Slot());
        m_used = 0;
        return;
    }
    std::vector<Slot> old(m_slots.size() * 2);
    old.swap(m_slots);
    const size_t mask = m_slots.size() - 1;
    for (const Slot slot : old) {
        if (slot == 0)
            continue;
        size_t i = size_t(slot >> 16) & mask;
        while (m_slots[i] != 0)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}
