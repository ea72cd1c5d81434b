#pragma once

#include "format/BookText.h"

#include <QString>
#include <QStringList>

// Traditional and simplified Chinese as one: a search for "紅樓夢" finds
// "红楼梦" and the other way round. The conversion tables are OpenCC's own
// (installed with the library); where they cannot be loaded the text is left
// as it is and a search matches only the form typed.
namespace TextForms {

// The text in simplified characters ("紅樓夢" gives "红楼梦"); phrases are
// converted as phrases where OpenCC knows them.
QString toSimplified(const QString& text);
// The text in traditional characters ("红楼梦" gives "紅樓夢").
QString toTraditional(const QString& text);

// Whether the text holds a character OpenCC's own character table turns into
// another in simplified writing (true too when that table cannot be read):
// text without one is already simplified and need not be converted.
bool mayHoldTraditional(QStringView text);

// The forms a search looks for: the text as typed, then its simplified and
// its traditional form, each once.
QStringList variants(const QString& text);

// The pages of a book as the full-text search keeps them: in simplified characters.
BookText bookText(const QStringList& pages);

// Whether OpenCC's tables were found (false: texts pass unchanged).
bool available();

} // namespace TextForms
