#include "ebooks/EbookSql.h"

#include "text/PinyinIndex.h"
#include "data/Sql.h"

using namespace Qt::StringLiterals;

namespace EbookSql {

QString trimmed(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= u' ')
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= u' ')
        --end;
    return text.mid(begin, end - begin);
}

QString search(Connection& connection, const QString& title, const QString& status)
{
    const QString name = trimmed(title);
    const QString isread = trimmed(status);
    QString condition;
    if (!name.isEmpty()) {
        // Quoted like every other value: an apostrophe in a title is part of the title.
        condition = PinyinIndex::condition(connection, u"name like "_s + Sql::quoted(u'%' + name + u'%'), u"dzbook"_s, name);
    }
    if (!isread.isEmpty())
        condition += (condition.isEmpty() ? u" isread="_s : u" and isread="_s) + Sql::quoted(isread);
    return condition.isEmpty() ? u" select *  from dzbook "_s : u" select *  from dzbook where "_s + condition;
}

} // namespace EbookSql
