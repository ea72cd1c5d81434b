#include "format/StoreNames.h"

#include <QDateTime>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace StoreNames {

QString stamped(const QDateTime& now, int random)
{
    return now.toString(u"yyyyMMddHHmmsszzz"_s) + QString::number(random);
}

bool isStoredName(const QString& name)
{
    static const QRegularExpression form(u"^[0-9]{17}(0|[1-9][0-9]{0,3})$"_s);
    return form.match(name).hasMatch();
}

bool isPlainName(const QString& name)
{
    return !name.isEmpty() && name != u"."_s && name != u".."_s && !name.contains(u'/') && !name.contains(u'\\')
        && !name.contains(QChar(0));
}

} // namespace StoreNames
