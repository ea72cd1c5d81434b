#include "shell/ShelfListing.h"

#include "data/Sql.h"
#include "pictures/ThumbnailCache.h"
#include "pictures/Thumbnails.h"
#include "data/udata.h"

#include <QFuture>
#include <QHash>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <deque>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// How often (in books) the progress callback hears of a listing.
constexpr int ProgressStep = 8;

} // namespace

ShelfListing::ShelfListing(Connection& connection, const QImage& backgroundTile)
    : m_connection(connection)
    , m_placeholder(Thumbnails::placeholder(backgroundTile))
{ }

ShelfListing::~ShelfListing() = default;

void ShelfListing::setProgress(Progress progress)
{
    m_progress = std::move(progress);
}

void ShelfListing::setCancelFlag(const std::atomic<bool>* cancelled)
{
    m_cancelled = cancelled;
}

void ShelfListing::setCacheEnabled(bool enabled)
{
    m_cacheEnabled = enabled;
}

QString ShelfListing::statusPrefix(const QString& status)
{
    return u"          ["_s + status + u"]--数量："_s;
}

QString ShelfListing::damagedMessage(const QString& name)
{
    return name + u"图片有误请修改"_s;
}

ShelfContent ShelfListing::byStatus(const QString& status)
{
    RecordSet books(m_connection);
    books.setSql(u"select * from baseshu where isread="_s + Sql::quoted(status));
    books.open();
    ShelfContent content = listBooks(books);

    RecordSet count(m_connection);
    count.setSql(u"select count(*) from baseshu where isread="_s + Sql::quoted(status));
    count.open();
    content.statusText = statusPrefix(status) + count.firstColumnText();
    return content;
}

ShelfContent ShelfListing::byCategory(const QString& name)
{
    RecordSet category(m_connection);
    category.setSql(u"select * from  tblei where leib="_s + Sql::quoted(name));
    category.open();
    if (category.isEmpty())
        return {}; // no such category: nothing listed, the status bar keeps its text
    const QString id = QString::number(category.asInteger(u"id"_s).value_or(0));

    RecordSet books(m_connection);
    books.setSql(u"Select * from Baseshu where leibie="_s + id);
    books.open();
    ShelfContent content = listBooks(books);

    RecordSet count(m_connection);
    count.setSql(u"select count(*) from baseshu where leibie="_s + id);
    count.open();
    content.statusText = u"["_s + name + u"]--数量："_s + count.firstColumnText();
    return content;
}

ShelfContent ShelfListing::listBooks(RecordSet& books)
{
    // First the texts of every row (already in memory), and which books have a cover.
    ShelfContent content;
    std::vector<Thumbnails::Kind> kinds;
    QList<qint64> coverIds;
    for (books.first(); !books.eof(); books.next()) {
        ShelfItem item;
        item.caption = books.asText(u"name"_s);
        item.id = books.asInteger(u"id"_s).value_or(0);
        const Thumbnails::Kind kind = Thumbnails::kindOfTag(books.asText(u"格式"_s));
        if (kind == Thumbnails::Kind::None)
            item.thumbnail = m_placeholder;
        else
            coverIds.append(item.id);
        kinds.push_back(kind);
        content.items.append(item);
    }
    const int total = int(content.items.size());

    std::optional<ThumbnailCache> cache;
    QHash<qint64, QImage> cached;
    if (m_cacheEnabled && !coverIds.isEmpty()) {
        cache.emplace(m_connection.handle());
        cache->prepare();
        cache->beginListing();
        cached = cache->load(coverIds);
    }

    // Then the covers that are not cached: read here, decoded by the pool, at most a
    // few in flight, and taken back in order.
    QThreadPool* pool = QThreadPool::globalInstance();
    const std::size_t limit = std::size_t(2 * qMax(1, pool->maxThreadCount()));
    std::deque<std::pair<int, QFuture<QImage>>> inFlight;
    std::vector<bool> damaged(std::size_t(total), false);
    QList<std::pair<qint64, QImage>> decoded;
    int done = 0;
    int reported = 0;
    const auto advance = [&] {
        ++done;
        if (m_progress && (done - reported >= ProgressStep || done == total)) {
            reported = done;
            m_progress(done, total);
        }
    };
    const auto takeOldest = [&] {
        auto [row, future] = std::move(inFlight.front());
        inFlight.pop_front();
        ShelfItem& item = content.items[row];
        item.thumbnail = future.result();
        if (item.thumbnail.isNull()) {
            damaged[std::size_t(row)] = true;
            item.thumbnail = m_placeholder;
        } else {
            decoded.append({ item.id, item.thumbnail });
        }
        advance();
    };

    const auto stopped = [this] { return m_cancelled && m_cancelled->load(std::memory_order_relaxed); };
    for (int row = 0; row < total; ++row) {
        if (stopped())
            return content; // the covers in flight finish into nothing
        ShelfItem& item = content.items[row];
        const Thumbnails::Kind kind = kinds[std::size_t(row)];
        if (kind == Thumbnails::Kind::None) {
            advance();
            continue;
        }
        if (const auto hit = cached.constFind(item.id); hit != cached.cend()) {
            item.thumbnail = *hit;
            advance();
            continue;
        }
        while (inFlight.size() >= limit)
            takeOldest();
        books.moveTo(row);
        QByteArray bytes = books.asBytes(u"facepic"_s);
        inFlight.emplace_back(row,
            QtConcurrent::run(pool, [kind, bytes = std::move(bytes)] { return Thumbnails::decodeCover(kind, bytes); }));
    }
    while (!inFlight.empty() && !stopped())
        takeOldest();
    if (stopped())
        return content;

    for (int row = 0; row < total; ++row) {
        if (damaged[std::size_t(row)])
            content.messages.append(damagedMessage(content.items.at(row).caption));
    }
    if (cache && !decoded.isEmpty())
        cache->store(decoded);
    return content;
}
