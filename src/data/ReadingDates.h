#pragma once

// The reading history of a book or an e-book: the day it was added, the day
// reading started and the day it was finished. The file's triggers stamp them
// when a row is added and when its reading status becomes 正在读 or 已读完; the
// user may correct or clear each of them.

#include <QDate>
#include <QString>

class Connection;

struct ReadingDates
{
    QDate added;
    QDate started;
    QDate finished;

    bool operator==(const ReadingDates&) const = default;

    enum class Kind
    {
        Book, // baseshu, qh_book_dates
        Ebook // dzbook, qh_ebook_dates
    };

    static ReadingDates read(Connection& connection, Kind kind, qint64 id);
    // Writes all three (a null date clears one).
    static void write(Connection& connection, Kind kind, qint64 id, const ReadingDates& dates);

    // A date typed by the user: "" is no date; yyyy-mm-dd, yyyy/m/d and yyyy.m.d are
    // taken. Returns false for anything else.
    static bool parse(const QString& text, QDate& date);
    static QString format(const QDate& date) { return date.isValid() ? date.toString(Qt::ISODate) : QString(); }
};
