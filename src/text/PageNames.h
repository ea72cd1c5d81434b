#pragma once

#include <QString>
#include <QStringList>

class Connection;
struct sqlite3;

// How every part of the program names a page of an e-book: "第 10 页", or,
// where the book numbers its pages itself (front matter in roman numerals,
// a first chapter that starts at 1), its own number first and the place in
// the file after it: "第 4 页（PDF 第 10 页）".
namespace PageNames {

// page from 0; label: the book's own name of that page (empty when it has none).
QString name(int page, const QString& label);

// labels: one per page from the first, as the book gives them; a book whose
// labels are all empty or merely count from 1 gives an empty list.
QStringList meaningful(const QStringList& labels);

// The labels kept for a stored e-book (learnt when it was read), through the
// search's own handle; empty when none are kept or the table is missing.
QStringList stored(sqlite3* db, const QString& storedName);
// Keeps a book's labels (meaningful ones; none drops what was kept), and
// drops them when the book goes. Throw EDatabaseError.
void remember(Connection& connection, const QString& storedName, const QStringList& labels);
void forget(Connection& connection, const QString& storedName);

} // namespace PageNames
