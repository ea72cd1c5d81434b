#pragma once

// The companion file of an e-book: its text (BookText) compressed and then
// enciphered with the store's key in the store's own file form, kept beside
// the book's store file as "<stored name>.text". Nothing of the text is ever
// written in the clear: it is enciphered in memory and written as
// "<stored name>.text.part", flushed, and only then renamed, so an
// interrupted write leaves a ".part" the store clears at the next start.

#include "format/BookText.h"

#include <QString>

#include <optional>

namespace Companion {

inline constexpr const char* suffix = ".text";

// "<stored name>.text".
QString fileName(const QString& storedName);
// Whether a file name is a companion's; storedName receives the book's part.
bool isCompanionName(const QString& name, QString* storedName = nullptr);

// Writes the companion of a store file (storePath is the book's store file).
// Throws the cipher's and the file's errors; the old companion stays until the
// new one is complete.
void write(const QString& storePath, const BookText& text);

// The text of a companion, or nothing when it is missing or damaged.
std::optional<BookText> read(const QString& storePath);

// Removes a book's companion; true when there is none left.
bool remove(const QString& storePath);

} // namespace Companion
