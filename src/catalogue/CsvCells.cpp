#include "catalogue/CsvCells.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace CsvCells {
namespace {

    bool isFormulaStart(QChar c)
    {
        return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
    }

    // Apostrophes, then a character that starts a formula.
    bool looksLikeFormula(const QString& text)
    {
        qsizetype i = 0;
        while (i < text.size() && text[i] == u'\'')
            ++i;
        return i < text.size() && isFormulaStart(text[i]);
    }

    QString digitsOf(const QString& isbn)
    {
        QString digits;
        for (const QChar c : isbn) {
            if (c != u'-' && c != u' ' && c != u'\u3000' && c != u'\u00A0')
                digits += c.toUpper();
        }
        return digits;
    }

    bool allDigits(const QString& text, qsizetype from, qsizetype to)
    {
        for (qsizetype i = from; i < to; ++i) {
            if (text[i] < u'0' || text[i] > u'9')
                return false;
        }
        return true;
    }

    bool validIsbn10(const QString& digits)
    {
        if (digits.size() != 10 || !allDigits(digits, 0, 9))
            return false;
        if (digits[9] != u'X' && !allDigits(digits, 9, 10))
            return false;
        int sum = 0;
        for (int i = 0; i < 10; ++i)
            sum += (10 - i) * (digits[i] == u'X' ? 10 : digits[i].digitValue());
        return sum % 11 == 0;
    }

    QChar isbn13Check(const QString& twelve)
    {
        int sum = 0;
        for (int i = 0; i < 12; ++i)
            sum += (i % 2 ? 3 : 1) * twelve[i].digitValue();
        return QChar(u'0' + (10 - sum % 10) % 10);
    }

    bool validIsbn13(const QString& digits)
    {
        return digits.size() == 13 && allDigits(digits, 0, 13) && isbn13Check(digits.left(12)) == digits[12];
    }

    // An ISBN-10 that lost its leading zero in a spreadsheet.
    bool lostLeadingZero(const QString& digits)
    {
        return digits.size() == 9 && validIsbn10(u'0' + digits);
    }

} // namespace

QString neutralised(const QString& text)
{
    return looksLikeFormula(text) ? u'\'' + text : text;
}

QString unmarked(const QString& cell)
{
    return cell.startsWith(u'\'') && looksLikeFormula(cell) ? cell.mid(1) : cell;
}

QString isbnCell(const QString& isbn)
{
    if (isbn.isEmpty())
        return isbn;
    for (const QChar c : isbn) {
        if (!(c.isDigit() && c.unicode() < 0x80) && c != u'X' && c != u'x' && c != u'-' && c != u' ')
            return neutralised(isbn);
    }
    return u"=\""_s + isbn + u'"';
}

QString isbnFromCell(const QString& cell)
{
    QString text = cell.trimmed();
    if (text.startsWith(u"=\""_s) && text.endsWith(u'"') && text.size() >= 3)
        text = text.mid(2, text.size() - 3);
    else
        text = unmarked(cell);
    return lostLeadingZero(digitsOf(text)) ? u'0' + text.trimmed() : text;
}

std::optional<QString> isbn13(const QString& isbn)
{
    QString digits = digitsOf(isbn);
    if (lostLeadingZero(digits))
        digits.prepend(u'0');
    if (validIsbn10(digits)) {
        const QString twelve = u"978"_s + digits.left(9);
        return twelve + isbn13Check(twelve);
    }
    if (validIsbn13(digits))
        return digits;
    return std::nullopt;
}

QString isbnKey(const QString& isbn)
{
    return isbn13(isbn).value_or(digitsOf(isbn));
}

std::optional<QString> readingStatus(const QString& value)
{
    static const QHash<QString, QString> statuses {
        { QString(), u"还没读"_s },
        { u"还没读"_s, u"还没读"_s },
        { u"没读"_s, u"还没读"_s },
        { u"未读"_s, u"还没读"_s },
        { u"想读"_s, u"还没读"_s },
        { u"待读"_s, u"还没读"_s },
        { u"to-read"_s, u"还没读"_s },
        { u"正在读"_s, u"正在读"_s },
        { u"在读"_s, u"正在读"_s },
        { u"currently-reading"_s, u"正在读"_s },
        { u"已读完"_s, u"已读完"_s },
        { u"已读"_s, u"已读完"_s },
        { u"读完"_s, u"已读完"_s },
        { u"读完了"_s, u"已读完"_s },
        { u"读过"_s, u"已读完"_s },
        { u"read"_s, u"已读完"_s },
    };
    const auto found = statuses.constFind(value.trimmed().toLower());
    if (found == statuses.constEnd())
        return std::nullopt;
    return *found;
}

} // namespace CsvCells
