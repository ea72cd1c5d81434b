#include "search/ByteSearch.h"

#include <cstring>

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
