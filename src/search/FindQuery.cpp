#include "search/FindQuery.h"

#include "data/Isbn.h"
#include "search/Pinyin.h"
#include "search/TextForms.h"

FindQuery FindQuery::from(const QString& typed)
{
    FindQuery query;
    query.text = typed.trimmed();
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
