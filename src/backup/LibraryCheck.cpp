#include "backup/LibraryCheck.h"

#include "data/Schema.h"
#include "data/SqliteHandle.h"
#include "data/TextCompare.h"
#include "format/BackupFormat.h"
#include "format/StoreNames.h"
#include "pictures/ThumbnailCache.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// Every row of a query as texts; the engine's errors as EBackupError.
QList<QStringList> rows(sqlite3* db, const QString& sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        BackupFormat::fail(QString::fromUtf8(sqlite3_errmsg(db)));
    QList<QStringList> result;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        QStringList row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i)
            row << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)));
        result << row;
    }
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        BackupFormat::fail(message);
    return result;
}

// A name as an SQL text literal.
QString literal(const QString& name)
{
    return u'\'' + QString(name).replace(u'\'', u"''"_s) + u'\'';
}

// One schema object of sqlite_master: kind, name, its table, its text.
struct Object
{
    QString type, name, table, sql;
};

QList<Object> objects(sqlite3* db)
{
    QList<Object> list;
    for (const QStringList& row : rows(db, u"select type, name, tbl_name, ifnull(sql, '') from sqlite_master"_s))
        list.append({ row[0], row[1], row[2], row[3].simplified() });
    return list;
}

const Object* find(const QList<Object>& list, const QString& type, const QString& name)
{
    for (const Object& object : list)
        if (object.type == type && object.name.compare(name, Qt::CaseInsensitive) == 0)
            return &object;
    return nullptr;
}

// A table's columns: lower-case name -> "declared type|primary key position|hidden".
QHash<QString, QString> columns(sqlite3* db, const QString& table)
{
    QHash<QString, QString> result;
    for (const QStringList& row :
        rows(db, u"select name, upper(type), pk, hidden from pragma_table_xinfo(%1)"_s.arg(literal(table))))
        result.insert(row[0].toLower(), row[1] + u'|' + row[2] + u'|' + row[3]);
    return result;
}

// A table's indexes as what they do: origin, unique, partial and key columns (name, collation, order).
QStringList indexShapes(sqlite3* db, const QString& table)
{
    QStringList shapes;
    for (const QStringList& index :
        rows(db, u"select name, \"unique\", origin, partial from pragma_index_list(%1)"_s.arg(literal(table)))) {
        QString shape = index[2] + u'|' + index[1] + u'|' + index[3];
        if (index[2] == u"c"_s)
            shape += u'|' + index[0].toLower();
        for (const QStringList& key : rows(db,
                 u"select lower(ifnull(name, '')), upper(coll), \"desc\" from pragma_index_xinfo(%1) "
                 u"where key = 1 order by seqno"_s.arg(literal(index[0]))))
            shape += u'|' + key.join(u',');
        shapes << shape;
    }
    shapes.sort();
    return shapes;
}

// An index of a cache's table that does no more than order plain columns: no expression
// (a key column without a name), no condition.
bool isPlainIndex(const QString& shape)
{
    const QStringList parts = shape.split(u'|');
    if (parts.value(0) == u"pk"_s)
        return true;
    const int first = parts.value(0) == u"c"_s ? 4 : 3;
    if (parts.value(1) != u"0"_s || parts.value(2) != u"0"_s || parts.size() <= first)
        return false; // a unique index refuses writes the program makes
    for (int i = first; i < parts.size(); ++i)
        if (parts[i].startsWith(u','))
            return false;
    return true;
}

// A table's definition without its name: what follows "CREATE TABLE <name>".
QString definition(const QString& sql)
{
    const qsizetype open = sql.indexOf(u'(');
    return open < 0 ? sql : sql.mid(open);
}

// Whether a table's text holds anything more than columns and their types: a check, a
// foreign key, a computed column, a default or collation.
bool hasConstraints(const QString& sql)
{
    static const QRegularExpression words(
        u"\\b(CHECK|REFERENCES|GENERATED|AS|DEFAULT|COLLATE|CONSTRAINT)\\b"_s, QRegularExpression::CaseInsensitiveOption);
    return words.match(definition(sql)).hasMatch();
}

