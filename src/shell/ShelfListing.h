#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

class Connection;
class RecordSet;

// One book on the shelf: its title, its id (kept in the list item for the quick
// view) and its 100 x 120 cover thumbnail.
struct ShelfItem
{
    QString caption;
    qint64 id = 0;
    QImage thumbnail;
};

// What a listing shows: the items in the engine's order, the status-bar text (none
// when the listing leaves the status bar as it was), and one message per book whose
// cover could not be read, in item order.
struct ShelfContent
{
    QList<ShelfItem> items;
    std::optional<QString> statusText;
    QStringList messages;
};

// The books of one reading status or one category, with their thumbnails. Covers are
// read on the calling thread (the connection is not shared between threads) and
// decoded on worker threads, a few at a time, so memory stays bounded however long
// the listing; finished thumbnails are cached in the library file (ThumbnailCache).
// Engine errors are thrown as EDatabaseError. The main window runs a listing as a
// background task on a connection of the task's own.
class ShelfListing
{
public:
    // Told (done, total) on the calling thread every few books.
    using Progress = std::function<void(int done, int total)>;

    ShelfListing(Connection& connection, const QImage& backgroundTile);
    ~ShelfListing();
    ShelfListing(const ShelfListing&) = delete;
    ShelfListing& operator=(const ShelfListing&) = delete;

    void setProgress(Progress progress);
    // Once the flag is set the listing stops reading covers, caches nothing and
    // returns what it has (the caller throws it away).
    void setCancelFlag(const std::atomic<bool>* cancelled);

    // Off: every cover is decoded again and nothing is stored (for comparisons).
    void setCacheEnabled(bool enabled);

    ShelfContent byStatus(const QString& status);
    ShelfContent byCategory(const QString& name);

    // The status-bar text of a reading-status listing, before the count.
    static QString statusPrefix(const QString& status);

    // What a book with an unreadable cover is told.
    static QString damagedMessage(const QString& name);

private:
    ShelfContent listBooks(RecordSet& books);

    Connection& m_connection;
    QImage m_placeholder;
    Progress m_progress;
    const std::atomic<bool>* m_cancelled = nullptr;
    bool m_cacheEnabled = true;
};
