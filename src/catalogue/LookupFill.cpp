#include "catalogue/LookupFill.h"

using namespace Qt::StringLiterals;

namespace LookupFill {

QString Plan::question() const
{
    QStringList labels;
    for (const Change& change : replace)
        labels << change.label;
    return labels.isEmpty() ? QString() : u"用查到的内容替换已填写的：%1？"_s.arg(labels.join(u"、"_s));
}

Plan plan(const std::function<QString(const QString& column)>& current, const Lookup::BookFields& found)
{
    const QList<Change> fields {
        { u"name"_s, u"书名"_s, found.name },
        { u"zuozhe"_s, u"作者"_s, found.zuozhe },
        { u"publish"_s, u"出版社"_s, found.publish },
        { u"yuzhong"_s, u"语种"_s, found.yuzhong },
        { u"contentjj"_s, u"内容简介"_s, found.contentjj },
    };
    Plan plan;
    for (const Change& change : fields) {
        if (change.value.isEmpty())
            continue;
        const QString now = current(change.column);
        if (now.trimmed().isEmpty())
            plan.fill << change;
        else if (now.simplified() != change.value.simplified())
            plan.replace << change;
    }
    return plan;
}

QString unreachable(const QString& reason)
{
    return u"无法连接书目来源（%1）。请检查网络后再试。"_s.arg(reason);
}

QString notFound(const QString& isbn)
{
    return u"没有找到 ISBN 为 %1 的图书，可以手工填写。"_s.arg(isbn);
}

QString invalid(const QString& isbn)
{
    return u"ISBN 校验位不对：%1"_s.arg(isbn);
}

} // namespace LookupFill
