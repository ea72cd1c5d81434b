#include "data/test_recordset_fixture.h"

#include "catalogue/CatalogueCsv.h"
#include "catalogue/Loans.h"
#include "data/ReadingDates.h"
#include "data/Schema.h"

#include <sqlite3.h>

using namespace Qt::StringLiterals;

class TestLoans : public QObject
{
    Q_OBJECT
private slots:
    void dialogLendAndReturnKeepHistory();
    void editorFieldsOpenAndCloseLoans();
    void twoOpenLoansReturnedOneAtATime();
    void deletedBookKeepsItsLoans();
    void loanTextsHaveLengthLimits();
    void refusals();
    void overdueWithTestClock();
    void historySearchAndBorrowers();
    void olderFileGetsLoansOfLentBooks();
    void readingDatesStamped();
    void readingDatesEditedAndParsed();
    void readingDatesInCsv();
    void loansInCsv();
};

namespace {

QString field(LibraryFixture& f, qint64 book, const QString& column)
{
    return f.count(u"select %1 from baseshu where id = %2"_s.arg(column).arg(book));
}

int openLoans(LibraryFixture& f, qint64 book)
{
    return f.count(u"select count(*) from qh_loans where book = %1 and returned is null"_s.arg(book)).toInt();
}

// Edits a book as the catalogue editor does: through a record set, then post.
void editBook(LibraryFixture& f, qint64 book, const QList<std::pair<QString, QString>>& values)
{
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu where id = %1"_s.arg(book));
    set.open();
    set.edit();
    for (const auto& [column, value] : values)
        set.setText(column, value);
    set.post();
}

} // namespace

void TestLoans::dialogLendAndReturnKeepHistory()
{
    LibraryFixture f;
    const qint64 book = f.addBook(u"红楼梦"_s, u"还没读"_s);
    const QDate lent(2026, 3, 1);
    Loans::lend(f.db(), book, u"  张三 "_s, lent, lent.addDays(14));
    QCOMPARE(field(f, book, u"isjie"_s), u"是"_s);
    QCOMPARE(field(f, book, u"jieshumen"_s), u"张三"_s);
    QCOMPARE(openLoans(f, book), 1); // the triggers opened no second one
    const auto open = Loans::openLoan(f.db(), book);
    QVERIFY(open);
    QCOMPARE(open->title, u"红楼梦"_s);
    QCOMPARE(open->lent, lent);
    QCOMPARE(open->due, lent.addDays(14));

    Loans::giveBack(f.db(), book, QDate(2026, 3, 10));
    QCOMPARE(field(f, book, u"isjie"_s), u"否"_s);
    QCOMPARE(field(f, book, u"jieshumen"_s), QString());
    QCOMPARE(openLoans(f, book), 0);

    Loans::lend(f.db(), book, u"李四"_s, QDate(2026, 4, 1), {});
    const QList<Loan> all = Loans::history(f.db());
    QCOMPARE(all.size(), 2);
    QCOMPARE(all[0].borrower, u"李四"_s); // the open one first
    QVERIFY(all[0].isOpen());
    QCOMPARE(all[1].returned, QDate(2026, 3, 10));
}

