#include "text/TextForms.h"

#include <opencc.h>
#include <opencc/DictEntry.hpp>
#include <opencc/Lexicon.hpp>
#include <opencc/MarisaDict.hpp>

#include <QFile>
#include <QStandardPaths>

#include <bitset>
#include <cstdio>
#include <mutex>
#include <unordered_set>

using namespace Qt::StringLiterals;

namespace TextForms {
namespace {

    // One converter per direction, opened at first use and kept for the run.
    // OpenCC's converters are read-only once loaded; the lock keeps the
    // opening itself single.
    class Converter
    {
    public:
        explicit Converter(const char* config)
            : m_config(config)
        { }
        ~Converter()
        {
            if (m_handle != invalid())
                opencc_close(m_handle);
        }
        Converter(const Converter&) = delete;
        Converter& operator=(const Converter&) = delete;

        bool ready()
        {
            std::call_once(m_opened, [this] { m_handle = opencc_open(m_config); });
            return m_handle != invalid();
        }

        QString convert(const QString& text)
        {
            if (text.isEmpty() || !ready())
                return text;
            const QByteArray utf8 = text.toUtf8();
            char* converted = opencc_convert_utf8(m_handle, utf8.constData(), size_t(utf8.size()));
            if (!converted)
                return text;
            QString result = QString::fromUtf8(converted);
            opencc_convert_utf8_free(converted);
            return result;
        }

    private:
        static opencc_t invalid() { return reinterpret_cast<opencc_t>(-1); }

        const char* m_config;
        std::once_flag m_opened;
        opencc_t m_handle = invalid();
    };

    Converter& simplifier()
    {
        static Converter converter(OPENCC_DEFAULT_CONFIG_TRAD_TO_SIMP);
        return converter;
    }

    Converter& traditionalizer()
    {
        static Converter converter(OPENCC_DEFAULT_CONFIG_SIMP_TO_TRAD);
        return converter;
    }

    // Only text with characters outside ASCII can change; the common Latin
    // search goes past OpenCC entirely.
    bool asciiOnly(const QString& text)
    {
        for (const QChar c : text) {
            if (c.unicode() >= 0x80)
                return false;
        }
        return true;
    }

    // The characters of OpenCC's traditional-to-simplified character table.
    class TraditionalCharacters
    {
    public:
        TraditionalCharacters()
        {
            QString path = QStandardPaths::locate(QStandardPaths::GenericDataLocation, u"opencc/TSCharacters.ocd2"_s);
            if (path.isEmpty() && QFile::exists(u"/usr/share/opencc/TSCharacters.ocd2"_s))
                path = u"/usr/share/opencc/TSCharacters.ocd2"_s;
            FILE* file = path.isEmpty() ? nullptr : std::fopen(QFile::encodeName(path).constData(), "rb");
            if (!file)
                return;
            try {
                const opencc::LexiconPtr lexicon = opencc::MarisaDict::NewFromFile(file)->GetLexicon();
                for (const auto& entry : *lexicon) {
                    const QList<uint> points = QString::fromStdString(entry->Key()).toUcs4();
                    if (points.size() != 1)
                        continue;
                    if (points[0] < 0x10000)
                        m_basic.set(points[0]);
                    else
                        m_other.insert(points[0]);
                }
                m_loaded = true;
            } catch (...) {
                m_loaded = false;
            }
            std::fclose(file);
        }

        bool any(QStringView text) const
        {
            if (!m_loaded)
                return true;
            for (qsizetype i = 0; i < text.size(); ++i) {
                const char16_t c = text[i].unicode();
                if (c < 0x2E80)
                    continue; // below the CJK blocks
                if (QChar::isHighSurrogate(c) && i + 1 < text.size()) {
                    if (m_other.count(QChar::surrogateToUcs4(c, text[i + 1].unicode())))
                        return true;
                    ++i;
                } else if (m_basic.test(c)) {
                    return true;
                }
            }
            return false;
        }

    private:
        bool m_loaded = false;
        std::bitset<0x10000> m_basic;
        std::unordered_set<uint> m_other;
    };

} // namespace

bool mayHoldTraditional(QStringView text)
{
    static const TraditionalCharacters characters;
    return characters.any(text);
}

QString toSimplified(const QString& text)
{
    return asciiOnly(text) ? text : simplifier().convert(text);
}

QString toTraditional(const QString& text)
{
    return asciiOnly(text) ? text : traditionalizer().convert(text);
}

QStringList variants(const QString& text)
{
    QStringList forms { text };
    for (const QString& form : { toSimplified(text), toTraditional(text) }) {
        if (!form.isEmpty() && !forms.contains(form))
            forms << form;
    }
    return forms;
}

bool available()
{
    return simplifier().ready() && traditionalizer().ready();
}

BookText bookText(const QStringList& pages)
{
    QStringList simplified;
    simplified.reserve(pages.size());
    for (const QString& page : pages)
        simplified << (mayHoldTraditional(page) ? toSimplified(page) : page);
    return BookText::join(simplified);
}

} // namespace TextForms
