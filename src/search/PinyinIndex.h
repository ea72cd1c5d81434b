#pragma once

#include <QString>

class Connection;

// The pinyin of every title of a table, kept in a table of ours keyed by the
// row's id ("qh_pinyin_baseshu", "qh_pinyin_dzbook") beside a copy of the title
// it was spelled from. Any writer may change titles: an update compares the copy
// with the current title and spells only new and changed rows.
namespace PinyinIndex {

// "qh_pinyin_" + table; table is "baseshu" or "dzbook" (anything else throws).
QString tableFor(const QString& table);

// Creates the index table when missing, drops the rows of deleted books and
// spells new and changed titles, in one transaction (a savepoint inside an open
// one). Returns the number of titles spelled. Throws EDatabaseError.
int update(Connection& connection, const QString& table);

// What a search puts in place of its title condition: for a Latin-only text the
// index is brought up to date and Pinyin::titleCondition() returned; any other
// text returns likeCondition without touching the database, and so does a
// library opened read-only.
QString condition(Connection& connection, const QString& likeCondition, const QString& table, const QString& text);

} // namespace PinyinIndex
