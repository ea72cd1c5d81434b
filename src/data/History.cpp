#include "data/History.h"

#include "data/Connection.h"
#include "data/Schema.h"
#include "data/Statement.h"

#include <QHash>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace History {
namespace {

    const QStringList& columns(Trash::Kind kind)
    {
        return kind == Trash::Kind::Book ? Schema::bookHistoryColumns() : Schema::ebookHistoryColumns();
    }

    QString table(Trash::Kind kind)
    {
        return kind == Trash::Kind::Book ? u"baseshu"_s : u"dzbook"_s;
    }

    QString kindName(Trash::Kind kind)
    {
        return kind == Trash::Kind::Book ? u"book"_s : u"ebook"_s;
    }

    // The row's text columns as the triggers write them (json_object), or an empty object.
    QJsonObject present(Connection& connection, Trash::Kind kind, qint64 book, bool* found)
    {
        QStringList pairs;
        for (const QString& column : columns(kind))
            pairs << u"'%1', \"%1\""_s.arg(column);
        Statement stmt(connection.handle(),
            u"select json_object(%1) from %2 where id = ?1"_s.arg(pairs.join(u", "_s), table(kind)).toUtf8());
        stmt.bind(1, book);
        *found = stmt.step();
        return *found ? QJsonDocument::fromJson(stmt.text(0).toUtf8()).object() : QJsonObject();
    }

    QVariant bindable(const QJsonValue& value)
    {
        if (value.isNull() || value.isUndefined())
            return {};
        if (value.isDouble()) {
            const double number = value.toDouble();
            if (number == double(qint64(number)))
                return qint64(number);
            return number;
        }
        return value.toString();
    }

} // namespace

QList<Version> versions(Connection& connection, Trash::Kind kind, qint64 book)
{
    bool found = false;
    QJsonObject after = present(connection, kind, book, &found);
    QList<Version> list;
    if (!found)
        return list;
    Statement stmt(connection.handle(),
        "select id, saved, fields from qh_history where kind = ?1 and book = ?2 order by id desc");
    stmt.bind(1, kindName(kind)).bind(2, book);
    while (stmt.step()) {
        Version version;
        version.id = stmt.integer(0);
        version.saved = QDateTime::fromString(stmt.text(1), Qt::ISODate);
        version.values = QJsonDocument::fromJson(stmt.text(2).toUtf8()).object();
        version.after = after;
        for (const QString& column : columns(kind))
            if (version.values.value(column) != after.value(column))
                version.changed << column;
        after = version.values;
        list.append(version);
    }
    return list;
}

void restore(Connection& connection, Trash::Kind kind, qint64 book, qint64 versionId)
{
    sqlite3* db = connection.handle();
    inTransaction(db, [&] {
        Statement read(db, "select fields from qh_history where id = ?1 and kind = ?2 and book = ?3");
        read.bind(1, versionId).bind(2, kindName(kind)).bind(3, book);
        if (!read.step())
            Statement::fail(u"这个版本已不在历史中"_s);
        const QJsonObject values = QJsonDocument::fromJson(read.text(0).toUtf8()).object();
        QStringList sets;
        QVariantList bound;
        // A category deleted since (its books moved to another) is not written back:
        // the book would belong to none.
        Statement category(db, "select count(*) from tblei where id = ?1");
        for (const QString& column : columns(kind)) {
            if (!values.contains(column))
                continue;
            if (kind == Trash::Kind::Book && column == u"leibie"_s && !values.value(column).isNull()) {
                category.bind(1, bindable(values.value(column)));
                if (category.step() && category.integer(0) == 0)
                    continue;
            }
            bound << bindable(values.value(column));
            sets << u"\"%1\" = ?%2"_s.arg(column).arg(bound.size());
        }
        if (sets.isEmpty())
            return;
        Statement write(db,
            u"update %1 set %2 where id = ?%3"_s.arg(table(kind), sets.join(u", "_s)).arg(bound.size() + 1).toUtf8());
        for (int i = 0; i < bound.size(); ++i)
            write.bind(i + 1, bound.at(i));
        write.bind(int(bound.size()) + 1, book);
        write.step();
        if (sqlite3_changes(db) == 0)
            Statement::fail(u"这本书已不在书库中"_s);
    });
}

QString label(Trash::Kind kind, const QString& column)
{
    static const QHash<QString, QString> names { { u"name"_s, u"书名"_s }, { u"zuozhe"_s, u"作者"_s },
        { u"publish"_s, u"出版社"_s }, { u"isbn"_s, u"ISBN"_s }, { u"leibie"_s, u"类别"_s },
        { u"boxbz"_s, u"包装"_s }, { u"contentjj"_s, u"内容简介"_s }, { u"place"_s, u"存放地点"_s },
        { u"isread"_s, u"阅读状态"_s }, { u"isgo"_s, u"是否出屋"_s }, { u"gocause"_s, u"出屋原因"_s },
        { u"yuzhong"_s, u"语种"_s }, { u"目录"_s, u"目录"_s }, { u"readbiji"_s, u"读书笔记"_s },
        { u"pubtime"_s, u"出版时间"_s }, { u"other"_s, u"其他"_s } };
    if (kind == Trash::Kind::Ebook && column == u"place"_s)
        return u"文档密码"_s;
    if (kind == Trash::Kind::Ebook && column == u"readbiji"_s)
        return u"笔记"_s;
    if (kind == Trash::Kind::Ebook && column == u"contentjj"_s)
        return u"简介"_s;
    return names.value(column, column);
}

} // namespace History
