#pragma once

// Whether a library file taken from a backup may take the place of the one in
// use. A backup is only a file: one made by hand, or by another program, may
// carry a library that locks the family out (no accounts table, no account),
// or one that destroys data later (a trigger that empties a table at the next
// insert, a store name that leads out of the store). Such a library is refused
// before anything is swapped.

#include <QString>

struct sqlite3;

namespace LibraryCheck {

// What is wrong with candidate, in words for the user ("" when nothing is).
// reference is a fresh library made by this program (makeReference).
// Checked: the four tables with every column the program uses; only the
// program's own tables, indexes, triggers and views, those of the reference
// alike; no foreign keys; a version this program knows; an account to log in
// with; every e-book's store name of the stored-name form.
QString problems(sqlite3* candidate, sqlite3* reference);

// Makes a fresh library at path, with the tables the program adds as it runs.
void makeReference(const QString& path, const QString& password);

} // namespace LibraryCheck
