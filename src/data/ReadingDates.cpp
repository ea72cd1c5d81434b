#include "data/ReadingDates.h"

#include "data/Connection.h"
#include "data/Statement.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

QByteArray table(ReadingDates::Kind kind)
{
    return kind == ReadingDates::Kind::Book ? "qh_book_dates" : "qh_ebook_dates";
}

QByteArray key(ReadingDates::Kind kind)
{
    return kind == ReadingDates::Kind::Book ? "book" : "ebook";
}

QVariant iso(const QDate& date)
{
    return date.isValid() ? QVariant(date.toString(Qt::ISODate)) : QVariant();
}

} // namespace

ReadingDates ReadingDates::read(Connection& connection, Kind kind, qint64 id)
{
    const KeptStatement stmt(connection, "select added, started, finished from " + table(kind) + " where " + key(kind) + " = ?1");
    stmt->bind(1, id);
    ReadingDates dates;
    if (stmt->step()) {
        dates.added = QDate::fromString(stmt->text(0), Qt::ISODate);
        dates.started = QDate::fromString(stmt->text(1), Qt::ISODate);
        dates.finished = QDate::fromString(stmt->text(2), Qt::ISODate);
    }
    return dates;
}

void ReadingDates::write(Connection& connection, Kind kind, qint64 id, const ReadingDates& dates)
{
    Statement stmt(connection.handle(),
        "insert or replace into " + table(kind) + " (" + key(kind) + ", added, started, finished) values (?1, ?2, ?3, ?4)");
    stmt.bind(1, id).bind(2, iso(dates.added)).bind(3, iso(dates.started)).bind(4, iso(dates.finished));
    stmt.step();
}

bool ReadingDates::parse(const QString& text, QDate& date)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        date = QDate();
        return true;
    }
    static const QRegularExpression form(u"^(\\d{4})[-/.年](\\d{1,2})[-/.月](\\d{1,2})日?$"_s);
    const auto match = form.match(trimmed);
    if (!match.hasMatch())
        return false;
    const QDate parsed(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    if (!parsed.isValid())
        return false;
    date = parsed;
    return true;
}
