#pragma once

#include <QString>
#include <QStringList>

// ISBNs as a search sees them: the digits (and a final X) without hyphens or
// blanks, and a full ISBN in both its 10- and 13-digit forms.
namespace Isbn {

// The digits and X of a text, X upper-case, everything else left out.
QString compact(const QString& text);

// Whether a search text reads as (part of) an ISBN: digits with hyphens or
// blanks and at most a final X, four digits at least.
bool looksLike(const QString& text);

// The compact forms a search looks for in the ISBN column: the text's own,
// and for a full ISBN-10 its ISBN-13 (978 prefix), for a 978 ISBN-13 its
// ISBN-10. Empty when the text does not look like an ISBN.
QStringList forms(const QString& text);

// Conversions between the forms of a full compact ISBN ("" when the input is
// not of that form).
QString toIsbn13(const QString& isbn10);
QString toIsbn10(const QString& isbn13);

} // namespace Isbn
