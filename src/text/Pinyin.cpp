#include "text/Pinyin.h"

#include "text/PinyinTable.h"

#include <QHash>

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

using namespace Qt::StringLiterals;

namespace Pinyin {
namespace {

    bool isAsciiAlnum(char32_t c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    }

    // The ICU transliteration of one character the table lacks, as lower-case
    // letters without tones ("é" -> "e", "я" -> "a"); "" when it has none.
    // Remembered per character.
    class Speller
    {
    public:
        std::string of(char32_t c)
        {
            const std::lock_guard lock(m_mutex);
            const auto found = m_cache.constFind(c);
            if (found != m_cache.constEnd())
                return *found;
            std::string letters;
            if (icu::Transliterator* latin = transliterator()) {
                icu::UnicodeString unicode = icu::UnicodeString(UChar32(c));
                latin->transliterate(unicode);
                for (int32_t i = 0; i < unicode.length(); ++i) {
                    const char16_t unit = unicode.charAt(i);
                    if (isAsciiAlnum(unit))
                        letters += char(QChar(unit).toLower().unicode());
                }
            }
            m_cache.insert(c, letters);
            return letters;
        }

    private:
        icu::Transliterator* transliterator()
        {
            if (!m_transliterator && !m_failed) {
                UErrorCode status = U_ZERO_ERROR;
                m_transliterator.reset(icu::Transliterator::createInstance(
                    icu::UnicodeString::fromUTF8("Any-Latin; Latin-ASCII; Lower"), UTRANS_FORWARD, status));
                if (U_FAILURE(status)) {
                    m_transliterator.reset();
                    m_failed = true; // no ICU data: such characters are left out
                }
            }
            return m_transliterator.get();
        }

        std::mutex m_mutex;
        std::unique_ptr<icu::Transliterator> m_transliterator;
        bool m_failed = false;
        QHash<char32_t, std::string> m_cache;
    };

    Speller& speller()
    {
        static Speller instance;
        return instance;
    }

    // The index of c in the generated table, or -1.
    int tableIndex(char32_t c)
    {
        const char32_t* begin = PinyinTable::characters;
        const char32_t* end = begin + PinyinTable::characterCount;
        const char32_t* found = std::lower_bound(begin, end, c);
        return found != end && *found == c ? int(found - begin) : -1;
    }

    int letterIndex(char c)
    {
        return c >= 'a' && c <= 'z' ? c - 'a' : -1;
    }

    void addPair(std::array<std::uint64_t, 4>& pairs, char a, char b)
    {
        const int x = letterIndex(a), y = letterIndex(b);
        if (x < 0 || y < 0)
            return; // digits: a search text holds letters only
        const unsigned bit = unsigned(x * 26 + y) * 157u % 256u;
        pairs[bit / 64] |= std::uint64_t(1) << (bit % 64);
    }

    // Builds a spelling unit by unit, keeping the filters of its letters.
    class Builder
    {
    public:
        Builder(std::string& code, std::uint32_t& letters, std::array<std::uint64_t, 4>& pairs)
            : m_code(code)
            , m_letters(letters)
            , m_pairs(pairs)
        {
        }

        template <typename Readings> void unit(const Readings& readings)
        {
            std::string firsts, lasts;
            m_code += char(readings.size());
            for (const std::string& reading : readings) {
                const size_t length = std::min<size_t>(reading.size(), 255);
                m_code += char(length);
                m_code.append(reading, 0, length);
                for (size_t i = 0; i < length; ++i) {
                    if (letterIndex(reading[i]) >= 0)
                        m_letters |= 1u << letterIndex(reading[i]);
                    if (i + 1 < length)
                        addPair(m_pairs, reading[i], reading[i + 1]);
                }
                firsts += reading.front();
                lasts += reading[length - 1];
            }
            // Across the boundary with the unit before: its last letters
            // (whole readings) and its first letters (initials) against ours.
            for (const char before : m_lasts + m_firsts) {
                for (const char first : firsts)
                    addPair(m_pairs, before, first);
            }
            m_firsts = firsts;
            m_lasts = lasts;
        }

    private:
        std::string& m_code;
        std::uint32_t& m_letters;
        std::array<std::uint64_t, 4>& m_pairs;
        std::string m_firsts, m_lasts;
    };

} // namespace

QString Spelling::text() const
{
    QString text;
    size_t at = 0;
    while (at < m_code.size()) {
        if (!text.isEmpty())
            text += u' ';
        const int count = static_cast<unsigned char>(m_code[at++]);
        for (int r = 0; r < count; ++r) {
            const size_t length = static_cast<unsigned char>(m_code[at++]);
            if (r > 0)
                text += u'|';
            text += QString::fromLatin1(m_code.data() + at, qsizetype(length));
            at += length;
        }
    }
    return text;
}

Spelling spell(const QString& text)
{
    Spelling spelling;
    Builder builder(spelling.m_code, spelling.m_letters, spelling.m_pairs);
    std::vector<std::string> readings;
    // Compatibility forms first: full-width "Ｑｔ" is "Qt".
    const QList<uint> points = text.normalized(QString::NormalizationForm_KC).toUcs4();
    for (const uint point : points) {
        const char32_t c = point;
        readings.clear();
        if (c < 0x80) {
            if (isAsciiAlnum(c))
                builder.unit(std::array<std::string, 1> { std::string(1, char(QChar(c).toLower().unicode())) });
            continue;
        }
        if (const int i = tableIndex(c); i >= 0) {
            for (unsigned r = PinyinTable::firstReading[i]; r < PinyinTable::firstReading[i + 1]; ++r)
                readings.emplace_back(PinyinTable::syllables[PinyinTable::readings[r]]);
            builder.unit(readings);
            continue;
        }
        const std::string letters = speller().of(c);
        if (letters.empty())
            continue; // blanks, punctuation, symbols
        if (QChar::script(c) == QChar::Script_Han) {
            builder.unit(std::array<std::string, 1> { letters });
        } else {
            for (const char letter : letters) // a letter with an accent, Cyrillic, ...
                builder.unit(std::array<std::string, 1> { std::string(1, letter) });
        }
    }
    return spelling;
}

bool isLatinOnly(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z')))
            return false;
    }
    return true;
}

