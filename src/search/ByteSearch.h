#pragma once

#include <cstddef>

// Finding a UTF-8 needle in UTF-8 text at the speed of memchr/memmem.
namespace ByteSearch {

// Whether bytes hold an ASCII letter (then a search must ignore their case).
bool hasAsciiLetter(const char* bytes, size_t size);

// Walks one text from its start to its end, giving the places of one needle in
// order, each search starting where the caller asks (after the last place, or
// further on), so finding every place costs one pass over the text however
// many there are. A caseless needle of two bytes or more is looked for by its
// first and last bytes together, sixteen places at a time: in English text a
// first letter alone stops the scan every few bytes. A one-byte needle's scans
// (in both cases) carry over from one place to the next. `needle` must be
// lower-case when caseless and outlive the finder.
class Finder
{
public:
    Finder(const char* text, size_t size, const char* needle, size_t length, bool caseless);

    // The first place at or after `from` (inside the text); null when there is none.
    const char* next(const char* from);

private:
    // The first `c` at or after from, reusing the last scan when it is still ahead.
    const char* nextByte(char c, const char* from, const char*& known, bool& none);
    // The first caseless place at or after from, by the needle's first and last bytes.
    const char* nextByEnds(const char* from) const;
    const char* nextByFirst(const char* from);

    const char* m_text;
    const char* m_end; // candidates start before here
    const char* m_needle;
    size_t m_length;
    bool m_caseless;
    char m_first = 0;
    char m_other = 0;
    const char* m_nextFirst = nullptr;
    const char* m_nextOther = nullptr;
    bool m_noFirst = false; // no more of m_first after m_nextFirst's scan
    bool m_noOther = false;
};

// The first place of needle in text, ASCII letters matching either case;
// needle must be lower-case. Null when there is none. Candidates are found by
// memchr on the needle's first byte in both cases, which for Chinese text
// (few ASCII letters) is nearly a plain scan.
const char* findCaseless(const char* text, size_t size, const char* needle, size_t length);

// The first place of needle: memmem when it has no ASCII letter, else findCaseless.
const char* find(const char* text, size_t size, const char* needle, size_t length, bool caseless);

} // namespace ByteSearch
