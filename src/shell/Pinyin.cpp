#include "shell/Pinyin.h"

#include <QHash>

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>
#include <mutex>

using namespace Qt::StringLiterals;

namespace Pinyin {
namespace {

    bool isAsciiAlnum(char32_t c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    }

    // One character in Latin letters, lower case, without tones: a Chinese
    // character gives its syllable ("梦" -> "meng"), "é" gives "e"; what has no
    // letters gives "". Characters are spelled one at a time, so that every
    // syllable is known for the initials, and remembered.
    class Speller
    {
    public:
        QString of(char32_t c)
        {
            const std::lock_guard lock(m_mutex);
            const auto found = m_cache.constFind(c);
            if (found != m_cache.constEnd())
                return *found;
            QString letters;
            if (transliterator()) {
                icu::UnicodeString text(static_cast<UChar32>(c));
                m_transliterator->transliterate(text);
                for (int32_t i = 0; i < text.length(); ++i) {
                    const char16_t unit = text.charAt(i);
                    if (isAsciiAlnum(unit))
                        letters += QChar(unit).toLower();
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
                    m_failed = true; // no ICU data: titles keep their Latin words only
                }
            }
            return m_transliterator.get();
        }

        std::mutex m_mutex;
        std::unique_ptr<icu::Transliterator> m_transliterator;
        bool m_failed = false;
        QHash<char32_t, QString> m_cache;
    };

    Speller& speller()
    {
        static Speller instance;
        return instance;
    }

} // namespace

Spelling spell(const QString& title)
{
    // Compatibility forms first: full-width "Ｑｔ" is "Qt".
    const QList<uint> points = title.normalized(QString::NormalizationForm_KC).toUcs4();
    Spelling spelling;
    QString word;
    const auto endWord = [&] {
        spelling.full += word;
        spelling.initials += word;
        word.clear();
    };
    for (const uint point : points) {
        const char32_t c = point;
        if (c < 0x80) {
            if (isAsciiAlnum(c))
                word += QChar(c).toLower();
            else
                endWord();
            continue;
        }
        const QString letters = speller().of(c);
        if (QChar::script(c) == QChar::Script_Han) {
            endWord();
            if (!letters.isEmpty()) {
                spelling.full += letters;
                spelling.initials += letters.front();
            }
        } else if (!letters.isEmpty()) {
            word += letters; // a Latin letter with an accent, Cyrillic, ...
        } else {
            endWord();
        }
    }
    endWord();
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

QString titleCondition(const QString& likeCondition, const QString& table, const QString& text, Lookup lookup)
{
    if (!isLatinOnly(text))
        return likeCondition;
    // Only letters, so the literal needs no quoting; both lookups match the
    // text as it stands, without wildcards.
    const QString letters = text.toLower();
    const QString source = table.toLower();
    const QString key = source == u"dzbook"_s ? u"ID"_s : u"id"_s;
    QString matches;
    if (lookup == Lookup::TextIndex && letters.size() >= 3)
        matches = u"select rowid from qh_pinyin_%1_text where qh_pinyin_%1_text match '\"%2\"'"_s.arg(source, letters);
    else
        matches = u"select id from qh_pinyin_%1 where instr(syllables, '%2') > 0 or instr(initials, '%2') > 0"_s.arg(
            source, letters);
    return u"(%1 or %2 in (%3))"_s.arg(likeCondition, key, matches);
}

} // namespace Pinyin
