#include "text/PinyinIndex.h"

#include "text/Pinyin.h"
#include "data/Statement.h"
#include "data/udata.h"

#include <array>
#include <map>
#include <mutex>
#include <set>
#include <vector>

using namespace Qt::StringLiterals;

namespace PinyinIndex {
namespace {

    constexpr size_t columnCount = std::size(columns);

    // What the file looked like when an index was last brought up to date.
    // While none of it has moved, no text can have changed and the comparison
    // is skipped: data_version moves when another connection (or program)
    // commits, total_changes when this one writes, and the highest id and the
    // file's page count catch anything else that adds or removes books. Each
    // is read without walking the table.
    struct Fingerprint
    {
        qint64 dataVersion = -1;
        qint64 totalChanges = -1;
        qint64 maxId = -1;
        qint64 pages = -1;
        bool operator==(const Fingerprint&) const = default;
    };

    // The rows by id, column by column, so that a search walks one column's
    // spellings in a row.
    struct Index
    {
        bool built = false;
        Fingerprint fingerprint;
        std::vector<qint64> ids;
        std::array<std::vector<QString>, columnCount> texts;
        std::array<std::vector<Pinyin::Spelling>, columnCount> spellings;
    };

    // Per connection and table; forgotten when the connection closes, since the
    // file it reopens may be another (compaction, restore).
    std::mutex indexMutex;
    std::map<std::pair<const Connection*, QString>, Index> indexes;
    std::set<const Connection*> listening;

    // Called when the connection closes (also when it is destroyed open): what
    // was kept for it no longer holds, and a connection made later at the same
    // address must be listened to afresh.
    void forget(const Connection* connection)
    {
        const std::lock_guard lock(indexMutex);
        for (auto it = indexes.begin(); it != indexes.end();)
            it = it->first.first == connection ? indexes.erase(it) : std::next(it);
        listening.erase(connection);
    }

    void listen(Connection& connection)
    {
        {
            const std::lock_guard lock(indexMutex);
            if (!listening.insert(&connection).second)
                return;
        }
        const Connection* key = &connection;
        connection.addCloseListener([key] { forget(key); });
    }

    QString sourceFor(const QString& table)
    {
        const QString source = table.toLower();
        if (source != u"baseshu"_s && source != u"dzbook"_s)
            throw EDatabaseError(u"没有 %1 表的拼音索引"_s.arg(table).toStdString());
        return source;
    }

    size_t columnFor(const QString& column)
    {
        for (size_t c = 0; c < columnCount; ++c) {
            if (column.compare(QLatin1String(columns[c]), Qt::CaseInsensitive) == 0)
                return c;
        }
        throw EDatabaseError(u"没有 %1 列的拼音索引"_s.arg(column).toStdString());
    }

    Fingerprint fingerprint(sqlite3* db, const QString& source)
    {
        Fingerprint print;
        Statement version(db, "pragma data_version");
        if (version.step())
            print.dataVersion = version.integer(0);
        print.totalChanges = sqlite3_total_changes64(db);
        Statement rows(
            db, u"select max(id), (select page_count from pragma_page_count) from %1"_s.arg(source).toUtf8());
        if (rows.step()) {
            print.maxId = rows.integer(0);
            print.pages = rows.integer(1);
        }
        return print;
    }

    // With indexMutex held: one pass over the table, keeping the spellings
    // of texts that did not change.
    int bringUpToDate(Connection& connection, const QString& source)
    {
        sqlite3* db = connection.handle();
        Index& index = indexes[{ &connection, source }];
        const Fingerprint before = fingerprint(db, source);
        if (index.built && index.fingerprint == before)
            return 0;

        QStringList names;
        for (const char* column : columns)
            names << QLatin1String(column);
        Statement read(db, u"select id, %1 from %2 order by id"_s.arg(names.join(u", "_s), source).toUtf8());
        Index fresh;
        size_t old = 0;
        int spelled = 0;
        while (read.step()) {
            const qint64 id = read.integer(0);
            while (old < index.ids.size() && index.ids[old] < id)
                ++old;
            const bool known = old < index.ids.size() && index.ids[old] == id;
            fresh.ids.push_back(id);
            for (size_t c = 0; c < columnCount; ++c) {
                QString text = read.text(int(c) + 1);
                if (known && index.texts[c][old] == text) {
                    fresh.spellings[c].push_back(std::move(index.spellings[c][old]));
                } else {
                    fresh.spellings[c].push_back(Pinyin::spell(text));
                    ++spelled;
                }
                fresh.texts[c].push_back(std::move(text));
            }
        }
        index = std::move(fresh);
        index.built = true;
        // Inside a transaction of the caller's the rows read may yet be rolled
        // back: then the next search compares the texts again.
        index.fingerprint = sqlite3_get_autocommit(db) ? before : Fingerprint();
        return spelled;
    }

} // namespace

int update(Connection& connection, const QString& table)
{
    const QString source = sourceFor(table);
    listen(connection);
    const std::lock_guard lock(indexMutex);
    return bringUpToDate(connection, source);
}

QList<qint64> matches(Connection& connection, const QString& table, const QString& column, const QString& text)
{
    const QString source = sourceFor(table);
    const size_t c = columnFor(column);
    QList<qint64> ids;
    if (!Pinyin::isLatinOnly(text))
        return ids;
    const Pinyin::Query query(text);
    listen(connection);
    const std::lock_guard lock(indexMutex);
    bringUpToDate(connection, source);
    const Index& index = indexes[{ &connection, source }];
    const std::vector<Pinyin::Spelling>& spellings = index.spellings[c];
    for (size_t i = 0; i < spellings.size(); ++i) {
        if (query.matches(spellings[i]))
            ids << index.ids[i];
    }
    return ids;
}

QString condition(
    Connection& connection, const QString& likeCondition, const QString& table, const QString& text, const QString& column)
{
    if (!Pinyin::isLatinOnly(text))
        return likeCondition;
    const QList<qint64> ids = matches(connection, table, column, text);
    QString list;
    list.reserve(ids.size() * 6);
    for (const qint64 id : ids) {
        if (!list.isEmpty())
            list += u',';
        list += QString::number(id);
    }
    // The plain condition as a look-up of ids too, so that the engine reads
    // only the rows found instead of testing both conditions on every row.
    const QString source = sourceFor(table);
    const QString key = source == u"dzbook"_s ? u"ID"_s : u"id"_s;
    QString found = u"(%1 in (select %1 from %2 where %3)"_s.arg(key, source, likeCondition);
    if (!ids.isEmpty())
        found += u" or %1 in (%2)"_s.arg(key, list);
    return found + u')';
}

} // namespace PinyinIndex
