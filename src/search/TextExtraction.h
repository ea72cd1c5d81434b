#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <atomic>

// The text of a PDF, page by page, read from the decrypted bytes in memory.
// Every reading of a book's text goes through extract(), so a guard around
// the PDF engine (a book that crashes it) has one place to sit.
namespace TextExtraction {

enum class Outcome
{
    Done,
    NeedsPassword, // encrypted, and the password given is missing or wrong
    Unreadable, // not a PDF the engine can load
    Cancelled
};

struct Extracted
{
    Outcome outcome = Outcome::Unreadable;
    QStringList pages;
};

// `stop`, when given, is polled between pages.
Extracted extract(const QByteArray& pdf, const QString& password, const std::atomic<bool>* stop = nullptr);
// The same from a random-access device opened for reading (a store file read
// through EncryptedPdfDevice: the book is never whole in memory).
Extracted extract(QIODevice& pdf, const QString& password, const std::atomic<bool>* stop = nullptr);

} // namespace TextExtraction
