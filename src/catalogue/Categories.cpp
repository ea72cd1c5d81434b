#include "catalogue/Categories.h"

#include "data/Connection.h"
#include "data/Statement.h"

using namespace Qt::StringLiterals;

namespace Categories {

QString uncategorised()
{
    return u"未分类"_s;
}

QString nameOf(Connection& connection, qint64 category)
{
    const KeptStatement name(connection, "select leib from tblei where id = ?1");
    name->bind(1, category);
    return name->step() ? name->text(0) : QString();
}

int booksIn(Connection& connection, qint64 category)
{
    Statement count(connection.handle(), "select count(*) from baseshu where leibie = ?1");
    count.bind(1, category);
    return count.step() ? int(count.integer(0)) : 0;
}

void remove(Connection& connection, qint64 category)
{
    sqlite3* db = connection.handle();
    inTransaction(db, [&] {
        if (booksIn(connection, category) > 0) {
            Statement name(db, "select trim(leib) from tblei where id = ?1");
            name.bind(1, category);
            if (name.step() && name.text(0) == uncategorised())
                Statement::fail(u"“%1”中还有书，不能删除。"_s.arg(uncategorised()));
            Statement find(db, "select id from tblei where trim(leib) = ?1 and id <> ?2 order by id limit 1");
            find.bind(1, uncategorised()).bind(2, category);
            qint64 target = 0;
            if (find.step()) {
                target = find.integer(0);
            } else {
                Statement make(db, "insert into tblei (leib) values (?1)");
                make.bind(1, uncategorised());
                make.step();
                target = Statement::scalar(db, "select last_insert_rowid()").toLongLong();
            }
            Statement move(db, "update baseshu set leibie = ?1 where leibie = ?2");
            move.bind(1, target).bind(2, category);
            move.step();
        }
        Statement drop(db, "delete from tblei where id = ?1");
        drop.bind(1, category);
        drop.step();
    });
}

} // namespace Categories
