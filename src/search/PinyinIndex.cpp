#include "search/PinyinIndex.h"

#include "search/Pinyin.h"
#include "data/Statement.h"
#include "data/udata.h"

#include <map>
#include <mutex>
#include <set>

using namespace Qt::StringLiterals;

namespace PinyinIndex {
namespace {

    // What the file looked like when an index was last brought up to date.
    // While none of it has moved, no title can have changed and the comparison
    // of titles is skipped: data_version moves when another connection (or
    // program) commits, total_changes when this one writes, and the highest id
    // and the file's page count catch anything else that adds or removes books.
    // Each is read without walking the table.
    struct Fingerprint
    {
        qint64 dataVersion = -1;
        qint64 totalChanges = -1;
        qint64 maxId = -1;
        qint64 pages = -1;
        bool operator==(const Fingerprint&) const = default;
    };

    struct Kept
    {
        Fingerprint fingerprint;
        bool textIndex = false; // the trigram table is there
    };

    // Per connection and table; forgotten when the connection closes, since the
    // file it reopens may be another (compaction, restore).
    std::mutex keptMutex;
    std::map<std::pair<const Connection*, QString>, Kept> kept;
    std::set<const Connection*> listening;

    // Called when the connection closes (also when it is destroyed open): what
    // was kept for it no longer holds, and a connection made later at the same
    // address must be listened to afresh.
    void forget(const Connection* connection)
    {
        const std::lock_guard lock(keptMutex);
        for (auto it = kept.begin(); it != kept.end();)
            it = it->first.first == connection ? kept.erase(it) : std::next(it);
        listening.erase(connection);
    }

    void listen(Connection& connection)
    {
        {
            const std::lock_guard lock(keptMutex);
            if (!listening.insert(&connection).second)
                return;
        }
        const Connection* key = &connection;
        connection.addCloseListener([key] { forget(key); });
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

    bool exists(sqlite3* db, const QString& name)
    {
        Statement find(db, "select 1 from sqlite_master where name = ?");
        find.bind(1, name);
        return find.step();
    }

    // The trigram table over the spellings; made (and filled from the kept
    // spellings) when missing. False when the engine has no trigram tokenizer.
    bool makeTextIndex(Connection& connection, const QString& index)
    {
        sqlite3* db = connection.handle();
        const QString text = index + u"_text"_s;
        if (exists(db, text))
            return true;
        try {
            connection.execute(
                u"create virtual table %1 using fts5(syllables, initials, tokenize = 'trigram')"_s.arg(text));
        } catch (const EDatabaseError&) {
            return false;
        }
        connection.execute(
            u"insert into %1 (rowid, syllables, initials) select id, syllables, initials from %2"_s.arg(text, index));
        return true;
    }

} // namespace

QString tableFor(const QString& table)
{
    const QString source = table.toLower();
    if (source != u"baseshu"_s && source != u"dzbook"_s)
        throw EDatabaseError(u"没有 %1 表的拼音索引"_s.arg(table).toStdString());
    return u"qh_pinyin_"_s + source;
}

namespace {