Query::Query(const QString& text)
{
    // Longer than any run of initials a title can have, and longer than
    // anyone types: such a text matches nothing here.
    if (!isLatinOnly(text) || text.size() > 255)
        return;
    m_text = text.toLower().toStdString();
    for (size_t i = 0; i < m_text.size(); ++i) {
        m_letters |= 1u << letterIndex(m_text[i]);
        if (i + 1 < m_text.size())
            addPair(m_pairs, m_text[i], m_text[i + 1]);
    }
}

bool Query::matches(const Spelling& spelling) const
{
    if (m_text.empty() || (m_letters & ~spelling.m_letters) != 0)
        return false;
    for (size_t w = 0; w < m_pairs.size(); ++w) {
        if ((m_pairs[w] & ~spelling.m_pairs[w]) != 0)
            return false;
    }
    return matchesInitials(spelling) || matchesWhole(spelling);
}

namespace {

    // The positions in the search text reached so far, each once.
    class Reached
    {
    public:
        void clear()
        {
            m_count = 0;
            m_seen.fill(0);
        }
        void add(size_t position)
        {
            std::uint64_t& word = m_seen[position / 64];
            const std::uint64_t bit = std::uint64_t(1) << (position % 64);
            if (word & bit)
                return;
            word |= bit;
            m_positions[m_count++] = std::uint8_t(position);
        }
        int count() const { return m_count; }
        size_t operator[](int i) const { return m_positions[size_t(i)]; }

    private:
        std::array<std::uint8_t, 256> m_positions {};
        std::array<std::uint64_t, 4> m_seen {};
        int m_count = 0;
    };

} // namespace

// The text as whole readings of consecutive units, the first entered anywhere
// and the last left anywhere.
bool Query::matchesWhole(const Spelling& spelling) const
{
    const char* text = m_text.data();
    const size_t length = m_text.size();
    const unsigned char* code = reinterpret_cast<const unsigned char*>(spelling.m_code.data());
    const unsigned char* end = code + spelling.m_code.size();
    std::array<Reached, 2> both;
    int now = 0;
    while (code < end) {
        const Reached& reached = both[size_t(now)];
        Reached& next = both[size_t(1 - now)];
        next.clear();
        const int count = *code++;
        for (int r = 0; r < count; ++r) {
            const size_t size = *code++;
            const char* reading = reinterpret_cast<const char*>(code);
            code += size;
            // A match starting inside this reading.
            for (size_t from = 0; from < size; ++from) {
                if (reading[from] != text[0])
                    continue;
                const size_t rest = size - from;
                if (rest >= length) {
                    if (std::memcmp(reading + from, text, length) == 0)
                        return true;
                } else if (std::memcmp(reading + from, text, rest) == 0) {
                    next.add(rest);
                }
            }
            // Matches carried on from the units before.
            for (int i = 0; i < reached.count(); ++i) {
                const size_t at = reached[i];
                const size_t rest = length - at;
                if (size >= rest) {
                    if (std::memcmp(reading, text + at, rest) == 0)
                        return true;
                } else if (std::memcmp(reading, text + at, size) == 0) {
                    next.add(at + size);
                }
            }
        }
        now = 1 - now;
    }
    return false;
}

// The text as the first letters of consecutive units.
bool Query::matchesInitials(const Spelling& spelling) const
{
    const char* text = m_text.data();
    const size_t length = m_text.size();
    const unsigned char* code = reinterpret_cast<const unsigned char*>(spelling.m_code.data());
    const unsigned char* end = code + spelling.m_code.size();
    std::array<Reached, 2> both;
    int now = 0;
    while (code < end) {
        const Reached& reached = both[size_t(now)];
        Reached& next = both[size_t(1 - now)];
        next.clear();
        const int count = *code++;
        for (int r = 0; r < count; ++r) {
            const size_t size = *code++;
            const char initial = char(code[0]);
            code += size;
            if (initial == text[0]) {
                if (length == 1)
                    return true;
                next.add(1);
            }
            for (int i = 0; i < reached.count(); ++i) {
                const size_t at = reached[i];
                if (initial == text[at]) {
                    if (at + 1 == length)
                        return true;
                    next.add(at + 1);
                }
            }
        }
        now = 1 - now;
    }
    return false;
}

} // namespace Pinyin