void TestLoans::editorFieldsOpenAndCloseLoans()
{
    LibraryFixture f;
    const qint64 book = f.addBook(u"三国演义"_s, u"还没读"_s);
    editBook(f, book, { { u"isjie"_s, u"是"_s }, { u"jieshumen"_s, u"王五"_s } });
    QCOMPARE(openLoans(f, book), 1);
    auto open = Loans::openLoan(f.db(), book);
    QCOMPARE(open->borrower, u"王五"_s);
    QCOMPARE(open->lent, QDate::currentDate());

    // A typo corrected on the same day changes the loan, opens no other.
    editBook(f, book, { { u"jieshumen"_s, u"王武"_s } });
    QCOMPARE(openLoans(f, book), 1);
    QCOMPARE(Loans::openLoan(f.db(), book)->borrower, u"王武"_s);
    // Posting the row again without a change leaves the loan alone.
    editBook(f, book, { { u"isjie"_s, u"是"_s } });
    QCOMPARE(f.count(u"select count(*) from qh_loans"_s), u"1"_s);

    // A borrower's name corrected days later corrects the open loan: its dates and due date stay,
    // no second loan (passing a book on is a return and a new loan).
    f.db().execute(u"update qh_loans set lent = '2026-01-05', due = '2026-02-01'"_s);
    editBook(f, book, { { u"jieshumen"_s, u"赵六"_s } });
    QCOMPARE(openLoans(f, book), 1);
    open = Loans::openLoan(f.db(), book);
    QCOMPARE(open->borrower, u"赵六"_s);
    QCOMPARE(open->lent, QDate(2026, 1, 5));
    QCOMPARE(open->due, QDate(2026, 2, 1));
    QCOMPARE(f.count(u"select count(*) from qh_loans"_s), u"1"_s);
    QCOMPARE(Loans::history(f.db(), u"王"_s).size(), 0); // no loan left under the misspelt names

    // 否 by hand ends it; the dialog may then lend the book again.
    editBook(f, book, { { u"isjie"_s, u"否"_s } });
    QCOMPARE(openLoans(f, book), 0);
    Loans::lend(f.db(), book, u"张三"_s, QDate::currentDate(), {});
    QCOMPARE(openLoans(f, book), 1);

    // A new row posted as lent opens its loan.
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu where 1=0"_s);
    set.open();
    set.append();
    set.setText(u"name"_s, u"水浒传"_s);
    set.setText(u"isjie"_s, u"是"_s);
    set.setText(u"jieshumen"_s, u"钱七"_s);
    set.post();
    const qint64 other = *set.asInteger(u"id"_s);
    QCOMPARE(openLoans(f, other), 1);
}

void TestLoans::twoOpenLoansReturnedOneAtATime()
{
    LibraryFixture f;
    const qint64 book = f.addBook(u"围城"_s, {});
    // A file edited by hand: two open loans of one book.
    f.db().execute(u"insert into qh_loans (book, borrower, lent, due) values (%1, '甲', '2026-01-01', '2026-01-20'), "
                   "(%1, '乙', '2026-02-01', null)"_s.arg(book));
    f.db().execute(u"update baseshu set isjie = '是', jieshumen = '乙' where id = %1"_s.arg(book));
    QCOMPARE(openLoans(f, book), 2);
    const QList<Loan> out = Loans::current(f.db(), QDate(2026, 3, 1));
    QCOMPARE(out.size(), 2);
    QCOMPARE(out[0].borrower, u"甲"_s); // overdue first
    QCOMPARE(out[1].borrower, u"乙"_s);
    QCOMPARE(Loans::overdueCount(f.db(), QDate(2026, 3, 1)), 1);

    // Returning 甲's copy closes that loan only; the book stays lent to 乙.
    Loans::giveBackLoan(f.db(), out[0].id, QDate(2026, 3, 1));
    QCOMPARE(openLoans(f, book), 1);
    QCOMPARE(Loans::openLoan(f.db(), book)->borrower, u"乙"_s);
    QCOMPARE(Loans::openLoan(f.db(), book)->lent, QDate(2026, 2, 1));
    QCOMPARE(field(f, book, u"isjie"_s), u"是"_s);
    QCOMPARE(field(f, book, u"jieshumen"_s), u"乙"_s);
    QCOMPARE(f.count(u"select returned from qh_loans where borrower = '甲'"_s), u"2026-03-01"_s);
    QVERIFY_THROWS_EXCEPTION(ELoanError, Loans::giveBackLoan(f.db(), out[0].id, QDate(2026, 3, 1)));

    Loans::giveBackLoan(f.db(), out[1].id, QDate(2026, 3, 2));
    QCOMPARE(openLoans(f, book), 0);
    QCOMPARE(field(f, book, u"isjie"_s), u"否"_s);
    QCOMPARE(f.count(u"select count(*) from qh_loans"_s), u"2"_s);
}

