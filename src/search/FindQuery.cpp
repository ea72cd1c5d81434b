#include "search/FindQuery.h"

#include "data/Isbn.h"
#include "text/Pinyin.h"
#include "text/TextForms.h"

namespace {

// Typed (or pasted) text as the library holds text: line breaks and tabs are
// blanks, and control characters (NUL, the unit separator the search joins
// its forms with, ...) are no part of any title or note, so they are dropped
// rather than allowed to cut or split the text.
QString typedText(const QString& typed)
{
    QString text;
    text.reserve(typed.size());
    for (const QChar c : typed) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            text += u' ';
        else if (c.category() != QChar::Other_Control)
            text += c;
    }
    return text.trimmed();
}

} // namespace

FindQuery FindQuery::from(const QString& typed)
{
    FindQuery query;
    query.text = typedText(typed);
    if (query.text.isEmpty())
        return query;
    query.needles = TextForms::variants(query.text);
    query.isbnForms = Isbn::forms(query.text);
    // Blanks between syllables are left out, as they are in the index.
    QString letters = query.text;
    letters.remove(QLatin1Char(' '));
    if (Pinyin::isLatinOnly(letters))
        query.pinyin = letters.toLower();
    return query;
}
