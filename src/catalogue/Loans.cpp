#include "catalogue/Loans.h"

#include "data/udata.h"

#include "data/Connection.h"
#include "data/Statement.h"
#include "text/Pinyin.h"

#include <QHash>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QDate dateOf(const Statement& stmt, int column)
{
    return QDate::fromString(stmt.text(column), Qt::ISODate);
}

QVariant iso(const QDate& date)
{
    return date.isValid() ? QVariant(date.toString(Qt::ISODate)) : QVariant();
}

constexpr const char* loanColumns
    = "select l.id, l.book, coalesce(b.name, l.title, ''), l.borrower, l.lent, l.due, l.returned, b.id is null "
      "from qh_loans l left join baseshu b on b.id = l.book ";

Loan readLoan(const Statement& stmt)
{
    Loan loan;
    loan.id = stmt.integer(0);
    loan.book = stmt.integer(1);
    loan.title = stmt.text(2);
    loan.borrower = stmt.text(3);
    loan.lent = dateOf(stmt, 4);
    loan.due = dateOf(stmt, 5);
    loan.returned = dateOf(stmt, 6);
    loan.bookDeleted = stmt.integer(7) != 0;
    return loan;
}

QList<Loan> readLoans(Statement& stmt)
{
    QList<Loan> loans;
    while (stmt.step())
        loans << readLoan(stmt);
    return loans;
}

[[noreturn]] void fail(const QString& message)
{
    throw ELoanError(message.toStdString());
}

} // namespace

int Loan::daysOverdue(const QDate& today) const
{
    if (!isOpen() || !due.isValid())
        return 0;
    return std::max(0, int(due.daysTo(today)));
}