    int bringUpToDate(Connection& connection, const QString& source, const QString& index, bool& textIndex)
    {
        sqlite3* db = connection.handle();
        connection.execute(u"create table if not exists %1 (id INTEGER PRIMARY KEY, title TEXT, "
                           "syllables TEXT NOT NULL, initials TEXT NOT NULL)"_s.arg(index));
        textIndex = makeTextIndex(connection, index);
        const QString text = index + u"_text"_s;

        // Books deleted: their rows go from both tables, found through the plain one.
        QList<qint64> gone;
        {
            Statement deleted(
                db, u"select id from %1 where id not in (select id from %2)"_s.arg(index, source).toUtf8());
            while (deleted.step())
                gone << deleted.integer(0);
        }
        for (const qint64 id : std::as_const(gone)) {
            connection.execute(u"delete from %1 where id = %2"_s.arg(index).arg(id));
            if (textIndex)
                connection.execute(u"delete from %1 where rowid = %2"_s.arg(text).arg(id));
        }
        // One pass over the titles: a row whose kept copy is missing or differs,
        // compared byte for byte, is spelled again. Read first, then written, so
        // the scan never walks rows it has just changed.
        QList<std::pair<qint64, QVariant>> titles; // a NULL title stays NULL in the copy
        {
            Statement changed(db,
                u"select s.id, s.name from %1 s left join %2 p on p.id = s.id "
                "where p.id is null or p.title is not s.name collate binary"_s.arg(source, index)
                    .toUtf8());
            while (changed.step())
                titles.append({ changed.integer(0), changed.value(1) });
        }
        if (titles.isEmpty())
            return 0;

        Statement write(db,
            u"insert or replace into %1 (id, title, syllables, initials) values (?, ?, ?, ?)"_s.arg(index).toUtf8());
        std::optional<Statement> unindex, reindex;
        if (textIndex) {
            unindex.emplace(db, u"delete from %1 where rowid = ?"_s.arg(text).toUtf8());
            reindex.emplace(db, u"insert into %1 (rowid, syllables, initials) values (?, ?, ?)"_s.arg(text).toUtf8());
        }
        for (const auto& [id, title] : std::as_const(titles)) {
            const Pinyin::Spelling spelling = Pinyin::spell(title.toString());
            write.reset();
            write.bind(1, id);
            write.bind(2, title);
            write.bind(3, spelling.full);
            write.bind(4, spelling.initials);
            write.step();
            if (textIndex) {
                unindex->reset();
                unindex->bind(1, id);
                unindex->step();
                reindex->reset();
                reindex->bind(1, id);
                reindex->bind(2, spelling.full);
                reindex->bind(3, spelling.initials);
                reindex->step();
            }
        }
        return int(titles.size());
    }

    Kept& keptFor(Connection& connection, const QString& source)
    {
        return kept[{ &connection, source }];
    }

} // namespace

int update(Connection& connection, const QString& table)
{
    const QString index = tableFor(table);
    const QString source = table.toLower();
    sqlite3* db = connection.handle();
    listen(connection);
    const Fingerprint before = fingerprint(db, source);
    {
        const std::lock_guard lock(keptMutex);
        if (keptFor(connection, source).fingerprint == before)
            return 0;
    }

    connection.execute(u"savepoint qh_pinyin"_s);
    int spelled = 0;
    bool textIndex = false;
    try {
        spelled = bringUpToDate(connection, source, index, textIndex);
        connection.execute(u"release qh_pinyin"_s);
    } catch (...) {
        sqlite3_exec(db, "rollback to qh_pinyin; release qh_pinyin", nullptr, nullptr, nullptr);
        throw;
    }
    // Inside a transaction of the caller's the work may yet be rolled back:
    // then the next search compares the titles again.
    const Fingerprint after = sqlite3_get_autocommit(db) ? fingerprint(db, source) : Fingerprint();
    const std::lock_guard lock(keptMutex);
    keptFor(connection, source) = { after, textIndex };
    return spelled;
}

QString condition(Connection& connection, const QString& likeCondition, const QString& table, const QString& text)
{
    if (!Pinyin::isLatinOnly(text))
        return likeCondition;
    try {
        update(connection, table);
    } catch (const EDatabaseError&) {
        // A library opened read-only cannot keep an index: the plain search.
        if (sqlite3_db_readonly(connection.handle(), "main") == 1)
            return likeCondition;
        throw;
    }
    bool textIndex = false;
    {
        const std::lock_guard lock(keptMutex);
        textIndex = keptFor(connection, table.toLower()).textIndex;
    }
    return Pinyin::titleCondition(
        likeCondition, table, text, textIndex ? Pinyin::Lookup::TextIndex : Pinyin::Lookup::Scan);
}

} // namespace PinyinIndex
