#pragma once

#include <QString>

// Titles spelled in pinyin, for finding "红楼梦" by typing "hlm" or "honglou".
namespace Pinyin {

// The two spellings of a title, lower-case ASCII: every Chinese character as
// its syllable without tone (full) or as the syllable's first letter
// (initials); a run of Latin letters and digits counts as itself in both.
// Blanks and punctuation are left out. "Qt编程" gives "qtbiancheng" and "qtbc".
// Where a word's reading differs from that of its characters one by one
// ("重庆": "chongqing", not "zhongqing"), both are kept, a blank between them.
struct Spelling
{
    QString full;
    QString initials;
};
Spelling spell(const QString& title);

// A search text that may be pinyin: not empty and only Latin letters (A-Z, a-z).
bool isLatinOnly(const QString& text);

// How the pinyin matches are looked up: through the trigram text index
// ("qh_pinyin_<table>_text", for texts of three letters or more) or by a scan
// of the kept spellings (shorter texts, or an engine without the text index).
enum class Lookup
{
    TextIndex,
    Scan
};

// The title condition of a search over table ("baseshu" or "dzbook"): for a
// Latin-only text, likeCondition or the row's id among the pinyin matches, in
// parentheses; for any other text likeCondition itself, unchanged.
// The pinyin index must be brought up to date first (PinyinIndex::update).
QString titleCondition(
    const QString& likeCondition, const QString& table, const QString& text, Lookup lookup = Lookup::TextIndex);

} // namespace Pinyin
