#pragma once

#include <QList>
#include <QString>

class Connection;

// The pinyin of the titles, authors and publishers of the paper books
// ("baseshu") and the e-books ("dzbook"), kept in memory per connection and
// table and spelled again only for rows whose text changed. Any writer may
// change the rows (this program, another copy, a database tool): each call
// first checks cheaply whether the file changed, and if it did compares every
// text with the one it was spelled from.
//
// Searches use it in one of two ways:
//   - condition(): the text of a search's condition, for a statement;
//   - matches(): the ids of the rows that match, for a search of its own.
// Both take any text; only a Latin-only one (Pinyin::isLatinOnly) can match.
namespace PinyinIndex {

// The columns with pinyin, in both tables.
inline constexpr const char* columns[] = { "name", "zuozhe", "publish" };

// Spells new and changed rows of table ("baseshu" or "dzbook", any case) and
// forgets deleted ones; returns the number of texts spelled (0 when nothing
// changed). Throws EDatabaseError for another table or a column not in
// columns, or when the table cannot be read.
int update(Connection& connection, const QString& table);

// The ids, ascending, of the rows of table whose column (one of columns)
// matches text in pinyin (Pinyin::Query); none when text is not Latin-only.
// The index is brought up to date first.
QList<qint64> matches(Connection& connection, const QString& table, const QString& column, const QString& text);

// What a search puts in place of its condition on column: for a Latin-only
// text, "(<key> in (select <key> from <table> where likeCondition) or <key> in
// (<the matching ids>))", where the key is the table's id column, so the
// engine reads only the rows found (likeCondition names the table's columns
// without a table name); any other text returns likeCondition unchanged
// without touching the database.
QString condition(Connection& connection, const QString& likeCondition, const QString& table, const QString& text,
    const QString& column = QStringLiteral("name"));

} // namespace PinyinIndex