void TestLoans::deletedBookKeepsItsLoans()
{
    LibraryFixture f;
    const qint64 book = f.addBook(u"红楼梦"_s, {});
    f.addBook(u"三国演义"_s, {});
    Loans::lend(f.db(), book, u"张三"_s, QDate(2026, 1, 1), {});
    Loans::giveBack(f.db(), book, QDate(2026, 1, 9));
    Loans::lend(f.db(), book, u"李四"_s, QDate(2026, 2, 1), QDate(2026, 2, 10));
    f.db().execute(u"delete from baseshu where id = %1"_s.arg(book));

    // The history keeps both loans, under the title the book had, found by it.
    const QList<Loan> all = Loans::history(f.db(), u"红楼"_s);
    QCOMPARE(all.size(), 2);
    for (const Loan& loan : all) {
        QCOMPARE(loan.title, u"红楼梦"_s);
        QVERIFY(loan.bookDeleted);
        QCOMPARE(loan.book, book);
    }
    // A book no longer in the library is not counted as out.
    QCOMPARE(Loans::current(f.db(), QDate(2026, 3, 1)).size(), 0);
    QCOMPARE(Loans::overdueCount(f.db(), QDate(2026, 3, 1)), 0);

    // Brought back under its id (as a recycle bin would), it is out again with its loan as it was.
    f.db().execute(u"insert into baseshu (id, name, isjie, jieshumen) values (%1, '红楼梦', '是', '李四')"_s.arg(book));
    QCOMPARE(openLoans(f, book), 1);
    const QList<Loan> out = Loans::current(f.db(), QDate(2026, 3, 1));
    QCOMPARE(out.size(), 1);
    QCOMPARE(out[0].lent, QDate(2026, 2, 1));
    QCOMPARE(out[0].due, QDate(2026, 2, 10));
    QVERIFY(!out[0].bookDeleted);
}

void TestLoans::loanTextsHaveLengthLimits()
{
    LibraryFixture f;
    const qint64 book = f.addBook(u"甲"_s, {});
    sqlite3* db = f.db().handle();
    // A file of the version before, its loans without limits, one borrower's name of 100,000 characters.
    for (const QString& name : f.count(u"select group_concat(name) from sqlite_master where type = 'trigger' "
                                       "and name like 'qh_baseshu%' or name like 'qh_dzbook%'"_s)
                                   .split(u','))
        f.db().execute(u"drop trigger "_s + name);
    for (const char* sql : { "drop table qh_loans", "drop table qh_book_dates",
             "create table qh_loans (id INTEGER PRIMARY KEY AUTOINCREMENT, book INTEGER NOT NULL, "
             "borrower TEXT COLLATE NOCASE NOT NULL DEFAULT '', lent TEXT, due TEXT, returned TEXT)",
             "create table qh_book_dates (book INTEGER PRIMARY KEY, added TEXT, started TEXT, finished TEXT)",
             "pragma user_version = 7" })
        f.db().execute(QString::fromUtf8(sql));
    f.db().execute(u"insert into qh_loans (book, borrower, lent, due) values (%1, '%2', '2026-01-01', '2026-02-01')"_s
            .arg(book)
            .arg(QString(100000, u'长')));
    f.db().execute(u"insert into qh_book_dates values (%1, '2025-12-31', null, '2026-01-02T10:00')"_s.arg(book));
    Schema::migrate(db);
    QCOMPARE(Schema::version(db), Schema::latestVersion());
    QCOMPARE(f.count(u"select length(borrower) || ' ' || lent || ' ' || due from qh_loans"_s), u"255 2026-01-01 2026-02-01"_s);
    QCOMPARE(f.count(u"select added || ' ' || finished from qh_book_dates"_s), u"2025-12-31 2026-01-02"_s);
    // Longer texts are refused from now on, whoever writes them.
    QVERIFY_THROWS_EXCEPTION(EDatabaseError,
        f.db().execute(u"update qh_loans set borrower = '%1'"_s.arg(QString(256, u'长'))));
    QVERIFY_THROWS_EXCEPTION(
        EDatabaseError, f.db().execute(u"insert into qh_loans (book, lent) values (1, '2026-01-01 and more')"_s));
    QVERIFY_THROWS_EXCEPTION(
        EDatabaseError, f.db().execute(u"update qh_book_dates set started = '2026-01-01 and more'"_s));
    // The triggers of the present version are there: a lent book opens its loan.
    f.db().execute(u"update baseshu set isjie = '是', jieshumen = '乙' where id = %1"_s.arg(book));
    QCOMPARE(f.count(u"select count(*) from qh_loans where borrower = '乙' and returned is null"_s), u"1"_s);
}

