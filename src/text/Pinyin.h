#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <string>

// Texts spelled in pinyin, for finding "水浒传" by typing "shz", "shuihuzhuan"
// or "shuihuchuan": every reading of a character counts.
namespace Pinyin {

// A text as a row of units: a Chinese character with all its readings
// (lower-case, without tones), or one Latin letter or digit standing for
// itself. Blanks and punctuation are left out, so "C++ Primer" spells as
// "cprimer". Kept compact: a title of many characters with several readings
// each is still one short row, never a list of every combination.
class Spelling
{
public:
    bool isEmpty() const { return m_code.empty(); }
    // The units, blank-separated, each with its readings joined by '|':
    // "水浒传" gives "shui hu|xu chuan|zhuan" (for tests and diagnostics).
    QString text() const;

private:
    friend Spelling spell(const QString& text);
    friend class Query;

    // Per unit: the number of readings, then each reading as its length and
    // its letters, one byte each.
    std::string m_code;
    // Letters that occur in any reading, bit 0 for 'a'.
    std::uint32_t m_letters = 0;
    // A filter of the letter pairs a match can contain: pairs inside a
    // reading, across neighbouring units, and of neighbouring initials.
    std::array<std::uint64_t, 4> m_pairs {};
};

// Spells a text: readings from the Unihan table built into the program, and
// for a character the table lacks (or a letter with an accent, Cyrillic, ...)
// its ICU transliteration. Full-width forms count as their plain ones.
Spelling spell(const QString& text);

// A text that may be pinyin: not empty and only Latin letters (A-Z, a-z).
bool isLatinOnly(const QString& text);

// What a user typed, to be matched against spellings. A spelling matches when
// the letters run through consecutive units, choosing one reading per unit,
// either as whole readings (the first and last may be cut: "uihuzh" is in
// "shui hu zhuan") or as the readings' first letters ("shz"); Latin letters
// stand for themselves in both ("qtbc" for "Qt编程"). Case is ignored.
class Query
{
public:
    explicit Query(const QString& text);
    bool matches(const Spelling& spelling) const;

private:
    bool matchesWhole(const Spelling& spelling) const;
    bool matchesInitials(const Spelling& spelling) const;

    std::string m_text; // lower-case letters; empty when the text was not Latin-only
    std::uint32_t m_letters = 0;
    std::array<std::uint64_t, 4> m_pairs {};
};

} // namespace Pinyin
