#pragma once

// One import of chosen files into the e-book store, file by file in the order
// chosen. A file whose name (without its folder, letter case ignored) is
// already listed, with or without its extension, or was imported earlier in
// the same import, is skipped.
//
// A row's title is the PDF's own title where a title reader is set and finds
// one, else the file name without its extension ("红楼梦.pdf" gives "红楼梦").
//
// The row of each file is written by the caller, after its store file is
// complete; when the row cannot be written the caller discards the file again.
// storeCurrent() may run on another thread than the rest; cancel() and the
// byte counts may be used from any thread.

#include "ebooks/EbookStore.h"

#include <QSet>
#include <QStringList>

#include <atomic>
#include <functional>

class EbookImport
{
public:
    // listedNames / listedFiles: `name` and `filename` of every row at this moment.
    EbookImport(EbookStore store, QStringList sources, const QStringList& listedNames = {},
        const QStringList& listedFiles = {});

    int count() const { return int(m_sources.size()); }

    // Moves to the next file to import; false when none is left or the import is cancelled.
    bool next();
    int index() const { return m_index; } // among the chosen files, from 0
    QString source() const { return m_sources.value(m_index); }
    QString name() const; // the file's name without its folder
    // The title of the file in hand: known once storeCurrent() returned.
    QString title() const;

    // Reads the title a PDF gives itself (empty when none); called on the
    // storing thread with the path of the store file just written (so the PDF
    // worker reads the book as it reads every stored one). Unset: file names alone.
    using TitleReader = std::function<QString(const QString& source)>;
    void setTitleReader(TitleReader reader) { m_titleReader = std::move(reader); }
    QString storedName() const { return m_storedName; }

    // Encrypts the file in hand into the store (EImportCancelled when cancelled meanwhile).
    void storeCurrent();
    // Its row is written: a later file of the same name is skipped.
    void commitCurrent();
    // Its row could not be written: its store file goes again.
    void discardCurrent();

    void cancel() { m_cancelled = true; }
    bool isCancelled() const { return m_cancelled; }
    qint64 bytesDone() const { return m_done; }
    qint64 bytesTotal() const { return m_total; }
    // Called on the storing thread as bytes go (done, total of the file in hand).
    void setProgress(std::function<void(qint64, qint64)> progress) { m_progress = std::move(progress); }

private:
    EbookStore m_store;
    QStringList m_sources;
    QSet<QString> m_names; // case-folded
    QSet<QString> m_files;
    int m_index = -1;
    QString m_storedName;
    QString m_title;
    TitleReader m_titleReader;
    std::atomic<bool> m_cancelled { false };
    std::atomic<qint64> m_done { 0 };
    std::atomic<qint64> m_total { 0 };
    std::function<void(qint64, qint64)> m_progress;
};
