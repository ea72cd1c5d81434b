#include "widgets/GuiFixture.h"

#include "catalogue/CataloguePrint.h"
#include "catalogue/Loans.h"
#include "Exception.h"

#include <QPdfDocument>
#include <QPdfSelection>

using namespace Qt::StringLiterals;

class TestPrint : public QObject
{
    Q_OBJECT
private slots:
    void everyTitleOnceInItsGroup();
    void shownBooksByPlaceWithCovers();
    void stoppedRunLeavesNoFile();
    void loanList();
    void printsNeverReplaceProgramFiles();
};

namespace {

// The text of every page, and the page count, as a reader of the file sees them
// (the reader breaks lines where it guesses them, even inside a word: line ends are dropped).
QStringList pagesOf(const QString& path)
{
    QPdfDocument pdf;
    if (pdf.load(path) != QPdfDocument::Error::None)
        return {};
    QStringList pages;
    for (int page = 0; page < pdf.pageCount(); ++page)
        pages << pdf.getAllText(page).text().remove(u'\r').remove(u'\n');
    return pages;
}

int occurrences(const QString& text, const QString& word)
{
    return int(text.count(word));
}

// 90 books in three categories and none: 甲书1号 ... (titles no one of which holds another).
void fill(LibraryFixture& f)
{
    f.db().execute(u"delete from tblei"_s);
    f.db().execute(u"insert into tblei (id, leib) values (1, '小说'), (2, '历史'), (3, '空的类别')"_s);
    f.db().execute(u"begin"_s);
    for (int i = 1; i <= 90; ++i) {
        const QString category = i % 4 == 0 ? u"NULL"_s : QString::number(i % 4 == 1 ? 1 : 2);
        f.db().execute(u"insert into baseshu (name, zuozhe, isbn, place, isread, leibie) values "
                       "('甲书%1号', '作者%1', '978%1', '%2', '还没读', %3)"_s
                .arg(i)
                .arg(i % 3 == 0 ? u"客厅书柜"_s : QString())
                .arg(category));
    }
    f.db().execute(u"commit"_s);
}

} // namespace

void TestPrint::everyTitleOnceInItsGroup()
{
    GuiFixture f;
    fill(f);
    const QString path = f.dir.filePath(u"书目.pdf"_s);
    PrintOptions options;
    const int pages = CataloguePrint::catalogue(f.db(), path, {}, true, options);
    const QStringList text = pagesOf(path);
    QCOMPARE(text.size(), pages);
    QVERIFY(pages >= 3); // 90 books do not fit on two pages
    const QString all = text.join(u'\n');
    for (int i = 1; i <= 90; ++i)
        QVERIFY2(occurrences(all, u"甲书%1号"_s.arg(i)) == 1, qPrintable(u"甲书%1号"_s.arg(i)));
    QVERIFY(text.last().contains(u"第 %1 页 / 共 %1 页"_s.arg(pages)));
    QVERIFY(text.first().contains(u"青禾书屋"_s));

    // Groups in order (历史, 小说, then 未分类 last), each title under its own.
    const qsizetype history = all.indexOf(u"历史（"_s);
    const qsizetype novels = all.indexOf(u"小说（"_s);
    const qsizetype none = all.indexOf(u"未分类（"_s);
    QVERIFY(history >= 0 && history < novels && novels < none);
    QVERIFY(!all.contains(u"空的类别"_s));
    QVERIFY(all.indexOf(u"甲书1号"_s) > novels && all.indexOf(u"甲书1号"_s) < none); // category 1
    QVERIFY(all.indexOf(u"甲书2号"_s) > history && all.indexOf(u"甲书2号"_s) < novels);
    QVERIFY(all.indexOf(u"甲书4号"_s) > none);
    // Titles in order within a group, numbers as numbers.
    QVERIFY(all.indexOf(u"甲书5号"_s) < all.indexOf(u"甲书13号"_s));
    QVERIFY(all.contains(u"小说（23 本）"_s));
    // A group going on over a page says so at the top of the next.
    QVERIFY(text.mid(1).join(QString()).contains(u"续"_s));
}

