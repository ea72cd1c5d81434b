#include "search/ByteSearch.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ByteSearch {
namespace {

    char lower(char c)
    {
        return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }

    bool equalCaseless(const char* text, const char* needle, size_t length)
    {
        for (size_t i = 0; i < length; ++i) {
            if (lower(text[i]) != needle[i])
                return false;
        }
        return true;
    }

    // What turns a byte into the needle's case: ASCII letters differ from
    // their capitals by 0x20 alone, and no other byte becomes a letter by it.
    char foldFor(char needleByte)
    {
        return (needleByte >= 'a' && needleByte <= 'z') ? char(0x20) : char(0);
    }

} // namespace

bool hasAsciiLetter(const char* bytes, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        const char c = lower(bytes[i]);
        if (c >= 'a' && c <= 'z')
            return true;
    }
    return false;
}

Finder::Finder(const char* text, size_t size, const char* needle, size_t length, bool caseless)
    : m_text(text)
    , m_end(size >= length ? text + size - length + 1 : text)
    , m_needle(needle)
    , m_length(length)
    , m_caseless(caseless)
{
    if (length > 0) {
        m_first = needle[0];
        m_other = (m_first >= 'a' && m_first <= 'z') ? char(m_first - 'a' + 'A') : m_first;
    }
}

const char* Finder::nextByte(char c, const char* from, const char*& known, bool& none)
{
    // A scan that found nothing holds for every later start; one that found a
    // place at or after `from` is still the answer.
    if (none)
        return nullptr;
    if (known && known >= from)
        return known;
    known = from < m_end ? static_cast<const char*>(std::memchr(from, c, size_t(m_end - from))) : nullptr;
    none = known == nullptr;
    return known;
}

const char* Finder::next(const char* from)
{
    if (m_length == 0)
        return from;
    if (from >= m_end)
        return nullptr;
    if (!m_caseless) {
        // memmem's own scan ends at the place it gives, so successive calls never overlap.
        return static_cast<const char*>(memmem(from, size_t(m_end - from) + m_length - 1, m_needle, m_length));
    }
    return m_length == 1 ? nextByFirst(from) : nextByEnds(from);
}

const char* Finder::nextByFirst(const char* from)
{
    while (from < m_end) {
        const char* first = nextByte(m_first, from, m_nextFirst, m_noFirst);
        const char* other = m_other == m_first ? nullptr : nextByte(m_other, from, m_nextOther, m_noOther);
        if (!first && !other)
            return nullptr;
        const char* candidate = !other || (first && first < other) ? first : other;
        if (equalCaseless(candidate + 1, m_needle + 1, m_length - 1))
            return candidate;
        from = candidate + 1;
    }
    return nullptr;
}

const char* Finder::nextByEnds(const char* from) const
{
    const size_t lastAt = m_length - 1;
    const char first = m_needle[0];
    const char last = m_needle[lastAt];
    const char firstFold = foldFor(first);
    const char lastFold = foldFor(last);
    const char* at = from;
#if defined(__SSE2__)
    // Sixteen candidate starts at a time: their first bytes and, m_length - 1
    // further on, their last bytes; the last load ends inside the text because
    // every candidate starts before m_end.
    const __m128i firstBytes = _mm_set1_epi8(first);
    const __m128i lastBytes = _mm_set1_epi8(last);
    const __m128i firstFolds = _mm_set1_epi8(firstFold);
    const __m128i lastFolds = _mm_set1_epi8(lastFold);
    for (; m_end - at >= 16; at += 16) {
        const __m128i starts = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), firstFolds);
        const __m128i ends
            = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + lastAt)), lastFolds);
        unsigned both = unsigned(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(starts, firstBytes), _mm_cmpeq_epi8(ends, lastBytes))));
        while (both != 0) {
            const char* candidate = at + __builtin_ctz(both);
            if (equalCaseless(candidate + 1, m_needle + 1, m_length - 2))
                return candidate;
            both &= both - 1;
        }
    }
#endif
    for (; at < m_end; ++at) {
        if (char(at[0] | firstFold) == first && char(at[lastAt] | lastFold) == last
            && equalCaseless(at + 1, m_needle + 1, m_length - 2))
            return at;
    }
    return nullptr;
}

const char* findCaseless(const char* text, size_t size, const char* needle, size_t length)
{
    if (length == 0 || size < length)
        return length == 0 ? text : nullptr;
    return Finder(text, size, needle, length, true).next(text);
}

const char* find(const char* text, size_t size, const char* needle, size_t length, bool caseless)
{
    if (caseless)
        return findCaseless(text, size, needle, length);
    return static_cast<const char*>(memmem(text, size, needle, length));
}

} // namespace ByteSearch
