#include "pictures/ThumbnailCache.h"

#include "pictures/Thumbnails.h"

#include "data/Statement.h"

#include <cstring>

namespace {

constexpr qsizetype RowBytes = Thumbnails::Width * 3;
constexpr qsizetype ThumbBytes = RowBytes * Thumbnails::Height;

// When a trigger was missing, rows may have outlived changes nobody saw: they are
// dropped together with the creation of the triggers.
const char* const CreateSchema = R"(
BEGIN IMMEDIATE;
CREATE TABLE IF NOT EXISTS qh_thumbs (id INTEGER PRIMARY KEY, thumb BLOB NOT NULL);
DELETE FROM qh_thumbs;
CREATE TRIGGER IF NOT EXISTS qh_thumbs_cover_changed AFTER UPDATE OF facepic, "格式", id ON baseshu
BEGIN DELETE FROM qh_thumbs WHERE id = old.id OR id = new.id; END;
CREATE TRIGGER IF NOT EXISTS qh_thumbs_book_deleted AFTER DELETE ON baseshu
BEGIN DELETE FROM qh_thumbs WHERE id = old.id; END;
CREATE TRIGGER IF NOT EXISTS qh_thumbs_book_added AFTER INSERT ON baseshu
BEGIN DELETE FROM qh_thumbs WHERE id = new.id; END;
COMMIT;
)";

const char* const CountSchema = "SELECT count(*) FROM sqlite_master WHERE name IN "
                                "('qh_thumbs', 'qh_thumbs_cover_changed', 'qh_thumbs_book_deleted', "
                                "'qh_thumbs_book_added')";

qint64 singleInteger(sqlite3* db, const char* sql)
{
    try {
        Statement stmt(db, sql);
        return stmt.step() ? stmt.integer(0) : -1;
    } catch (const EDatabaseError&) {
        return -1;
    }
}

