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

const char* findCaseless(const char* text, size_t size, const char* needle, size_t length)
{
    if (length == 0 || size < length)
        return length == 0 ? text : nullptr;
    const char first = needle[0];
    const char other = (first >= 'a' && first <= 'z') ? char(first - 'a' + 'A') : first;
    const char* end = text + size - length + 1; // candidates start before here
    // The next place of each form of the first byte, each found once.
    const char* nextFirst = static_cast<const char*>(std::memchr(text, first, size_t(end - text)));
    const char* nextOther
        = other == first ? nullptr : static_cast<const char*>(std::memchr(text, other, size_t(end - text)));
    while (nextFirst || nextOther) {
        const bool takeFirst = nextFirst && (!nextOther || nextFirst < nextOther);
        const char* candidate = takeFirst ? nextFirst : nextOther;
        if (equalCaseless(candidate + 1, needle + 1, length - 1))
            return candidate;
        const char* from = candidate + 1;
        if (takeFirst)
            nextFirst = from < end ? static_cast<const char*>(std::memchr(from, first, size_t(end - from))) : nullptr;
        else
            nextOther = from < end ? static_cast<const char*>(std::memchr(from, other, size_t(end - from))) : nullptr;
    }
    return nullptr;
}

const char* find(const char* text, size_t size, const char* needle, size_t length, bool caseless)
{
    if (caseless)
        return findCaseless(text, size, needle, length);
    return static_cast<const char*>(memmem(text, size, needle, length));
}

} // namespace ByteSearch