void TestLoans::refusals()
{
    LibraryFixture f;
    const qint64 book = f.addBook(u"西游记"_s, u"还没读"_s);
    auto refused = [&](auto&& work) {
        try {
            work();
        } catch (const ELoanError&) {
            return true;
        }
        return false;
    };
    const QDate day(2026, 5, 1);
    Loans::setToday(day);
    QVERIFY(refused([&] { Loans::lend(f.db(), book, u"  "_s, day, {}); }));
    QVERIFY(refused([&] { Loans::lend(f.db(), book, u"张三"_s, day.addDays(1), {}); })); // not yet lent
    QVERIFY(refused([&] { Loans::lend(f.db(), book, u"张三"_s, day, day.addDays(-1)); }));
    QVERIFY(refused([&] { Loans::lend(f.db(), book + 100, u"张三"_s, day, {}); }));
    QVERIFY(refused([&] { Loans::giveBack(f.db(), book, day); }));
    QCOMPARE(f.count(u"select count(*) from qh_loans"_s), u"0"_s);
    Loans::lend(f.db(), book, u"张三"_s, day, {});
    QVERIFY(refused([&] { Loans::lend(f.db(), book, u"李四"_s, day, {}); }));
    QVERIFY(refused([&] { Loans::giveBack(f.db(), book, day.addDays(-3)); }));
    QCOMPARE(Loans::openLoan(f.db(), book)->borrower, u"张三"_s);
    QCOMPARE(field(f, book, u"jieshumen"_s), u"张三"_s);
}

void TestLoans::overdueWithTestClock()
{
    LibraryFixture f;
    const qint64 onTime = f.addBook(u"甲"_s, {});
    const qint64 late = f.addBook(u"乙"_s, {});
    const qint64 later = f.addBook(u"丙"_s, {});
    const qint64 noDue = f.addBook(u"丁"_s, {});
    Loans::setToday(QDate(2026, 6, 15));
    Loans::lend(f.db(), onTime, u"张三"_s, QDate(2026, 6, 1), QDate(2026, 6, 30));
    Loans::lend(f.db(), late, u"李四"_s, QDate(2026, 5, 1), QDate(2026, 6, 10));
    Loans::lend(f.db(), later, u"王五"_s, QDate(2026, 5, 20), QDate(2026, 6, 5));
    Loans::lend(f.db(), noDue, u"赵六"_s, QDate(2026, 1, 1), {});

    const QDate today(2026, 6, 15);
    QCOMPARE(Loans::overdueCount(f.db(), today), 2);
    const QList<Loan> out = Loans::current(f.db(), today);
    QCOMPARE(out.size(), 4);
    QCOMPARE(out[0].book, later); // 10 days overdue
    QCOMPARE(out[1].book, late); // 5 days
    QCOMPARE(out[2].book, noDue); // then by date lent
    QCOMPARE(out[3].book, onTime);
    QCOMPARE(Loans::describe(out[0], today), u"已逾期 10 天（王五）"_s);
    QCOMPARE(Loans::describe(out[3], today), u"借给 张三，14 天"_s);
    // The due day itself is not late; returned loans never are.
    QVERIFY(!out[3].isOverdue(QDate(2026, 6, 30)));
    QVERIFY(out[3].isOverdue(QDate(2026, 7, 1)));
    Loans::giveBack(f.db(), later, today);
    QCOMPARE(Loans::overdueCount(f.db(), today), 1);
}