void TestPrint::shownBooksByPlaceWithCovers()
{
    GuiFixture f;
    fill(f);
    f.db().execute(u"update baseshu set 格式 = 'jpg', facepic = x'FFD8FFE000' where id = 7"_s); // broken cover
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu where id in (3, 6)"_s);
    set.open();
    set.edit();
    set.setBytes(u"facepic"_s, picture(Qt::red));
    set.setText(u"格式"_s, u"jpg"_s);
    set.next(); // posts
    const QString path = f.dir.filePath(u"部分.pdf"_s);
    PrintOptions options;
    options.grouping = PrintOptions::Grouping::Place;
    options.covers = true;
    const int pages = CataloguePrint::catalogue(f.db(), path, { 3, 6, 7, 8 }, false, options);
    QCOMPARE(pages, 1);
    const QString all = pagesOf(path).join(u'\n');
    for (int i : { 3, 6, 7, 8 })
        QCOMPARE(occurrences(all, u"甲书%1号"_s.arg(i)), 1);
    QVERIFY(!all.contains(u"甲书1号"_s));
    QVERIFY(all.indexOf(u"客厅书柜（2 本）"_s) < all.indexOf(u"未填写存放地点（2 本）"_s));
    QVERIFY(all.contains(u"类别：历史"_s));
}

void TestPrint::stoppedRunLeavesNoFile()
{
    GuiFixture f;
    fill(f);
    const QString path = f.dir.filePath(u"stop.pdf"_s);
    PrintOptions options;
    QCOMPARE(CataloguePrint::catalogue(f.db(), path, {}, true, options, [](qint64, qint64) { return false; }), 0);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(f.dir.path()).entryList({ u"*.pdf*"_s, u".*pdf*"_s }, QDir::Files | QDir::Hidden), QStringList());
}

void TestPrint::loanList()
{
    GuiFixture f;
    const qint64 a = f.addBook(u"红楼梦"_s, {});
    const qint64 b = f.addBook(u"三国演义"_s, {});
    Loans::lend(f.db(), a, u"张三"_s, QDate(2026, 3, 1), QDate(2026, 3, 10));
    Loans::lend(f.db(), b, u"李四"_s, QDate(2026, 3, 5), {});
    const QString path = f.dir.filePath(u"借阅单.pdf"_s);
    PrintOptions options;
    options.date = QDate(2026, 3, 20);
    QCOMPARE(CataloguePrint::loans(path, Loans::current(f.db(), options.date), options), 1);
    const QString all = pagesOf(path).join(u'\n');
    QVERIFY(all.contains(u"红楼梦"_s));
    QVERIFY(all.contains(u"已逾期 10 天"_s));
    QVERIFY(all.indexOf(u"红楼梦"_s) < all.indexOf(u"三国演义"_s)); // overdue first
    QVERIFY(all.contains(u"2026年3月20日"_s));
}

void TestPrint::printsNeverReplaceProgramFiles()
{
    GuiFixture f;
    fill(f);
    const QString home = f.dir.path();
    const QString library = home + u"/data/AccessMng.mdb"_s;
    QFile lock(home + u"/qinghe.lock"_s);
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write("4242\nqinghe\n");
    lock.close();
    QTemporaryDir outside;
    // A link named as the print's suggested name, leading to the library.
    const QString link = outside.filePath(u"青禾书目-20260320.pdf"_s);
    QVERIFY(QFile::link(library, link));
    QFile file(library);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    PrintOptions options;
    for (const QString& target : { library, link, home + u"/qinghe.lock"_s, home + u"/data/x.pdf"_s }) {
        QVERIFY_THROWS_EXCEPTION(EFCreateError, CataloguePrint::catalogue(f.db(), target, {}, true, options));
        QVERIFY_THROWS_EXCEPTION(EFCreateError, CataloguePrint::loans(target, {}, options));
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QCOMPARE(f.count(u"select count(*) from baseshu"_s), u"90"_s);
    QVERIFY(!QFile::exists(home + u"/data/x.pdf"_s));
    QFile lockAfter(home + u"/qinghe.lock"_s);
    QVERIFY(lockAfter.open(QIODevice::ReadOnly));
    QCOMPARE(lockAfter.readAll(), QByteArray("4242\nqinghe\n"));
    // Beside them, under a name of the user's own, a print is written.
    QVERIFY(CataloguePrint::loans(home + u"/借阅单.pdf"_s, {}, options) >= 1);
}

QTEST_MAIN(TestPrint)
#include "test_print.moc"
