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
        { u"name"_s, u"  空白  "_s, u"isjie"_s, u"是"_s, u"jieshumen"_s, u"\""_s },
    };
    for (const QStringList& row : rows) {
        set.append();
        for (int i = 0; i + 1 < row.size(); i += 2)
            set.setText(row[i], row[i + 1]);
        set.post();
    }
    f.db().execute(u"update baseshu set leibie = %1 where name = '红楼梦'"_s.arg(odd));
    f.db().execute(u"update baseshu set leibie = 999 where isjie = '是'"_s); // a category since deleted

    const QString first = f.dir.filePath(u"first.csv"_s);
    QCOMPARE(CatalogueCsv::exportTo(f.db(), first), 3);
    const QByteArray bytes = readAll(first);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF书名,作者,出版社,ISBN,语种,类别,包装,存放地点,阅读状态,是否借人,借书人,"
                             "是否出屋,出屋原因,内容简介,目录,读书笔记\r\n"));
    QVERIFY(bytes.contains("\"O'Neil, \"\"诗\"\"\""));
    QVERIFY(bytes.contains("\"第一行\r\n第二行, \"\"引号\"\"\n第三行\""));
    QVERIFY(bytes.endsWith("\r\n"));

    LibraryFixture empty;
    const CsvImportPlan plan = CatalogueCsv::plan(empty.db(), first);
    QCOMPARE(plan.toAdd, 3);
    QCOMPARE(plan.newCategories, QStringList { u"O'Neil, \"诗\""_s });
    QCOMPARE(plan.rejectedCount + plan.duplicates + int(plan.ignoredColumns.size()), 0);
    QCOMPARE(CatalogueCsv::apply(empty.db(), plan), 3);
    const QString second = f.dir.filePath(u"second.csv"_s);
    CatalogueCsv::exportTo(empty.db(), second);
    QCOMPARE(readAll(second), bytes);
    QCOMPARE(empty.count(
                 u"select count(*) from baseshu where publish is null and (jieshumen is null or name = '  空白  ')"_s),
        u"3"_s);
}

void TestCsv::goodreads()
{
    LibraryFixture f;
    const QString path = f.dir.filePath(u"goodreads_library_export.csv"_s);
    writeFile(path,
        "Book Id,Title,Author,Author l-f,Additional Authors,ISBN,ISBN13,My Rating,Average Rating,Publisher,Binding,"
        "Number of Pages,Year Published,Original Publication Year,Date Read,Date Added,Bookshelves,"
        "Bookshelves with positions,Exclusive Shelf,My Review,Spoiler,Private Notes,Read Count,Owned Copies\n"
        "2657,To Kill a Mockingbird,Harper Lee,\"Lee, Harper\",,\"=\"\"0060935464\"\"\",\"=\"\"9780060935467\"\"\","
        "5,4.27,Harper Perennial Modern Classics,Paperback,324,2006,1960,2020/01/05,2019/12/01,,,read,"
        "\"Great, \"\"truly\"\".\",,,1,0\n"
        "11588,The Shining,Stephen King,\"King, Stephen\",,\"=\"\"\"\"\",\"=\"\"9780450040184\"\"\",0,4.26,"
        "New English Library,Paperback,497,1980,1977,,2021/03/02,to-read,to-read (#1),to-read,,,,0,0\n"
        "5107,三体,刘慈欣,\"刘, 慈欣\",,\"=\"\"\"\"\",\"=\"\"\"\"\",0,4.1,重庆出版社,平装,302,2008,2008,,"
        "2022/01/01,currently-reading,currently-reading (#1),currently-reading,,,,0,0\n");
    const CsvImportPlan plan = CatalogueCsv::plan(f.db(), path);
    QCOMPARE(plan.layout, CsvImportPlan::Layout::Goodreads);
    QCOMPARE(plan.toAdd, 3);
    QVERIFY(plan.ignoredColumns.contains(u"My Rating"_s) && !plan.ignoredColumns.contains(u"ISBN13"_s));
    QVERIFY(CatalogueCsv::previewText(plan).contains(u"Goodreads"_s));
    QCOMPARE(CatalogueCsv::apply(f.db(), plan), 3);

    RecordSet set(f.db());
    set.setSql(u"select * from baseshu order by id"_s);
    set.open();
    const QList<QStringList> expected {
        { u"To Kill a Mockingbird"_s, u"Harper Lee"_s, u"Harper Perennial Modern Classics"_s, u"0060935464"_s,
            u"Paperback"_s, u"已读完"_s, u"Great, \"truly\"."_s },
        { u"The Shining"_s, u"Stephen King"_s, u"New English Library"_s, u"9780450040184"_s, u"Paperback"_s,
            u"还没读"_s, QString() },
        { u"三体"_s, u"刘慈欣"_s, u"重庆出版社"_s, QString(), u"平装"_s, u"正在读"_s, QString() },
    };
    for (const QStringList& book : expected) {
        QStringList got;
        for (const char* column : { "name", "zuozhe", "publish", "isbn", "boxbz", "isread", "readbiji" })
            got << set.asText(QString::fromUtf8(column));
        QCOMPARE(got, book);
        QVERIFY(set.isNull(u"leibie"_s));
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
        u"文件：mixed.csv (青禾书目，UTF-8 编码)\n将导入 1 本图书。\n跳过 1 本书库中已有的图书 (书名和 ISBN 相同)。\n"
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
