#include "text/PageNames.h"

#include "Exception.h"
#include "data/Connection.h"
#include "data/Sql.h"
#include "data/Statement.h"

using namespace Qt::StringLiterals;

namespace PageNames {

QString name(int page, const QString& label)
{
    const QString number = QString::number(page + 1);
    const QString own = label.simplified();
    if (own.isEmpty() || own == number)
        return u"第 %1 页"_s.arg(number);
    return u"第 %1 页（PDF 第 %2 页）"_s.arg(own, number);
}

QStringList meaningful(const QStringList& labels)
{
    for (int page = 0; page < labels.size(); ++page) {
        const QString own = labels.at(page).simplified();
        if (!own.isEmpty() && own != QString::number(page + 1))
            return labels;
    }
    return {};
}

namespace {

    constexpr QChar Separator = QChar(0x1f);

} // namespace

QStringList stored(sqlite3* db, const QString& storedName)
{
    try {
        Statement select(db, "select labels from qh_pagelabels where filename = ?1");
        select.bind(1, storedName);
        if (select.step())
            return select.text(0).split(Separator);
    } catch (const EDatabaseError&) {
        // A library from before the table: its pages go by number.
    }
    return {};
}

void remember(Connection& connection, const QString& storedName, const QStringList& labels)
{
    const QStringList kept = meaningful(labels);
    if (kept.isEmpty())
        return forget(connection, storedName);
    QStringList clean;
    clean.reserve(kept.size());
    for (const QString& label : kept) {
        QString text = label.simplified().left(32);
        text.remove(Separator);
        clean << Sql::withoutNul(text);
    }
    const QString joined = clean.join(Separator);
    if (stored(connection.handle(), storedName).join(Separator) == joined)
        return; // read again: nothing new to write
    connection.execute(u"insert or replace into qh_pagelabels (filename, labels) values (%1, %2)"_s.arg(
        Sql::quoted(storedName), Sql::quoted(joined)));
}

void forget(Connection& connection, const QString& storedName)
{
    connection.execute(u"delete from qh_pagelabels where filename = %1"_s.arg(Sql::quoted(storedName)));
}

} // namespace PageNames