namespace Loans {

QDate today()
{
    const TDataModule2* module = TDataModule2::instance();
    return module ? module->clock.today() : QDate::currentDate();
}

void setToday(const QDate& day)
{
    if (TDataModule2* module = TDataModule2::instance())
        module->clock.fix(day);
}

void lend(Connection& connection, qint64 book, const QString& borrower, const QDate& lent, const QDate& due)
{
    const QString who = borrower.trimmed();
    if (who.isEmpty())
        fail(u"请填写借书人。"_s);
    if (!lent.isValid())
        fail(u"请填写借出日期。"_s);
    if (lent > today())
        fail(u"借出日期 %1 还没到（今天是 %2），请填写今天或以前的日期。"_s.arg(
            lent.toString(Qt::ISODate), today().toString(Qt::ISODate)));
    if (due.isValid() && due < lent)
        fail(u"归还期限不能早于借出日期。"_s);
    sqlite3* db = connection.handle();
    inTransaction(db, [&] {
        Statement exists(db, "select count(*) from baseshu where id = ?1");
        exists.bind(1, book);
        if (!exists.step() || exists.integer(0) == 0)
            fail(u"这本书已不在书库中。"_s);
        if (const auto open = openLoan(connection, book))
            fail(u"这本书已借给%1，请先归还。"_s.arg(open->borrower));
        Statement insert(db, "insert into qh_loans (book, borrower, lent, due) values (?1, ?2, ?3, ?4)");
        insert.bind(1, book).bind(2, who).bind(3, iso(lent)).bind(4, iso(due));
        insert.step();
        Statement mark(db, "update baseshu set isjie = '是', jieshumen = ?2 where id = ?1");
        mark.bind(1, book).bind(2, who);
        mark.step();
    });
}

void giveBack(Connection& connection, qint64 book, const QDate& returned)
{
    const auto open = openLoan(connection, book);
    if (!open)
        fail(u"这本书没有借出。"_s);
    giveBackLoan(connection, open->id, returned);
}

void giveBackLoan(Connection& connection, qint64 loan, const QDate& returned)
{
    sqlite3* db = connection.handle();
    inTransaction(db, [&] {
        Statement read(db, QByteArray(loanColumns) + "where l.id = ?1 and l.returned is null");
        read.bind(1, loan);
        if (!read.step())
            fail(u"这本书没有借出。"_s);
        const Loan open = readLoan(read);
        const QDate day = returned.isValid() ? returned : QDate::currentDate();
        if (open.lent.isValid() && day < open.lent)
            fail(u"归还日期不能早于借出日期。"_s);
        Statement close(db, "update qh_loans set returned = ?2 where id = ?1");
        close.bind(1, loan).bind(2, iso(day));
        close.step();
        // The book's fields name the loan still open (a file edited by hand may hold two), or none.
        Statement mark(db,
            "update baseshu set "
            "isjie = case when exists (select 1 from qh_loans where book = ?1 and returned is null) then '是' else '否' end, "
            "jieshumen = coalesce((select borrower from qh_loans where book = ?1 and returned is null "
            "order by id desc limit 1), '') where id = ?1");
        mark.bind(1, open.book);
        mark.step();
    });
}

std::optional<Loan> openLoan(Connection& connection, qint64 book)
{
    const KeptStatement stmt(connection, QByteArray(loanColumns) + "where l.book = ?1 and l.returned is null order by l.id desc");
    stmt->bind(1, book);
    if (!stmt->step())
        return std::nullopt;
    return readLoan(*stmt);
}

QList<Loan> current(Connection& connection, const QDate& today)
{
    Statement stmt(connection.handle(), QByteArray(loanColumns) + "where l.returned is null and b.id is not null order by l.lent, l.id");
    QList<Loan> loans = readLoans(stmt);
    std::stable_sort(loans.begin(), loans.end(), [&](const Loan& a, const Loan& b) {
        return a.daysOverdue(today) > b.daysOverdue(today);
    });
    return loans;
}

QList<Loan> history(Connection& connection, const QString& filter)
{
    Statement stmt(connection.handle(),
        QByteArray(loanColumns) + "order by coalesce(l.returned, '9999') desc, l.lent desc, l.id desc");
    QList<Loan> loans = readLoans(stmt);
    const QString text = filter.trimmed();
    if (text.isEmpty())
        return loans;
    // As the search box finds books: the text anywhere (letter case aside), or
    // Latin letters as the pinyin of a name or title ("zw" finds 张伟).
    const bool latin = Pinyin::isLatinOnly(text);
    const Pinyin::Query pinyin(text);
    QHash<QString, bool> spelt; // names and titles recur; each is spelt once
    const auto matches = [&](const QString& value) {
        if (value.contains(text, Qt::CaseInsensitive))
            return true;
        if (!latin)
            return false;
        const auto known = spelt.constFind(value);
        if (known != spelt.constEnd())
            return *known;
        return spelt[value] = pinyin.matches(Pinyin::spell(value));
    };
    loans.removeIf([&](const Loan& loan) { return !matches(loan.borrower) && !matches(loan.title); });
    return loans;
}

QStringList borrowers(Connection& connection)
{
    Statement stmt(connection.handle(),
        "select borrower from qh_loans where borrower <> '' group by borrower order by count(*) desc, max(id) desc");
    QStringList names;
    while (stmt.step())
        names << stmt.text(0);
    return names;
}

int overdueCount(Connection& connection, const QDate& today)
{
    Statement stmt(connection.handle(), "select count(*) from qh_loans l join baseshu b on b.id = l.book where l.returned is null and l.due < ?1");
    stmt.bind(1, today.toString(Qt::ISODate));
    return stmt.step() ? int(stmt.integer(0)) : 0;
}

QString describe(const Loan& loan, const QDate& today)
{
    if (const int late = loan.daysOverdue(today); late > 0)
        return u"已逾期 %1 天（%2）"_s.arg(late).arg(loan.borrower);
    const int days = loan.daysOut(today);
    if (days < 0)
        return u"借给 %1"_s.arg(loan.borrower);
    return u"借给 %1，%2 天"_s.arg(loan.borrower).arg(days);
}

} // namespace Loans
