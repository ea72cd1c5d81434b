#include "search/Pinyin.h"

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
            const QStringList words = transliterate(QString::fromUcs4(&c, 1));
            const QString letters = words.join(QString());
            m_cache.insert(c, letters);
            return letters;
        }

        // A run of Chinese characters as a whole, where the transliteration
        // knows a few words whose reading depends on the neighbours ("重庆" is
        // "chong qing", though "重" alone is "zhong"): its words, as letters.
        QStringList words(const QString& run)
        {
            const std::lock_guard lock(m_mutex);
            return transliterate(run);
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

        QStringList transliterate(const QString& text)
        {
            QStringList words;
            if (!transliterator())
                return words;
            icu::UnicodeString unicode(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
            m_transliterator->transliterate(unicode);
            QString word;
            for (int32_t i = 0; i <= unicode.length(); ++i) {
                const char16_t unit = i < unicode.length() ? unicode.charAt(i) : u' ';
                if (isAsciiAlnum(unit)) {
                    word += QChar(unit).toLower();
                } else if (!word.isEmpty()) {
                    words << word;
                    word.clear();
                }
            }
            return words;
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

namespace {

    // One run of Chinese characters, added to both readings of the title: one
    // character at a time (every syllable known, so the initials follow) and as
    // a whole. The words of the whole are matched to the characters for their
    // initials; where that fails the initials of the single characters stand.
    void addRun(const QString& run, const QStringList& syllables, Spelling& single, Spelling& whole)
    {
        QString initials;
        for (const QString& syllable : syllables) {
            if (!syllable.isEmpty())
                initials += syllable.front();
        }
        single.full += syllables.join(QString());
        single.initials += initials;

        const QStringList words = speller().words(run);
        whole.full += words.join(QString());
        QString wholeInitials;
        qsizetype next = 0;
        for (const QString& word : words) {
            // The shortest stretch of characters spelling the word; else one
            // character whose reading the neighbours changed.
            qsizetype end = next;
            QString joined;
            while (end < syllables.size() && joined.size() < word.size())
                joined += syllables[end++];
            if (joined != word)
                end = next + 1;
            for (qsizetype i = next; i < end && i < syllables.size(); ++i) {
                if (!syllables[i].isEmpty())
                    wholeInitials += joined == word ? syllables[i].front() : word.front();
            }
            next = end;
        }
        whole.initials += next == syllables.size() ? wholeInitials : initials;
    }

} // namespace

Spelling spell(const QString& title)
{
    // Compatibility forms first: full-width "Ｑｔ" is "Qt".
    const QList<uint> points = title.normalized(QString::NormalizationForm_KC).toUcs4();
    Spelling single;
    Spelling whole;
    QString word;
    QString run;
    QStringList syllables;
    const auto endWord = [&] {
        if (!run.isEmpty()) {
            addRun(run, syllables, single, whole);
            run.clear();
            syllables.clear();
        }
        single.full += word;
        single.initials += word;
        whole.full += word;
        whole.initials += word;
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
            if (!word.isEmpty())
                endWord();
            run += QString::fromUcs4(&c, 1);
            syllables << letters;
        } else if (!letters.isEmpty()) {
            if (!run.isEmpty()) {
                addRun(run, syllables, single, whole);
                run.clear();
                syllables.clear();
            }
            word += letters; // a Latin letter with an accent, Cyrillic, ...
        } else {
            endWord();
        }
    }
    endWord();
    // Both readings when they differ, a blank between them: a search text is
    // letters only, so it never matches across the two.
    if (whole.full != single.full)
        single.full += u' ' + whole.full;
    if (whole.initials != single.initials)
        single.initials += u' ' + whole.initials;
    return single;
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
