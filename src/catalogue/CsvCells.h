#pragma once

#include <QString>

#include <optional>

// The cells of the catalogue's CSV files as spreadsheets treat them.
namespace CsvCells {

// A cell a spreadsheet would run as a formula (one starting with "=", "+", "-",
// "@", a tab or a carriage return, after any apostrophes) with an apostrophe
// in front, as spreadsheets mark text; any other cell as it is.
QString neutralised(const QString& text);
// The inverse: the one apostrophe neutralised() adds taken off again, so that
// a file written and read back gives every cell as it was.
QString unmarked(const QString& cell);

// An ISBN as written to a file: ="…" (read as text by spreadsheets, so a
// leading zero stays) when it holds only digits, X, hyphens and blanks; any
// other text goes through neutralised().
QString isbnCell(const QString& isbn);
// An ISBN cell as read: ="…" unwrapped, the mark of neutralised() taken off,
// and a 9-character ISBN-10 whose leading zero a spreadsheet dropped
// ("156012197", recognised by its check digit) given its zero back.
// Which ISBNs are the same book is data/Isbn.h's to say.
QString isbnFromCell(const QString& cell);

// A reading status as a file may give it: one of "还没读", "正在读", "已读完";
// "" (no status) gives "还没读"; unambiguous other words ("读完了", "在读",
// "想读", Goodreads' "read", "to-read", "currently-reading") give the status
// they mean; anything else gives nothing.
std::optional<QString> readingStatus(const QString& value);

} // namespace CsvCells
