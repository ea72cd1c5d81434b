#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <string_view>

// ISBNs in every form the program meets them: typed into a search, read from a
// CSV cell, stored in a book row. One place knows the check digits and the two
// lengths, so the search, the CSV import and the look-ups agree on which ISBNs
// are the same book.
namespace Isbn {

// The digits and X of a text, X upper-case, everything else left out.
QString compact(const QString& text);
// The same for UTF-8 bytes (a column value as the database hands it over).
std::string compact(std::string_view utf8);

// A text with hyphens and blanks (also the ideographic and the no-break space)
// taken out and letters upper-cased; other characters stay, so a text that is
// no ISBN stays told apart from one that is.
QString withoutSeparators(const QString& text);

// Whether a search text reads as (part of) an ISBN: digits with hyphens or
// blanks and at most a final X, four digits at least.
bool looksLike(const QString& text);

// The compact forms a search looks for in the ISBN column: the text's own,
// and for a full ISBN-10 its ISBN-13 (978 prefix), for a 978 ISBN-13 its
// ISBN-10. Empty when the text does not look like an ISBN.
QStringList forms(const QString& text);

// Conversions between the forms of a full compact ISBN ("" when the input is
// not of that form; the check digit of the input is not checked).
QString toIsbn13(const QString& isbn10);
QString toIsbn10(const QString& isbn13);

// Whether 9 characters (separators taken out) are a valid ISBN-10 that lost
// its leading zero, as a spreadsheet drops it.
bool lostLeadingZero(const QString& text);

// The ISBN-13 digits of a valid ISBN-10 or ISBN-13 (check digit checked;
// hyphens and blanks ignored, an ISBN-10 whose leading zero was lost
// included); nothing for anything else.
std::optional<QString> isbn13(const QString& text);

// What makes two ISBNs the same book: for a valid ISBN the ISBN-13 digits, so
// an ISBN-10 and its ISBN-13 give the same key; for anything else the text
// without separators.
QString key(const QString& text);

} // namespace Isbn
