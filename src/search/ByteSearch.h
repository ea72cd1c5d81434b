#pragma once

#include <cstddef>

// Finding a UTF-8 needle in UTF-8 text at the speed of memchr/memmem.
namespace ByteSearch {

// Whether bytes hold an ASCII letter (then a search must ignore their case).
bool hasAsciiLetter(const char* bytes, size_t size);

// The first place of needle in text, ASCII letters matching either case;
// needle must be lower-case. Null when there is none. Candidates are found by
// memchr on the needle's first byte in both cases, which for Chinese text
// (few ASCII letters) is nearly a plain scan.
const char* findCaseless(const char* text, size_t size, const char* needle, size_t length);

// The first place of needle: memmem when it has no ASCII letter, else findCaseless.
const char* find(const char* text, size_t size, const char* needle, size_t length, bool caseless);

} // namespace ByteSearch
