#pragma once

// Exporting an e-book: its store file decrypted into a temporary file beside
// the path the user chose (or in memory, where no new file may be made there),
// and only a whole, checked result takes the place of what was there; so a
// damaged store file or a full disk never destroys a file already there nor
// leaves a partial one.

#include "platform/SafeFile.h"

#include <QString>

#include <functional>

namespace EbookFileName {

// A title as a file name Linux and Windows can both hold: / \ : * ? " < > |
// become their full-width forms, control characters "_"; a name that is empty,
// "." or ".." becomes "_". The rest stays as it is.
QString safeName(const QString& title);

// ".pdf" appended when the last path component has no extension (no ".").
QString withPdfExtension(const QString& path);

// The last path component cut to the file system's 255-byte limit (in UTF-8),
// keeping its extension; whole characters only.
QString fitToLimit(const QString& path);

} // namespace EbookFileName

class EbookExport
{
public:
    // The save dialog's filter.
    static QString dialogFilter();

    // The path the dialog starts with: the one chosen last time ("" at first).
    QString lastPath() const { return m_lastPath; }

    // The dialog's answer as the export uses it: ".pdf" appended when it has no
    // extension, its name fitted to the limit. Remembered as the last choice.
    QString choose(const QString& chosen);

    // Called with the bytes written so far and the book's size; returning false cancels.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    // The path the dialog proposes for an e-book: the folder of the last
    // choice (none at first) and the e-book's name as a file name.
    QString suggestion(const QString& bookName) const;

    // Decrypts the store file with the e-book key and writes it to target
    // (SafeFile::writeFileAtomically). A target among the program's own files
    // (the library, the store...) is refused. Throws the cipher's errors or the
    // writer's; the target then stays as it was. False when progress
    // cancelled: nothing was written and the target is as it was.
    static bool write(const QString& storeFile, const QString& target, const Progress& progress = {});
    // The same without the refusal, for the program's own copies in its
    // scratch folder (drag-out), written with the access given.
    static bool decrypt(const QString& storeFile, const QString& target, const Progress& progress,
        SafeFile::Access access);

private:
    QString m_lastPath;
};
