#include "data/Isbn.h"

using namespace Qt::StringLiterals;

namespace Isbn {
namespace {

    bool allDigits(const QString& text, qsizetype from, qsizetype to)
    {
        for (qsizetype i = from; i < to; ++i) {
            if (text[i] < u'0' || text[i] > u'9')
                return false;
        }
        return true;
    }

    // The check digit of the first twelve digits of an ISBN-13.
    QChar check13(const QString& twelve)
    {
        int sum = 0;
        for (int i = 0; i < 12; ++i)
            sum += (i % 2 ? 3 : 1) * twelve[i].digitValue();
        return QChar(u'0' + (10 - sum % 10) % 10);
    }

    // The check character of the first nine digits of an ISBN-10.
    QChar check10(const QString& nine)
    {
        int sum = 0;
        for (int i = 0; i < 9; ++i)
            sum += (10 - i) * nine[i].digitValue();
        const int check = (11 - sum % 11) % 11;
        return check == 10 ? QChar(u'X') : QChar(u'0' + check);
    }

    bool validIsbn10(const QString& digits)
    {
        return digits.size() == 10 && allDigits(digits, 0, 9) && check10(digits) == digits[9];
    }

    bool validIsbn13(const QString& digits)
    {
        return digits.size() == 13 && allDigits(digits, 0, 13) && check13(digits) == digits[12];
    }

} // namespace

std::string compact(std::string_view utf8)
{
    std::string digits;
    for (const char c : utf8) {
        if (c >= '0' && c <= '9')
            digits += c;
        else if (c == 'x' || c == 'X')
            digits += 'X';
    }
    return digits;
}

QString compact(const QString& text)
{
    // Every byte of a character beyond ASCII is 0x80 or above: no digit, no X.
    const QByteArray utf8 = text.toUtf8();
    return QString::fromLatin1(compact(std::string_view(utf8.constData(), size_t(utf8.size()))));
}

QString withoutSeparators(const QString& text)
{
    QString digits;
    for (const QChar c : text) {
        if (c != u'-' && c != u' ' && c != u'\u3000' && c != u'\u00A0')
            digits += c.toUpper();
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
    if (!allDigits(body, 0, 12))
        return {};
    return body + check13(body);
}

QString toIsbn10(const QString& isbn13)
{
    if (isbn13.size() != 13 || !isbn13.startsWith(u"978"_s))
        return {};
    const QString body = isbn13.mid(3, 9);
    if (!allDigits(body, 0, 9))
        return {};
    return body + check10(body);
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

bool lostLeadingZero(const QString& text)
{
    const QString digits = withoutSeparators(text);
    return digits.size() == 9 && validIsbn10(u'0' + digits);
}

std::optional<QString> isbn13(const QString& text)
{
    QString digits = withoutSeparators(text);
    if (digits.size() == 9 && validIsbn10(u'0' + digits))
        digits.prepend(u'0');
    if (validIsbn10(digits))
        return toIsbn13(digits);
    if (validIsbn13(digits))
        return digits;
    return std::nullopt;
}

QString key(const QString& text)
{
    return isbn13(text).value_or(withoutSeparators(text));
}

} // namespace Isbn
