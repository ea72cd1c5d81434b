#pragma once

// Exporting an e-book: its store file decrypted into a temporary file beside
// the path the user chose (or in memory, where no new file may be made there),
// and only a whole, checked result takes the place of what was there; so a
// damaged store file or a full disk never destroys a file already there nor
// leaves a partial one.

#include <QString>

namespace EbookFileName {

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

    // Decrypts the store file with the e-book key and writes it to target
    // (SafeFile::writeFileAtomically). Throws the cipher's errors or the
    // writer's; the target then stays as it was.
    static void write(const QString& storeFile, const QString& target);

private:
    QString m_lastPath;
};
