// The recycle bin and the earlier versions of books: tables of the program's
// own beside the book tables, which stay as they always were.

#include "data/Schema.h"

#include "data/Statement.h"

using namespace Qt::StringLiterals;

namespace Schema {
namespace {

    QStringList tags()
    {
        QStringList list { u"格式"_s };
        for (int i = 1; i <= 5; ++i)
            list << u"格式%1"_s.arg(i);
        return list;
    }

    QStringList pictures()
    {
        QStringList list { u"facepic"_s };
        for (int i = 1; i <= 5; ++i)
            list << u"pic%1"_s.arg(i);
        return list;
    }

    QString quotedList(const QStringList& columns, const QString& prefix = {})
    {
        QStringList quoted;
        for (const QString& column : columns)
            quoted << prefix + u'"' + column + u'"';
        return quoted.join(u", "_s);
    }

    // Copies of any value: no types, no checks, so a row the library holds always fits.
    QString trashTable(const QString& name, const QStringList& columns)
    {
        return u"CREATE TABLE IF NOT EXISTS %1 (trash_id INTEGER PRIMARY KEY AUTOINCREMENT, deleted TEXT NOT NULL, "
               "added TEXT, started TEXT, finished TEXT, loans TEXT, %2);\n"_s.arg(name, quotedList(columns));
    }

    QString historyTrigger(const QString& table, const QString& kind, const QString& key, const QStringList& columns)
    {
        QStringList changed;
        QStringList pairs;
        for (const QString& column : columns) {
            changed << u"old.\"%1\" IS NOT new.\"%1\""_s.arg(column);
            pairs << u"'%1', old.\"%1\""_s.arg(column);
        }
        return u"CREATE TRIGGER IF NOT EXISTS qh_%1_history AFTER UPDATE ON %1 WHEN %2 BEGIN\n"
               "    INSERT INTO qh_history (kind, book, saved, fields) VALUES ('%3', old.%4, "
               "strftime('%Y-%m-%dT%H:%M:%S', 'now', 'localtime'), json_object(%5));\n"
               "    DELETE FROM qh_history WHERE kind = '%3' AND book = old.%4 AND id NOT IN (SELECT id FROM "
               "qh_history WHERE kind = '%3' AND book = old.%4 ORDER BY id DESC LIMIT %6);\n"
               "END;\n"_s.arg(table, changed.join(u" OR "_s), kind, key, pairs.join(u", "_s))
            .arg(historyLimit);
    }

} // namespace

const QStringList& bookColumns()
{
    static const QStringList columns = QStringList { u"id"_s, u"name"_s, u"zuozhe"_s, u"publish"_s, u"isbn"_s,
                                           u"leibie"_s, u"boxbz"_s, u"contentjj"_s, u"place"_s, u"isread"_s,
                                           u"isjie"_s, u"jieshumen"_s, u"isgo"_s, u"gocause"_s, u"yuzhong"_s,
                                           u"目录"_s, u"readbiji"_s }
        + tags() + pictures();
    return columns;
}

const QStringList& ebookColumns()
{
    static const QStringList columns = QStringList { u"ID"_s, u"zuozhe"_s, u"Status"_s, u"publish"_s,
                                           u"pubtime"_s, u"isbn"_s, u"boxbz"_s, u"contentjj"_s, u"place"_s,
                                           u"isread"_s, u"isjie"_s, u"jieshumen"_s, u"other"_s, u"isgo"_s,
                                           u"gocause"_s, u"readbiji"_s, u"name"_s, u"leibie"_s }
        + tags() + QStringList { u"目录"_s, u"yuzhong"_s, u"filename"_s } + pictures();
    return columns;
}

const QStringList& bookHistoryColumns()
{
    static const QStringList columns { u"name"_s, u"zuozhe"_s, u"publish"_s, u"isbn"_s, u"leibie"_s, u"boxbz"_s,
        u"contentjj"_s, u"place"_s, u"isread"_s, u"isgo"_s, u"gocause"_s, u"yuzhong"_s, u"目录"_s,
        u"readbiji"_s };
    return columns;
}

const QStringList& ebookHistoryColumns()
{
    static const QStringList columns { u"name"_s, u"zuozhe"_s, u"publish"_s, u"pubtime"_s, u"isbn"_s, u"boxbz"_s,
        u"contentjj"_s, u"place"_s, u"isread"_s, u"other"_s, u"isgo"_s, u"gocause"_s, u"readbiji"_s, u"leibie"_s,
        u"目录"_s, u"yuzhong"_s };
    return columns;
}

void addTrash(sqlite3* db)
{
    const QString sql = trashTable(u"qh_trash_books"_s, bookColumns())
        + trashTable(u"qh_trash_ebooks"_s, ebookColumns());
    Statement::execute(db, sql.toUtf8());
}

void addHistory(sqlite3* db)
{
    const QString sql = u"CREATE TABLE IF NOT EXISTS qh_history (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                        "kind TEXT NOT NULL, book INTEGER NOT NULL, saved TEXT NOT NULL, fields TEXT NOT NULL);\n"
                        "CREATE INDEX IF NOT EXISTS qh_history_book ON qh_history (kind, book);\n"_s
        + historyTrigger(u"baseshu"_s, u"book"_s, u"id"_s, bookHistoryColumns())
        + historyTrigger(u"dzbook"_s, u"ebook"_s, u"ID"_s, ebookHistoryColumns());
    Statement::execute(db, sql.toUtf8());
}

} // namespace Schema
