#include "ebooks/LastPage.h"

#include "data/Schema.h"
#include "data/udata.h"

using namespace Qt::StringLiterals;

LastPage::LastPage(Connection& connection)
    : m_connection(connection)
{ }

void LastPage::ensureTable()
{
    // Checked once per connection object; a reopened file may be a new one, so
    // the statement is cheap to repeat and harmless when the table exists.
    if (m_ready && m_connection.isOpen())
        return;
    m_connection.execute(QString::fromLatin1(Schema::lastPageTable));
    m_ready = true;
}

int LastPage::page(qint64 id)
{
    ensureTable();
    return m_connection.scalar(u"select page from qh_lastpage where id=%1"_s.arg(id)).toInt();
}

void LastPage::remember(qint64 id, int page)
{
    ensureTable();
    if (page <= 0)
        return forget(id);
    m_connection.execute(u"insert or replace into qh_lastpage (id, page) values (%1, %2)"_s.arg(id).arg(page));
}

void LastPage::forget(qint64 id)
{
    ensureTable();
    m_connection.execute(u"delete from qh_lastpage where id=%1"_s.arg(id));
}
