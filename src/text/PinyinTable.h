#pragma once

// Every Mandarin reading of the Chinese characters, without tones, generated
// at build time from the Unihan database (fields kMandarin, kHanyuPinyin and
// kXHC1983) by qinghe_make_pinyin_table. A character's readings are
// readings[firstReading[i]] up to readings[firstReading[i + 1]], where
// characters[i] is the character (sorted); each is an index into syllables.
// "ü" appears both as "u" and as "v" ("绿": "lu", "lv").
namespace PinyinTable {

extern const int syllableCount;
extern const char* const syllables[];
extern const int characterCount;
extern const char32_t characters[];
extern const unsigned firstReading[];
extern const unsigned short readings[];

} // namespace PinyinTable
