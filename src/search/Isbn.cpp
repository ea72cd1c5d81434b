#include "search/Isbn.h"

using namespace Qt::StringLiterals;

namespace Isbn {

QString compact(const QString& text)
{
    QString digits;
    digits.reserve(text.size());
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 0x80)
            digits += c;
        else if (c == u'x' || c == u'X')
            digits += u'X';
    }
    return digits;
}

bool looksLike(const QString& text)
{
    int digits = 0;
    const QString trimmed = text.trimmed();
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (c.unicode() >= u'0' && c.unicode() <= u'9')
            ++digits;
        else if ((c == u'x' || c == u'X') && i == trimmed.size() - 1)
            ;
        else if (c != u'-' && c != u' ')
            return false;
    }
    return digits >= 4;
}

QString toIsbn13(const QString& isbn10)
{
    if (isbn10.size() != 10)
        return {};
    const QString body = u"978"_s + isbn10.left(9);
    int sum = 0;
    for (int i = 0; i < 12; ++i) {
        if (!body.at(i).isDigit())
            return {};
        sum += body.at(i).digitValue() * (i % 2 ? 3 : 1);
    }
    return body + QString::number((10 - sum % 10) % 10);
}

QString toIsbn10(const QString& isbn13)
{
    if (isbn13.size() != 13 || !isbn13.startsWith(u"978"_s))
        return {};
    const QString body = isbn13.mid(3, 9);
    int sum = 0;
    for (int i = 0; i < 9; ++i) {
        if (!body.at(i).isDigit())
            return {};
        sum += body.at(i).digitValue() * (10 - i);
    }
    const int check = (11 - sum % 11) % 11;
    return body + (check == 10 ? u"X"_s : QString::number(check));
}

QStringList forms(const QString& text)
{
    if (!looksLike(text))
        return {};
    const QString own = compact(text);
    QStringList result { own };
    const QString other = own.size() == 10 ? toIsbn13(own) : toIsbn10(own);
    if (!other.isEmpty())
        result << other;
    return result;
}

} // namespace Isbn
