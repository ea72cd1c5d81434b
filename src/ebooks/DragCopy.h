#pragma once

// The decrypted copies a drag-out hands to the desktop: "temp/" + the e-book's
// name (".pdf" appended when it has no extension, fitted to 255 bytes).
//
// A copy a drop target took is never deleted during the run, so a target that
// reads the file late still finds it; a copy no target took (the drag was
// cancelled or refused) is removed as soon as the drag ends. The copies this run made and that are
// still there (a completed move has taken its copy away) are removed when the
// program ends; at start, files in "temp" more than a day old (left by a run
// that crashed) are removed.

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class DragCopy
{
public:
    // folder: where the copies are made ("temp" in the data folder).
    explicit DragCopy(QString folder);
    // This run's copies go with it (removeThisRunsCopies).
    ~DragCopy();
    DragCopy(const DragCopy&) = delete;
    DragCopy& operator=(const DragCopy&) = delete;

    // The drag copy's path for an e-book name (characters no file name may
    // hold replaced, EbookFileName::safeName).
    QString path(const QString& name) const;

    // Decrypts the store file into the drag copy of name, replacing any file
    // there, and returns its path. progress sees the bytes written so far. The
    // cipher's errors or the writer's.
    QString make(const QString& storeFile, const QString& name,
        const std::function<bool(qint64 done, qint64 total)>& progress = {});

    // A drag no one took: removes the copy at once, if it is still the file this
    // run wrote.
    void discard(const QString& copy);

    // At start: removes the files in the folder last changed more than maxAgeSeconds ago.
    void cleanAtStart(qint64 maxAgeSeconds = 24 * 60 * 60) const;

    // At the end of the run: removes this run's copies that are still the files it wrote.
    void removeThisRunsCopies();

private:
    // A copy this run wrote, known by its file identity: a later file of the same
    // name (another run, the user) is not ours to remove.
    struct Copy
    {
        QString path;
        uint64_t device;
        uint64_t inode;
    };

    QString m_folder;
    std::vector<Copy> m_copies;
};
