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

enum class ReadStatus
{
    Sound,
    Missing,
    Damaged, // its form is proven wrong: not the store's file form, a bad tag or check sum
    TooLarge, // larger than its book can hold (a companion made to be a bomb)
    ReadError, // the file could not be read now (an I/O error, memory short): it stays
};
struct ReadResult
{
    ReadStatus status = ReadStatus::Missing;
    std::optional<BookText> text;
    QString error;
};
// Reads a companion whose text may be at most maxTextBytes: both the file and
// what it says its text holds are checked before anything that size is allocated.
ReadResult readChecked(const QString& storePath, qint64 maxTextBytes);

// Removes a book's companion; true when there is none left.
bool remove(const QString& storePath);

} // namespace Companion
