#include "catalogue/CsvCells.h"

#include "data/Isbn.h"

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
    return Isbn::lostLeadingZero(text) ? u'0' + text.trimmed() : text;
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