void TestLoans::historySearchAndBorrowers()
{
    LibraryFixture f;
    const qint64 a = f.addBook(u"It's a Book"_s, {});
    const qint64 b = f.addBook(u"百年孤独"_s, {});
    Loans::lend(f.db(), a, u"张三"_s, QDate(2026, 1, 1), {});
    Loans::giveBack(f.db(), a, QDate(2026, 1, 9));
    Loans::lend(f.db(), a, u"Anna"_s, QDate(2026, 2, 1), {});
    Loans::lend(f.db(), b, u"张三"_s, QDate(2026, 2, 2), {});
    QCOMPARE(Loans::history(f.db(), u"张三"_s).size(), 2);
    QCOMPARE(Loans::history(f.db(), u"anna"_s).size(), 1); // letter case ignored
    QCOMPARE(Loans::history(f.db(), u"it's"_s).size(), 2); // by title, quote and all
    QCOMPARE(Loans::history(f.db(), u"孤独"_s).size(), 1);
    QCOMPARE(Loans::history(f.db(), u"%"_s).size(), 0); // no wildcards
    // Latin letters find names and titles by their pinyin, as the search box does.
    QCOMPARE(Loans::history(f.db(), u"zs"_s).size(), 2); // 张三
    QCOMPARE(Loans::history(f.db(), u"ZhangSan"_s).size(), 2);
    QCOMPARE(Loans::history(f.db(), u"bngd"_s).size(), 1); // 百年孤独
    QCOMPARE(Loans::history(f.db(), u"lisi"_s).size(), 0);
    QCOMPARE(Loans::borrowers(f.db()), (QStringList { u"张三"_s, u"Anna"_s }));
}

void TestLoans::olderFileGetsLoansOfLentBooks()
{
    LibraryFixture f;
    const qint64 lent = f.addBook(u"甲"_s, {});
    f.addBook(u"乙"_s, {});
    sqlite3* db = f.db().handle();
    // Back to a file made before loans were kept: no tables of ours, a book marked lent by hand.
    for (const QString& name : f.count(u"select group_concat(name) from sqlite_master where type = 'trigger'"_s).split(u','))
        f.db().execute(u"drop trigger "_s + name);
    for (const char* sql : { "drop table qh_loans", "drop table qh_book_dates", "drop table qh_ebook_dates",
             "pragma user_version = 1" })
        f.db().execute(QString::fromUtf8(sql));
    f.db().execute(u"update baseshu set isjie = '是', jieshumen = '老王' where id = %1"_s.arg(lent));
    QVERIFY(Schema::version(db) < Schema::latestVersion());
    Schema::migrate(db);
    QCOMPARE(Schema::version(db), Schema::latestVersion());
    const auto open = Loans::openLoan(f.db(), lent);
    QVERIFY(open);
    QCOMPARE(open->borrower, u"老王"_s);
    QVERIFY(open->lent.isNull());
    QCOMPARE(Loans::describe(*open, QDate(2026, 1, 1)), u"借给 老王"_s);
    QCOMPARE(f.count(u"select count(*) from qh_loans"_s), u"1"_s);
    // Books already there keep no made-up date of adding.
    QVERIFY(ReadingDates::read(f.db(), ReadingDates::Kind::Book, lent).added.isNull());
}

void TestLoans::readingDatesStamped()
{
    LibraryFixture f;
    const QDate today = QDate::currentDate();
    const qint64 book = f.addBook(u"活着"_s, u"还没读"_s);
    ReadingDates dates = ReadingDates::read(f.db(), ReadingDates::Kind::Book, book);
    QCOMPARE(dates.added, today);
    QVERIFY(dates.started.isNull() && dates.finished.isNull());

    f.db().execute(u"update qh_book_dates set added = '2020-01-01'"_s);
    editBook(f, book, { { u"isread"_s, u"正在读"_s } });
    dates = ReadingDates::read(f.db(), ReadingDates::Kind::Book, book);
    QCOMPARE(dates.added, QDate(2020, 1, 1)); // kept
    QCOMPARE(dates.started, today);
    f.db().execute(u"update qh_book_dates set started = '2025-12-01'"_s);
    editBook(f, book, { { u"zuozhe"_s, u"余华"_s } }); // no status change, no stamp
    editBook(f, book, { { u"isread"_s, u"已读完"_s } });
    dates = ReadingDates::read(f.db(), ReadingDates::Kind::Book, book);
    QCOMPARE(dates.started, QDate(2025, 12, 1));
    QCOMPARE(dates.finished, today);

    // A row whose dates were lost (or never kept) gets one when its status changes.
    f.db().execute(u"delete from qh_book_dates"_s);
    editBook(f, book, { { u"isread"_s, u"正在读"_s } });
    dates = ReadingDates::read(f.db(), ReadingDates::Kind::Book, book);
    QVERIFY(dates.added.isNull());
    QCOMPARE(dates.started, today);

    // E-books: stamped at import, then by status.
    f.db().execute(u"insert into dzbook (name, filename, isread) values ('a.pdf', 'x1', '还没读')"_s);
    const qint64 ebook = f.count(u"select max(ID) from dzbook"_s).toLongLong();
    QCOMPARE(ReadingDates::read(f.db(), ReadingDates::Kind::Ebook, ebook).added, today);
    f.db().execute(u"update dzbook set isread = '已读完' where ID = %1"_s.arg(ebook));
    QCOMPARE(ReadingDates::read(f.db(), ReadingDates::Kind::Ebook, ebook).finished, today);
    f.db().execute(u"delete from dzbook"_s);
    QCOMPARE(f.count(u"select count(*) from qh_ebook_dates"_s), u"0"_s);
}

