#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QString>

#include <utility>

struct sqlite3;

// Finished cover thumbnails, kept in the library file itself so that a shelf listing
// shown again decodes nothing.
//
// Design: a table of our own, qh_thumbs(id = the book's id, thumb = the 100 x 120
// picture as raw RGB888 rows), plus SQL triggers on baseshu that delete a book's row
// whenever its cover (facepic), its format tag (格式) or its id changes, when the book
// is deleted, and when a book is inserted (in case an old row survived without
// triggers). Triggers live in the file and fire for every writer - this program's
// record sets, raw statements, other connections and other processes - so a changed
// cover can never meet a stale thumbnail, and no cover has to be read or hashed to
// find out. Only thumbnails of real covers are stored; placeholders cost nothing.
//
// A listing reads all its cached thumbnails with one statement and stores the new
// ones in one transaction at its end. Covers were read one by one meanwhile, so the
// store is skipped when anything in the file changed since the listing began (this
// connection's change counter and the file's data version): a cover edited half-way
// through a listing is never cached with its old picture.
//
// The cache is an optimisation only: a read-only file, a locked file or any failure
// of ours leaves it unused and is never reported as an error.
class ThumbnailCache
{
public:
    explicit ThumbnailCache(sqlite3* db);

    // Creates the table and triggers when missing; false when the cache cannot be
    // written (it may still be readable).
    bool prepare();

    // The cached thumbnails of these books, by book id. Empty when nothing is cached.
    QHash<qint64, QImage> load(const QList<qint64>& bookIds) const;

    // Remembers the state of the file; call before reading any cover of a listing.
    void beginListing();

    // Stores thumbnails of real covers read since beginListing(). Returns false when
    // nothing was stored (the file changed meanwhile, or could not be written).
    bool store(const QList<std::pair<qint64, QImage>>& thumbnails);

    // Stores the thumbnail of a cover that was just written, when the book's row still
    // holds exactly these bytes under this tag (checked under the write lock). Returns
    // false when nothing was stored.
    bool storeCover(qint64 bookId, const QString& tag, const QByteArray& cover, const QImage& thumbnail);

    // The number of cached thumbnails (for tests and diagnostics).
    int size() const;

private:
    qint64 dataVersion() const;

    sqlite3* m_db;
    bool m_writable = false;
    qint64 m_startVersion = -1;
    qint64 m_startChanges = -1;
};