QString checkTables(sqlite3* candidate, sqlite3* reference, const QList<Object>& mine, const QList<Object>& ours)
{
    for (const char* required : { "baseshu", "dzbook", "tblei", "userb" })
        if (!find(mine, u"table"_s, QString::fromLatin1(required)))
            return u"缺少表 %1"_s.arg(QString::fromLatin1(required));
    for (const Object& table : mine) {
        if (table.type != u"table"_s || table.name.startsWith(u"sqlite_"_s, Qt::CaseInsensitive))
            continue;
        if (table.sql.startsWith(u"CREATE VIRTUAL"_s, Qt::CaseInsensitive))
            return u"有本程序之外的表 %1"_s.arg(table.name); // the program makes none; a module may run anything
        const Object* own = find(ours, u"table"_s, table.name);
        if (!own) {
            // Caches of the program's own are made as it runs: plain tables, without constraints.
            if (!table.name.startsWith(u"qh_"_s, Qt::CaseInsensitive) || hasConstraints(table.sql))
                return u"有本程序之外的表 %1"_s.arg(table.name);
            continue;
        }
        // A table of the program's own is exactly as it makes it: a constraint more (CHECK (0)) stops
        // every write for good.
        if (table.name.startsWith(u"qh_"_s, Qt::CaseInsensitive) && definition(table.sql) != definition(own->sql))
            return u"表 %1 的定义与本程序的不同"_s.arg(table.name);
        const QHash<QString, QString> have = columns(candidate, table.name);
        const QHash<QString, QString> want = columns(reference, own->name);
        for (auto it = want.cbegin(); it != want.cend(); ++it) {
            if (!have.contains(it.key()))
                return u"表 %1 缺少列 %2"_s.arg(table.name, it.key());
            const bool key = !it.value().section(u'|', 1, 1).startsWith(u'0');
            if (key && have[it.key()] != it.value())
                return u"表 %1 的主键列 %2 不对"_s.arg(table.name, it.key());
        }
        for (auto it = have.cbegin(); it != have.cend(); ++it)
            if (!want.contains(it.key()) && it.value().section(u'|', 2, 2) != u"0"_s)
                return u"表 %1 有本程序之外的计算列 %2"_s.arg(table.name, it.key());
        if (!rows(candidate, u"select 1 from pragma_foreign_key_list(%1)"_s.arg(literal(table.name))).isEmpty())
            return u"表 %1 带有外键"_s.arg(table.name);
    }
    return {};
}

QString checkOtherObjects(sqlite3* candidate, sqlite3* reference, const QList<Object>& mine, const QList<Object>& ours)
{
    for (const Object& object : mine) {
        if (object.type == u"trigger"_s || object.type == u"view"_s) {
            const Object* own = find(ours, object.type, object.name);
            if (!own || own->sql != object.sql)
                return (object.type == u"trigger"_s ? u"有本程序之外的触发器 %1"_s : u"有本程序之外的视图 %1"_s)
                    .arg(object.name);
        } else if (object.type == u"index"_s) {
            // Every index (a unique constraint's too) of the book tables one the program makes
            // itself; on the caches' tables, plain ones over columns (no expression, no condition).
            const bool ownTable = find(ours, u"table"_s, object.table) != nullptr;
            const bool cache = object.table.startsWith(u"qh_"_s, Qt::CaseInsensitive);
            const QStringList allowed = ownTable ? indexShapes(reference, object.table) : QStringList();
            for (const QString& shape : indexShapes(candidate, object.table))
                if (!allowed.contains(shape) && (!cache || !isPlainIndex(shape)))
                    return u"表 %1 有本程序之外的索引或唯一约束"_s.arg(object.table);
        }
    }
    return {};
}

QString checkRows(sqlite3* candidate)
{
    if (BackupFormat::scalar(candidate, "select count(*) from userb where trim(ifnull(users, '')) <> ''").toInt() == 0)
        return u"没有任何账户，恢复后将无法登录"_s;
    for (const QStringList& row : rows(candidate,
             u"select ifnull(name, ''), filename from dzbook "
             u"where ifnull(filename, '') <> ''"_s))
        if (!StoreNames::isStoredName(row[1]))
            return u"电子书“%1”的存储文件名“%2”不对"_s.arg(row[0], row[1]);
    for (const QStringList& row : rows(candidate,
             u"select ifnull(name, ''), filename from qh_trash_ebooks "
             u"where ifnull(filename, '') <> ''"_s))
        if (!StoreNames::isStoredName(row[1]))
            return u"回收站里的电子书“%1”的存储文件名“%2”不对"_s.arg(row[0], row[1]);
    return {};
}

} // namespace

namespace LibraryCheck {

QString problems(sqlite3* candidate, sqlite3* reference)
{
    const int version = BackupFormat::scalar(candidate, "pragma user_version").toInt();
    if (version > Schema::latestVersion())
        return u"来自较新版本的程序(数据库版本 %1)"_s.arg(version);
    const QList<Object> mine = objects(candidate);
    const QList<Object> ours = objects(reference);
    QString problem = checkTables(candidate, reference, mine, ours);
    if (problem.isEmpty())
        problem = checkOtherObjects(candidate, reference, mine, ours);
    if (problem.isEmpty())
        problem = checkRows(candidate);
    return problem;
}

void makeReference(const QString& path, const QString& password)
{
    QFile::remove(path);
    Schema::createDatabase(path, password);
    SqliteHandle db;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        BackupFormat::fail(QString::fromUtf8(sqlite3_errmsg(db.db)));
    TextCompare::registerOn(db.db);
    ThumbnailCache(db.db).prepare();
    if (sqlite3_exec(db.db, Schema::lastPageTable, nullptr, nullptr, nullptr) != SQLITE_OK)
        BackupFormat::fail(QString::fromUtf8(sqlite3_errmsg(db.db)));
}

} // namespace LibraryCheck
