#pragma once

// What a book source tells about one ISBN, already mapped to the book row's
// columns and cleaned, and how the answers of several sources become one.

#include <QList>
#include <QString>
#include <QUrl>

namespace Lookup {

struct BookFields
{
    QString name; // the title, a subtitle joined with "："
    QString zuozhe; // the authors joined with "，"
    QString publish;
    QString contentjj; // the description
    QString yuzhong; // the language, in Chinese (中文, 英文…)
    QUrl cover; // the largest cover the source offers

    bool isEmpty() const
    {
        return name.isEmpty() && zuozhe.isEmpty() && publish.isEmpty() && contentjj.isEmpty() && yuzhong.isEmpty();
    }
};

// Each text field from the first answer that has it, in the order given; the
// cover from the first of coverOrder (indexes into answers) that has one.
BookFields merge(const QList<const BookFields*>& answers, const QList<const BookFields*>& coverOrder);

// Texts as the services send them made fit for a column: HTML tags and
// entities resolved, control characters and NULs gone, blanks of one line
// folded. A memo keeps its line breaks (a <br> or </p> becomes one).
QString cleanLine(const QString& text);
QString cleanMemo(const QString& text);

// Cut to at most `characters` characters as the database counts them (code
// points), never inside a surrogate pair.
QString cutTo(const QString& text, qsizetype characters);

// The short text columns hold 255 characters; a description is kept to this.
inline constexpr qsizetype ShortColumn = 255;
inline constexpr qsizetype MemoColumn = 20000;

// The language of an ISO 639-1 or MARC (639-2) code in Chinese, "" for one
// not known ("zh-CN", "chi", "eng" included).
QString languageName(const QString& code);

// Fields cleaned and cut to the columns' limits.
BookFields fitted(BookFields fields);

} // namespace Lookup