void TestLoans::readingDatesEditedAndParsed()
{
    LibraryFixture f;
    const qint64 book = f.addBook(u"围城"_s, u"还没读"_s);
    const ReadingDates set { QDate(2024, 2, 29), {}, QDate(2024, 12, 31) };
    ReadingDates::write(f.db(), ReadingDates::Kind::Book, book, set);
    QCOMPARE(ReadingDates::read(f.db(), ReadingDates::Kind::Book, book), set);

    QDate date(2000, 1, 1);
    QVERIFY(ReadingDates::parse(u"  "_s, date));
    QVERIFY(date.isNull());
    for (const QString& text : { u"2024-03-05"_s, u"2024/3/5"_s, u"2024.03.5"_s, u"2024年3月5日"_s }) {
        QVERIFY2(ReadingDates::parse(text, date), qPrintable(text));
        QCOMPARE(date, QDate(2024, 3, 5));
    }
    for (const QString& text : { u"2023-02-29"_s, u"3/5/2024"_s, u"昨天"_s, u"2024-13-01"_s })
        QVERIFY2(!ReadingDates::parse(text, date), qPrintable(text));
    QCOMPARE(date, QDate(2024, 3, 5)); // untouched by a refusal
}

void TestLoans::readingDatesInCsv()
{
    QTemporaryDir files;
    const QString path = files.filePath(u"books.csv"_s);
    {
        LibraryFixture f;
        const qint64 a = f.addBook(u"甲"_s, u"已读完"_s);
        f.addBook(u"乙"_s, u"还没读"_s);
        ReadingDates::write(f.db(), ReadingDates::Kind::Book, a, { QDate(2020, 1, 2), QDate(2021, 3, 4), QDate(2022, 5, 6) });
        f.db().execute(u"update qh_book_dates set added = null where book <> %1"_s.arg(a));
        QCOMPARE(CatalogueCsv::exportTo(f.db(), path), 2);
        QCOMPARE(CatalogueCsv::columnTitles().mid(16, 3), (QStringList { u"入库日期"_s, u"开始阅读"_s, u"读完日期"_s }));
    }
    {
        // Into another library: the dates come back as they were, an empty one stays empty.
        LibraryFixture f;
        QCOMPARE(CatalogueCsv::apply(f.db(), CatalogueCsv::plan(f.db(), path)), 2);
        QCOMPARE(f.count(u"select group_concat(coalesce(d.added, '-') || '/' || coalesce(d.started, '-') || '/' || "
                         "coalesce(d.finished, '-'), ' ') from baseshu b join qh_book_dates d on d.book = b.id order by b.id"_s),
            u"2020-01-02/2021-03-04/2022-05-06 -/-/-"_s);
    }
    {
        // Goodreads: Date Added and Date Read; a bad date refuses its row with a reason.
        const QString goodreads = files.filePath(u"goodreads.csv"_s);
        QFile file(goodreads);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Title,Exclusive Shelf,Date Read,Date Added\r\n"
                   "A,read,2023/07/08,2019/01/31\r\n"
                   "B,to-read,,2018/12/01\r\n"
                   "C,read,someday,2018/12/01\r\n");
        file.close();
        LibraryFixture f;
        const CsvImportPlan plan = CatalogueCsv::plan(f.db(), goodreads);
        QCOMPARE(plan.rejectedCount, 1);
        QVERIFY(plan.rejected[0].reason.contains(u"读完日期"_s));
        QCOMPARE(CatalogueCsv::apply(f.db(), plan), 2);
        QCOMPARE(f.count(u"select group_concat(coalesce(d.added, '-') || '/' || coalesce(d.started, '-') || '/' || "
                         "coalesce(d.finished, '-'), ' ') from baseshu b join qh_book_dates d on d.book = b.id order by b.id"_s),
            u"2019-01-31/-/2023-07-08 2018-12-01/-/-"_s);
    }
}

