#pragma once

// Loans of paper books: who has a book since when and until when, and every
// earlier loan. Kept in qh_loans; "isjie" and "jieshumen" of the book row are
// kept true to the open loan (and the file's triggers open or close a loan when
// those two are changed by hand).

#include "Exception.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class Connection;

// A loan that cannot be made or ended; the message is for the user.
class ELoanError : public Exception
{
public:
    using Exception::Exception;
};

struct Loan
{
    qint64 id = 0;
    qint64 book = 0;
    QString title;
    QString borrower;
    QDate lent; // null when not known (a book marked lent before loans were kept)
    QDate due; // null: no due date
    QDate returned; // null: still out
    bool bookDeleted = false; // the book was deleted; its title is the one it had then

    bool isOpen() const { return returned.isNull(); }
    // Whole days since it was lent (-1 when the date is not known).
    int daysOut(const QDate& today) const { return lent.isValid() ? int(lent.daysTo(today)) : -1; }
    // Days past the due date (0 when not overdue).
    int daysOverdue(const QDate& today) const;
    bool isOverdue(const QDate& today) const { return daysOverdue(today) > 0; }
};

namespace Loans {

// Today by the data module's clock (TDataModule2::clock), the one a test fixes.
QDate today();
void setToday(const QDate& day); // the clock's fix(): a null date goes back to the system's

// Lends a book: refuses (ELoanError) an empty borrower, a lending date after
// today, a due date before the lending date, a book that is out already or
// that does not exist.
void lend(Connection& connection, qint64 book, const QString& borrower, const QDate& lent, const QDate& due);
// Ends the open loan of a book on the given day; refuses when it is not out.
void giveBack(Connection& connection, qint64 book, const QDate& returned);
// Ends one open loan (a book may have two in a file edited by hand: the other stays open).
void giveBackLoan(Connection& connection, qint64 loan, const QDate& returned);

std::optional<Loan> openLoan(Connection& connection, qint64 book);
// The books out now (not those deleted since): overdue ones first (longest overdue first), then by date lent.
QList<Loan> current(Connection& connection, const QDate& today);
// Every loan, newest first; filter (when not blank) matches borrower or title,
// by their text (letter case aside) or, typed in Latin letters, by their pinyin.
QList<Loan> history(Connection& connection, const QString& filter = {});
// Borrowers seen before, most frequent first.
QStringList borrowers(Connection& connection);
int overdueCount(Connection& connection, const QDate& today);

// What the quick view and the shelf say of a lent book: "借给 X，Y 天" or "已逾期 N 天（X）".
QString describe(const Loan& loan, const QDate& today);

} // namespace Loans
