#include "data/Trash.h"

#include "data/Connection.h"
#include "data/Schema.h"
#include "data/Settings.h"
#include "data/Statement.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Trash {
namespace {

    struct Tables
    {
        QString rows;  // baseshu / dzbook
        QString trash; // qh_trash_…
        QString key;   // the row's id column
        QString dates; // qh_book_dates / qh_ebook_dates
        QString datesKey;
        QString historyKind;
        const QStringList& columns;
    };

    const Tables& tables(Kind kind)
    {
        static const Tables books { u"baseshu"_s, u"qh_trash_books"_s, u"id"_s, u"qh_book_dates"_s, u"book"_s,
            u"book"_s, Schema::bookColumns() };
        static const Tables ebooks { u"dzbook"_s, u"qh_trash_ebooks"_s, u"ID"_s, u"qh_ebook_dates"_s, u"ebook"_s,
            u"ebook"_s, Schema::ebookColumns() };
        return kind == Kind::Book ? books : ebooks;
    }

    QString columnList(const QStringList& columns, const QString& prefix = {})
    {
        QStringList quoted;
        for (const QString& column : columns)
            quoted << prefix + u'"' + column + u'"';
        return quoted.join(u", "_s);
    }

    QString stamp(const QDateTime& when)
    {
        return when.toString(u"yyyy-MM-ddTHH:mm:ss"_s);
    }

    // The bytes of a row: its texts and pictures as stored.
    QString rowBytes(const QStringList& columns)
    {
        QStringList lengths;
        // A picture's length is read from its record header, its pages left unread.
        for (const QString& column : columns)
            lengths << (column == u"facepic"_s || column.startsWith(u"pic"_s)
                    ? u"ifnull(length(\"%1\"), 0)"_s.arg(column)
                    : u"ifnull(length(CAST(\"%1\" AS BLOB)), 0)"_s.arg(column));
        return lengths.join(u" + "_s);
    }

    QList<Item> read(Connection& connection, Kind kind, const QString& where, qint64 value)
    {
        const Tables& t = tables(kind);
        const QString storedName = kind == Kind::Ebook ? u"filename"_s : u"''"_s;
        Statement stmt(connection.handle(),
            u"select trash_id, \"%1\", name, deleted, %2, %3 from %4 %5"_s
                .arg(t.key, rowBytes(t.columns), storedName, t.trash, where)
                .toUtf8());
        if (!where.isEmpty())
            stmt.bind(1, value);
        QList<Item> list;
        while (stmt.step())
            list.append({ kind, stmt.integer(0), stmt.integer(1), stmt.text(2),
                QDateTime::fromString(stmt.text(3), Qt::ISODate), stmt.integer(4), stmt.text(5) });
        return list;
    }

    // A book whose category was deleted while it was in the bin comes back under
    // "未分类" (made when missing), as the category's other books went there.
    void keepCategory(sqlite3* db, qint64 trashId)
    {
        Statement gone(db,
            "select count(*) from qh_trash_books t where trash_id = ?1 and leibie is not null "
            "and not exists (select 1 from tblei c where c.id = t.leibie)");
        gone.bind(1, trashId);
        if (!gone.step() || gone.integer(0) == 0)
            return;
        const QString name = u"未分类"_s;
        Statement find(db, "select id from tblei where trim(leib) = ?1 order by id limit 1");
        find.bind(1, name);
        qint64 category = 0;
        if (find.step()) {
            category = find.integer(0);
        } else {
            Statement make(db, "insert into tblei (leib) values (?1)");
            make.bind(1, name);
            make.step();
            category = sqlite3_last_insert_rowid(db);
        }
        Statement move(db, "update qh_trash_books set leibie = ?1 where trash_id = ?2");
        move.bind(1, category).bind(2, trashId);
        move.step();
    }

} // namespace

bool keep(sqlite3* db, Kind kind, qint64 id, const QDateTime& when)
{
    const Tables& t = tables(kind);
    const QString loans = kind == Kind::Book
        ? u"(select group_concat(l.id) from qh_loans l where l.book = r.\"id\")"_s
        : u"NULL"_s;
    Statement stmt(db,
        u"insert into %1 (deleted, added, started, finished, loans, %2) select ?1, d.added, d.started, d.finished, "
        "%3, %4 from %5 r left join %6 d on d.%7 = r.\"%8\" where r.\"%8\" = ?2"_s
            .arg(t.trash, columnList(t.columns), loans, columnList(t.columns, u"r."_s), t.rows, t.dates, t.datesKey,
                t.key)
            .toUtf8());
    stmt.bind(1, stamp(when)).bind(2, id);
    stmt.step();
    return sqlite3_changes(db) > 0;
}

bool remove(Connection& connection, Kind kind, qint64 id, const QDateTime& when)
{
    sqlite3* db = connection.handle();
    return inTransaction(db, [&] {
        if (!keep(db, kind, id, when))
            return false;
        const Tables& t = tables(kind);
        Statement stmt(db, u"delete from %1 where \"%2\" = ?1"_s.arg(t.rows, t.key).toUtf8());
        stmt.bind(1, id);
        stmt.step();
        return true;
    });
}