void TestLoans::loansInCsv()
{
    QTemporaryDir files;
    const QString path = files.filePath(u"books.csv"_s);
    const QString loansOf = u"select group_concat(x, ' ') from (select b.name || ':' || l.borrower || '/' || "
                            "coalesce(l.lent, '-') || '/' || coalesce(l.due, '-') || '/' || coalesce(l.returned, '-') "
                            "as x from qh_loans l join baseshu b on b.id = l.book order by b.id, l.lent)"_s;
    QString before;
    {
        LibraryFixture f;
        const qint64 a = f.addBook(u"甲"_s, u"已读完"_s);
        const qint64 b = f.addBook(u"乙"_s, u"还没读"_s);
        f.addBook(u"丙"_s, u"还没读"_s);
        Loans::lend(f.db(), a, u"张三, 李四家"_s, QDate(2025, 12, 1), QDate(2025, 12, 20));
        Loans::giveBack(f.db(), a, QDate(2025, 12, 18));
        Loans::lend(f.db(), a, u"王五"_s, QDate(2026, 1, 3), QDate(2026, 2, 1));
        Loans::lend(f.db(), b, u"=HYPERLINK()"_s, QDate(2026, 1, 5), {});
        f.db().execute(u"insert into qh_loans (book, borrower, returned) values (%1, '赵六', '2024-05-05')"_s.arg(b));
        before = f.count(loansOf);
        QCOMPARE(CatalogueCsv::exportTo(f.db(), path), 3);
        QCOMPARE(CatalogueCsv::columnTitles().mid(19), (QStringList { u"借出日期"_s, u"归还期限"_s, u"借阅记录"_s }));
    }
    {
        // Into another library: who has what since when and until when, and every loan that ended.
        LibraryFixture f;
        QCOMPARE(CatalogueCsv::apply(f.db(), CatalogueCsv::plan(f.db(), path)), 3);
        QCOMPARE(f.count(loansOf), before);
        QCOMPARE(Loans::current(f.db(), QDate(2026, 3, 1)).size(), 2);
        QCOMPARE(Loans::overdueCount(f.db(), QDate(2026, 3, 1)), 1);
    }
    {
        // A file of an earlier version (no loan columns) still reads; a wrong loan line refuses its row.
        QFile file(files.filePath(u"older.csv"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("书名,是否借人,借书人,借出日期,借阅记录\r\n"
                   "甲,是,张三,,\r\n"
                   "乙,是,李四,2026-01-02,\"2025-01-01,,2025-02-01,王五\n2025-03-01,,,赵六\"\r\n");
        file.close();
        LibraryFixture f;
        const CsvImportPlan plan = CatalogueCsv::plan(f.db(), file.fileName());
        QCOMPARE(plan.rejectedCount, 1);
        QVERIFY2(plan.rejected[0].reason.contains(u"借阅记录”的第 2 行"_s), qPrintable(plan.rejected[0].reason));
        QCOMPARE(CatalogueCsv::apply(f.db(), plan), 1);
        QCOMPARE(f.count(loansOf), u"甲:张三/-/-/-"_s); // lent, its date not known
    }
}

QTEST_GUILESS_MAIN(TestLoans)
#include "test_loans.moc"