// Ends a transaction of ours that did not reach its COMMIT.
void rollback(sqlite3* db)
{
    if (!sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

QImage fromRaw(const void* data)
{
    QImage image(Thumbnails::Width, Thumbnails::Height, Thumbnails::Format);
    const auto* source = static_cast<const uchar*>(data);
    for (int y = 0; y < Thumbnails::Height; ++y)
        std::memcpy(image.scanLine(y), source + y * RowBytes, std::size_t(RowBytes));
    return image;
}

} // namespace

ThumbnailCache::ThumbnailCache(sqlite3* db)
    : m_db(db)
{ }

bool ThumbnailCache::prepare()
{
    m_writable = false;
    if (!m_db || sqlite3_db_readonly(m_db, "main") != 0)
        return false;
    if (singleInteger(m_db, CountSchema) == 4) {
        m_writable = true;
        return true;
    }
    // Never inside someone else's transaction: a failure would have to roll back their work.
    if (!sqlite3_get_autocommit(m_db))
        return false;
    if (sqlite3_exec(m_db, CreateSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        rollback(m_db);
        return false;
    }
    m_writable = true;
    return true;
}

QHash<qint64, QImage> ThumbnailCache::load(const QList<qint64>& bookIds) const
{
    QHash<qint64, QImage> thumbnails;
    if (!m_db || bookIds.isEmpty())
        return thumbnails;
    QByteArray ids = "[";
    for (qint64 id : bookIds) {
        if (ids.size() > 1)
            ids += ',';
        ids += QByteArray::number(id);
    }
    ids += ']';

    // One statement for the whole listing; the table may not exist (yet), which just
    // means nothing is cached.
    try {
        Statement stmt(m_db, "SELECT id, thumb FROM qh_thumbs WHERE id IN (SELECT value FROM json_each(?1))");
        stmt.bind(1, QString::fromLatin1(ids));
        thumbnails.reserve(bookIds.size());
        while (stmt.step()) {
            const void* data = sqlite3_column_blob(stmt.get(), 1);
            if (data && sqlite3_column_bytes(stmt.get(), 1) == ThumbBytes)
                thumbnails.insert(stmt.integer(0), fromRaw(data));
        }
    } catch (const EDatabaseError&) {
        return {};
    }
    return thumbnails;
}

qint64 ThumbnailCache::dataVersion() const
{
    return singleInteger(m_db, "PRAGMA data_version");
}

void ThumbnailCache::beginListing()
{
    m_startVersion = m_db ? dataVersion() : -1;
    m_startChanges = m_db ? sqlite3_total_changes(m_db) : -1;
}

bool ThumbnailCache::store(const QList<std::pair<qint64, QImage>>& thumbnails)
{
    if (!m_writable || thumbnails.isEmpty() || m_startVersion < 0 || !sqlite3_get_autocommit(m_db))
        return false;
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        rollback(m_db);
        return false;
    }
    // Holding the write lock now: nobody can change a cover between this check and the commit.
    if (dataVersion() != m_startVersion || sqlite3_total_changes(m_db) != m_startChanges) {
        rollback(m_db);
        return false;
    }
    bool ok = true;
    try {
        Statement insert(m_db, "INSERT OR REPLACE INTO qh_thumbs (id, thumb) VALUES (?1, ?2)");
        QByteArray packed;
        for (qsizetype i = 0; i < thumbnails.size(); ++i) {
            const QImage& image = thumbnails.at(i).second;
            if (image.size() != QSize(Thumbnails::Width, Thumbnails::Height) || image.format() != Thumbnails::Format)
                continue;
            const void* data = image.constBits();
            if (image.bytesPerLine() != RowBytes) {
                packed.resize(ThumbBytes);
                for (int y = 0; y < Thumbnails::Height; ++y)
                    std::memcpy(packed.data() + y * RowBytes, image.constScanLine(y), std::size_t(RowBytes));
                data = packed.constData();
            }
            insert.bind(1, thumbnails.at(i).first).bindStaticBlob(2, data, ThumbBytes);
            insert.step();
            insert.reset();
        }
    } catch (const EDatabaseError&) {
        ok = false;
    }
    if (!ok || sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        rollback(m_db);
        return false;
    }
    // Our own writes count as changes: a further store of the same listing stays possible.
    m_startChanges = sqlite3_total_changes(m_db);
    return true;
}

bool ThumbnailCache::storeCover(qint64 bookId, const QString& tag, const QByteArray& cover, const QImage& thumbnail)
{
    if (!m_writable || !sqlite3_get_autocommit(m_db) || thumbnail.size() != QSize(Thumbnails::Width, Thumbnails::Height))
        return false;
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        rollback(m_db);
        return false;
    }
    bool same = false;
    bool ok = false;
    try {
        Statement check(m_db, "SELECT facepic IS ?2 AND \"格式\" IS ?3 FROM baseshu WHERE id = ?1");
        check.bind(1, bookId).bindStaticBlob(2, cover.constData(), cover.size()).bind(3, tag);
        same = check.step() && check.integer(0) == 1;
        if (same) {
            const QImage image = thumbnail.convertToFormat(Thumbnails::Format);
            QByteArray packed(ThumbBytes, Qt::Uninitialized);
            for (int y = 0; y < Thumbnails::Height; ++y)
                std::memcpy(packed.data() + y * RowBytes, image.constScanLine(y), std::size_t(RowBytes));
            Statement insert(m_db, "INSERT OR REPLACE INTO qh_thumbs (id, thumb) VALUES (?1, ?2)");
            insert.bind(1, bookId).bind(2, packed);
            insert.step();
            ok = true;
        }
    } catch (const EDatabaseError&) {
        ok = false;
    }
    if (!ok || sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        rollback(m_db);
        return false;
    }
    return true;
}

int ThumbnailCache::size() const
{
    return int(qMax<qint64>(0, singleInteger(m_db, "SELECT count(*) FROM qh_thumbs")));
}
