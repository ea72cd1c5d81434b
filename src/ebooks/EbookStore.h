#pragma once

// The private e-book store: one encrypted file per e-book in the folder
// "corvina", named by its stored name (format/StoreNames.h), in the store
// file's form (format/StoreFile.h).
//
// A store file comes into being whole or not at all: it is written as
// "<stored name>.part", flushed to the disk and only then renamed to its stored
// name. A ".part" file is therefore always the remains of an interrupted import.

#include "Exception.h"
#include "format/StoreNames.h"

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>

#include <functional>
#include <string>

// An import stopped on request; the file in hand has left nothing behind.
class EImportCancelled : public Exception
{
public:
    EImportCancelled()
        : Exception("Import cancelled")
    { }
};

class EbookStore
{
public:
    // Called while a file is stored with the bytes read so far and the file's
    // size; returning false stops the file (EImportCancelled).
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    static constexpr const char* partSuffix = StoreNames::partSuffix;

    // The program's store is "corvina" in the data folder; the main window makes it.
    explicit EbookStore(QString folder);

    QString folder() const { return m_folder; }
    // The store path of an e-book: the folder, '/', its stored name (empty name: the folder itself).
    QString path(const QString& storedName) const;

    // A fresh stored name: neither it nor its ".part" exists in the store, nor is it in `taken`.
    QString newStoredName(const QSet<QString>& taken = {}) const;

    // Encrypts `source` whole into the store under `storedName`. Every failure
    // (unreadable source, full disk, cancel) removes what was written and rethrows.
    void store(const QString& source, const QString& storedName, const Progress& progress = {}) const;

    // The plain bytes of a stored e-book, decrypted into memory only.
    QByteArray read(const QString& storedName) const;
    // The same bytes as a string the caller may hand on without a copy (the viewer keeps it).
    std::string readOwned(const QString& storedName) const;

    // Removes a store file and its text companion (format/Companion.h); false
    // when the store file could not be removed (or was missing).
    bool remove(const QString& storedName) const;

    // Removes the ".part" files an interrupted import left behind, those last
    // changed before `changedBefore` (an import of another running copy of the
    // program keeps writing its own); returns how many.
    int removeUnfinished(const QDateTime& changedBefore) const;

    // The store files that no row names (a crash between a file's rename and
    // its row's insert leaves one, and so does an older database put back):
    // those with a stored name not in `listed` and last changed before
    // `changedBefore`, so a file another running copy has just stored is left
    // out. In the order of their names (their time stamps).
    QStringList unlisted(const QSet<QString>& listed, const QDateTime& changedBefore) const;
    // Removes the text companions whose book file is gone (its text serves
    // nothing, and is rebuilt if the book comes back). Returns how many.
    int removeStrayCompanions() const;

    // The bin: "trash" inside the store, where a deleted e-book's store file and
    // its text companion wait as they were stored (moved, never deciphered).
    static constexpr const char* binName = StoreNames::binFolder;
    QString binFolder() const;
    QString binPath(const QString& storedName) const;
    // Moves a store file and its companion into the bin, or back; each file by a
    // rename, flushed to the disk. The companion goes first, so an interrupted
    // move never leaves a book's text where its book is not. False when the store
    // file is on neither side (a name that is not a stored name: false, nothing moved).
    bool moveToBin(const QString& storedName) const;
    bool moveFromBin(const QString& storedName) const;
    // Removes a store file and its companion from the bin for good.
    bool removeFromBin(const QString& storedName) const;
    // The stored names of the books with a file in the bin (store file or companion).
    QStringList binned() const;

private:
    QString m_folder;
};
