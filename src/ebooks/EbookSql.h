#pragma once

// Statement texts of the e-book list.

#include <QString>

class Connection;

namespace EbookSql {

// The list as it first opens.
inline constexpr const char16_t* allBooks = u"select *  from dzbook";

// Leading and trailing blanks and control characters removed.
QString trimmed(const QString& text);

// The list's statement for a search by title (a substring) and reading status
// (exact); empty boxes mean no condition. Both values are quoted. A title of
// Latin letters only also finds titles by their pinyin (PinyinIndex::condition,
// which brings the library's pinyin index up to date first).
QString search(Connection& connection, const QString& title, const QString& status);

} // namespace EbookSql
