#include "shell/PinyinIndex.h"

#include "shell/Pinyin.h"
#include "shell/SqliteStatement.h"
#include "shell/udata.h"

using namespace Qt::StringLiterals;

namespace PinyinIndex {

QString tableFor(const QString& table)
{
    const QString source = table.toLower();
    if (source != u"baseshu"_s && source != u"dzbook"_s)
        throw EDatabaseError(u"没有 %1 表的拼音索引"_s.arg(table).toStdString());
    return u"qh_pinyin_"_s + source;
}

int update(Connection& connection, const QString& table)
{
    const QString index = tableFor(table);
    const QString source = table.toLower();
    connection.execute(u"create table if not exists %1 (id INTEGER PRIMARY KEY, title TEXT, "
                       "syllables TEXT NOT NULL, initials TEXT NOT NULL)"_s.arg(index));

    sqlite3* db = connection.handle();
    connection.execute(u"savepoint qh_pinyin"_s);
    try {
        connection.execute(u"delete from %1 where id not in (select id from %2)"_s.arg(index, source));
        // One pass over the titles: a row whose kept copy is missing or differs,
        // compared byte for byte, is spelled again. Read first, then written, so
        // the scan never walks rows it has just changed.
        QList<std::pair<qint64, std::optional<QString>>> titles;
        {
            SqliteStatement changed(db,
                u"select s.id, s.name from %1 s left join %2 p on p.id = s.id "
                "where p.id is null or p.title is not s.name collate binary"_s.arg(source, index));
            while (changed.step())
                titles.append(
                    { changed.integer(0), changed.isNull(1) ? std::nullopt : std::optional(changed.text(1)) });
        }
        SqliteStatement write(
            db, u"insert or replace into %1 (id, title, syllables, initials) values (?, ?, ?, ?)"_s.arg(index));
        for (const auto& [id, title] : std::as_const(titles)) {
            const Pinyin::Spelling spelling = Pinyin::spell(title.value_or(QString()));
            write.reset();
            write.bind(1, std::optional(id));
            write.bind(2, title);
            write.bind(3, spelling.full);
            write.bind(4, spelling.initials);
            write.step();
        }
        const int spelled = int(titles.size());
        connection.execute(u"release qh_pinyin"_s);
        return spelled;
    } catch (...) {
        sqlite3_exec(db, "rollback to qh_pinyin; release qh_pinyin", nullptr, nullptr, nullptr);
        throw;
    }
}

QString condition(Connection& connection, const QString& likeCondition, const QString& table, const QString& text)
{
    if (!Pinyin::isLatinOnly(text))
        return likeCondition;
    update(connection, table);
    return Pinyin::titleCondition(likeCondition, table, text);
}

} // namespace PinyinIndex