QList<Item> items(Connection& connection)
{
    QList<Item> list = read(connection, Kind::Book, {}, 0) + read(connection, Kind::Ebook, {}, 0);
    std::stable_sort(list.begin(), list.end(), [](const Item& a, const Item& b) { return a.deleted > b.deleted; });
    return list;
}

std::optional<Item> item(Connection& connection, Kind kind, qint64 trashId)
{
    const QList<Item> found = read(connection, kind, u"where trash_id = ?1"_s, trashId);
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

qint64 restore(Connection& connection, Kind kind, qint64 trashId)
{
    const Tables& t = tables(kind);
    sqlite3* db = connection.handle();
    return inTransaction(db, [&] {
        Statement row(db,
            u"select \"%1\", added, started, finished, ifnull(loans, '') from %2 where trash_id = ?1"_s
                .arg(t.key, t.trash)
                .toUtf8());
        row.bind(1, trashId);
        if (!row.step())
            Statement::fail(u"回收站里没有这一项"_s);
        const qint64 former = row.integer(0);
        const QVariant dates[] { row.value(1), row.value(2), row.value(3) };
        const QStringList loans = row.text(4).split(u',', Qt::SkipEmptyParts);

        Statement taken(db, u"select count(*) from %1 where \"%2\" = ?1"_s.arg(t.rows, t.key).toUtf8());
        taken.bind(1, former);
        taken.step();
        qint64 id = former;
        if (taken.integer(0) > 0) {
            // Taken: the id the engine would give a new row.
            Statement next(db,
                u"select max(ifnull((select seq from sqlite_sequence where name = '%1'), 0), "
                "ifnull((select max(\"%2\") from %1), 0)) + 1"_s.arg(t.rows, t.key).toUtf8());
            next.step();
            id = next.integer(0);
            Statement history(db, "update qh_history set book = ?1 where kind = ?2 and book = ?3");
            history.bind(1, id).bind(2, t.historyKind).bind(3, former);
            history.step();
        }
        if (kind == Kind::Book) {
            // Its loans are its own again (the title they kept is the book's again), before the
            // row is back, so that the row's trigger finds its open loan and opens none.
            Statement relink(db, "update qh_loans set book = ?1, title = NULL where id = ?2");
            for (const QString& loan : loans) {
                relink.bind(1, id).bind(2, loan.toLongLong());
                relink.step();
                relink.reset();
            }
        }
        if (kind == Kind::Book)
            keepCategory(db, trashId);
        {
            QStringList columns = t.columns;
            columns.removeFirst();
            Statement insert(db,
                u"insert into %1 (\"%2\", %3) select ?1, %3 from %4 where trash_id = ?2"_s
                    .arg(t.rows, t.key, columnList(columns), t.trash)
                    .toUtf8());
            insert.bind(1, id).bind(2, trashId);
            insert.step();
        }
        // The reading dates it had, in place of the day the insert's trigger stamped.
        {
            Statement write(db,
                u"insert or replace into %1 (%2, added, started, finished) values (?1, ?2, ?3, ?4)"_s
                    .arg(t.dates, t.datesKey)
                    .toUtf8());
            write.bind(1, id).bind(2, dates[0]).bind(3, dates[1]).bind(4, dates[2]);
            write.step();
        }
        Statement drop(db, u"delete from %1 where trash_id = ?1"_s.arg(t.trash).toUtf8());
        drop.bind(1, trashId);
        drop.step();
        return id;
    });
}

void purge(Connection& connection, Kind kind, qint64 trashId)
{
    const Tables& t = tables(kind);
    sqlite3* db = connection.handle();
    inTransaction(db, [&] {
        // The history goes with the book, unless another book has its id by now.
        Statement history(db,
            u"delete from qh_history where kind = ?1 and book = (select \"%1\" from %2 where trash_id = ?2) "
            "and not exists (select 1 from %3 where \"%1\" = qh_history.book)"_s
                .arg(t.key, t.trash, t.rows)
                .toUtf8());
        history.bind(1, t.historyKind).bind(2, trashId);
        history.step();
        Statement drop(db, u"delete from %1 where trash_id = ?1"_s.arg(t.trash).toUtf8());
        drop.bind(1, trashId);
        drop.step();
    });
}

int keptDays(Connection& connection)
{
    bool ok = false;
    const int days = Settings::value(connection, QLatin1String(daysSetting)).toInt(&ok);
    return ok && days >= 0 ? days : defaultDays;
}

QList<Item> expired(Connection& connection, const QDate& today)
{
    const int days = keptDays(connection);
    QList<Item> list;
    if (days == 0)
        return list;
    const QDate first = today.addDays(-days); // deleted on this day or later: kept
    for (const Item& item : items(connection))
        if (item.deleted.isValid() && item.deleted.date() < first)
            list.append(item);
    return list;
}

QList<QString> storedNames(Connection& connection)
{
    QList<QString> names;
    Statement stmt(connection.handle(), "select filename from qh_trash_ebooks where ifnull(filename, '') <> ''");
    while (stmt.step())
        names.append(stmt.text(0));
    return names;
}

} // namespace Trash
