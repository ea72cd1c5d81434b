#include "data/test_recordset_fixture.h"

#include "text/Pinyin.h"
#include "text/PinyinIndex.h"
#include "data/Sql.h"

using namespace Qt::StringLiterals;

class TestPinyin : public QObject
{
    Q_OBJECT
private slots:
    void spelling();
    void matching_data();
    void matching();
    void search_data();
    void search();
    void statementTexts();
    void indexFollowsEveryWriter();
    void authorsAndPublishers();
    void oldIndexTablesGo();
};

void TestPinyin::spelling()
{
    // Every reading of a character, from the Unihan table; "ü" also as "v".
    const QString water = Pinyin::spell(u"水浒传"_s).text();
    QVERIFY2(water.startsWith(u"shui "_s), qPrintable(water));
    const QStringList units = water.split(u' ');
    QCOMPARE(units.size(), 3);
    QVERIFY(units[1].split(u'|').contains(u"hu"_s) && units[1].split(u'|').contains(u"xu"_s));
    QVERIFY(units[2].split(u'|').contains(u"chuan"_s) && units[2].split(u'|').contains(u"zhuan"_s));
    const QStringList green = Pinyin::spell(u"绿"_s).text().split(u'|');
    QVERIFY(green.contains(u"lu"_s) && green.contains(u"lv"_s));
    // Latin letters and digits stand for themselves, one unit each; blanks,
    // punctuation and symbols are left out; full-width forms and accents fold.
    QCOMPARE(Pinyin::spell(u"C++ 2Ｑ-é！"_s).text(), u"c 2 q e"_s);
    QVERIFY(Pinyin::spell(u"（）、。"_s).isEmpty());
    QVERIFY(Pinyin::spell(QString()).isEmpty());
    // A title of many characters with many readings stays one short row.
    const QString many(200, u'的');
    QVERIFY(Pinyin::spell(many).text().size() < 200 * 16);
}

void TestPinyin::matching_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("found");
    QTest::newRow("usual reading") << u"水浒传"_s << u"shuihuchuan"_s << true;
    QTest::newRow("other reading") << u"水浒传"_s << u"shuihuzhuan"_s << true;
    QTest::newRow("initials of the other reading") << u"水浒传"_s << u"shz"_s << true;
    QTest::newRow("initials of the usual reading") << u"水浒传"_s << u"shc"_s << true;
    QTest::newRow("cut at both ends") << u"水浒传"_s << u"uihuzh"_s << true;
    QTest::newRow("zhao") << u"朝花夕拾"_s << u"zhaohuaxishi"_s << true;
    QTest::newRow("chao") << u"朝花夕拾"_s << u"chaohua"_s << true;
    QTest::newRow("zhxs") << u"朝花夕拾"_s << u"zhxs"_s << true;
    QTest::newRow("word reading") << u"重庆森林"_s << u"chongqing"_s << true;
    QTest::newRow("v for u with umlaut") << u"绿野仙踪"_s << u"lvye"_s << true;
    QTest::newRow("case ignored") << u"红楼梦"_s << u"HongLou"_s << true;
    QTest::newRow("latin word whole in initials") << u"Qt编程入门"_s << u"qtbc"_s << true;
    QTest::newRow("across punctuation") << u"C++ Primer（中文版）"_s << u"primerzwb"_s << true;
    QTest::newRow("not mixed within a unit") << u"红楼梦"_s << u"hongloum"_s << true;
    QTest::newRow("readings do not mix with initials") << u"红楼梦"_s << u"hlmeng"_s << false;
    QTest::newRow("not in order") << u"红楼梦"_s << u"mlh"_s << false;
    QTest::newRow("one reading per character") << u"传"_s << u"chuanzhuan"_s << false;
    QTest::newRow("not across a missing character") << u"红楼梦"_s << u"hm"_s << false;
    QTest::newRow("longer than the title") << u"红"_s << u"hongx"_s << false;
    QTest::newRow("not latin") << u"红楼梦"_s << u"h1m"_s << false;
}

void TestPinyin::matching()
{
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(bool, found);
    QCOMPARE(Pinyin::Query(text).matches(Pinyin::spell(title)), found);
}

// The catalogue search as the editor builds it, with the pinyin rule.
static QStringList catalogueSearch(LibraryFixture& f, const QString& typed)
{
    const QString text = typed.trimmed();
    const QString like = u"name like "_s + Sql::quoted(u"%"_s + text + u"%"_s);
    RecordSet set(f.db());
    set.setSql(u" select * from baseshu where 1=1  and "_s + PinyinIndex::condition(f.db(), like, u"baseshu"_s, text));
    set.open();
    QStringList names;
    for (set.first(); !set.eof(); set.next())
        names << set.asText(u"name"_s);
    return names;
}

void TestPinyin::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("found");
    const QStringList hlm { u"红楼梦"_s };
    QTest::newRow("initials") << u"hlm"_s << hlm;
    QTest::newRow("full syllables") << u"hongloumeng"_s << hlm;
    QTest::newRow("leading syllables") << u"honglou"_s << hlm;
    QTest::newRow("inner syllables") << u"loumeng"_s << hlm;
    QTest::newRow("case ignored") << u"HongLou"_s << hlm;
    QTest::newRow("two titles") << u"hong"_s << QStringList { u"红楼梦"_s, u"红与黑"_s };
    QTest::newRow("mixed title, initials") << u"qtbc"_s << QStringList { u"Qt编程入门"_s };
    QTest::newRow("mixed title, latin word") << u"QT"_s << QStringList { u"Qt编程入门"_s, u"学Qt"_s };
    QTest::newRow("plain match still found") << u"abc"_s << QStringList { u"abc 大全"_s };
    QTest::newRow("nothing") << u"zzz"_s << QStringList();
    QTest::newRow("second reading") << u"shz"_s << QStringList { u"水浒传"_s };
    // Any other text runs the old statement: Chinese, wildcards, blanks, digits.
    QTest::newRow("chinese") << u"红楼"_s << hlm;
    QTest::newRow("underscore is the engine's wildcard") << u"h_m"_s << QStringList();
    QTest::newRow("percent is the engine's wildcard") << u"a%全"_s << QStringList { u"abc 大全"_s };
    QTest::newRow("blank inside") << u"hong lou"_s << QStringList();
}

void TestPinyin::search()
{
    LibraryFixture f;
    for (const QString& name :
        { u"红楼梦"_s, u"三国演义"_s, u"Qt编程入门"_s, u"红与黑"_s, u"学Qt"_s, u"abc 大全"_s, u"水浒传"_s })
        f.addBook(name, u"还没读"_s);
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    QCOMPARE(catalogueSearch(f, text), found);
}

void TestPinyin::statementTexts()
{
    LibraryFixture f;
    const qint64 red = f.addBook(u"红楼梦"_s, u"还没读"_s);
    f.addBook(u"西游记"_s, u"还没读"_s);
    QCOMPARE(PinyinIndex::condition(f.db(), u"name like '%HLM%'"_s, u"baseshu"_s, u"HLM"_s),
        u"(id in (select id from baseshu where name like '%HLM%') or id in (%1))"_s.arg(red));
    QCOMPARE(PinyinIndex::condition(f.db(), u"x"_s, u"dzbook"_s, u"hl"_s), u"(ID in (select ID from dzbook where x))"_s);
    for (const QString& other : { u"红楼"_s, u"h%m"_s, u"h_m"_s, u"hl m"_s, u"3"_s, QString() }) {
        QVERIFY(!Pinyin::isLatinOnly(other));
        QCOMPARE(PinyinIndex::condition(f.db(), u"name like '%x%'"_s, u"dzbook"_s, other), u"name like '%x%'"_s);
    }
    // A library opened read-only is searched in pinyin too: nothing is written.
    Connection readOnly(f.db().connectionString().replace(u"Mode=Share Deny None"_s, u"Mode=Read"_s));
    QCOMPARE(PinyinIndex::matches(readOnly, u"baseshu"_s, u"name"_s, u"xyj"_s).size(), 1);
    QCOMPARE(f.count(u"select count(*) from sqlite_master where name like 'qh_pinyin%'"_s), u"0"_s);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, PinyinIndex::update(f.db(), u"userb"_s));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, PinyinIndex::matches(f.db(), u"baseshu"_s, u"isbn"_s, u"x"_s));
}

void TestPinyin::indexFollowsEveryWriter()
{
    LibraryFixture f;
    f.addBook(u"红楼梦"_s, u"还没读"_s);
    const qint64 gone = f.addBook(u"西游记"_s, u"还没读"_s);
    // Title, author and publisher of each book; nothing again while nothing changed.
    QCOMPARE(PinyinIndex::update(f.db(), u"baseshu"_s), 6);
    QCOMPARE(PinyinIndex::update(f.db(), u"baseshu"_s), 0);

    f.db().execute(u"update baseshu set name = '水浒传' where name = '红楼梦'"_s);
    f.db().execute(u"delete from baseshu where id = %1"_s.arg(gone));
    f.db().execute(u"insert into baseshu (name) values (NULL)"_s);
    QCOMPARE(catalogueSearch(f, u"hlm"_s), QStringList());
    QCOMPARE(catalogueSearch(f, u"shc"_s), QStringList { u"水浒传"_s });
    QCOMPARE(PinyinIndex::update(f.db(), u"baseshu"_s), 0);

    // Another program writes to the file.
    {
        Connection other(f.db().connectionString());
        other.execute(u"update baseshu set name = '红楼梦' where name = '水浒传'"_s);
    }
    QCOMPARE(catalogueSearch(f, u"hlm"_s), QStringList { u"红楼梦"_s });
    QCOMPARE(catalogueSearch(f, u"shc"_s), QStringList());

    // The e-book list: its own table, its key written ID.
    f.db().execute(u"insert into dzbook (name, isread) values ('红楼梦.pdf', '正在读'), ('西游记.pdf', '正在读')"_s);
    const QString statement = u" select *  from dzbook where "_s
        + PinyinIndex::condition(f.db(), u"name like '%xyj%'"_s, u"dzbook"_s, u"xyj"_s) + u" and isread='正在读'"_s;
    QCOMPARE(f.count(u"select count(*) from (%1)"_s.arg(statement)), u"1"_s);

    // Inside a transaction that is rolled back, the index follows the rollback.
    f.db().execute(u"begin"_s);
    f.db().execute(u"update baseshu set name = '西游记' where name = '红楼梦'"_s);
    QCOMPARE(catalogueSearch(f, u"xyj"_s), QStringList { u"西游记"_s });
    f.db().execute(u"rollback"_s);
    QCOMPARE(catalogueSearch(f, u"xyj"_s), QStringList());
}

void TestPinyin::authorsAndPublishers()
{
    LibraryFixture f;
    const qint64 id = f.addBook(u"红楼梦"_s, u"还没读"_s);
    f.db().execute(u"update baseshu set zuozhe = '曹雪芹', publish = '人民文学出版社' where id = %1"_s.arg(id));
    f.db().execute(u"insert into dzbook (name, zuozhe) values ('西游记.pdf', '吴承恩')"_s);
    QCOMPARE(PinyinIndex::matches(f.db(), u"baseshu"_s, u"zuozhe"_s, u"cxq"_s), QList<qint64> { id });
    QCOMPARE(PinyinIndex::matches(f.db(), u"baseshu"_s, u"publish"_s, u"renmin"_s), QList<qint64> { id });
    QCOMPARE(PinyinIndex::matches(f.db(), u"baseshu"_s, u"name"_s, u"cxq"_s), QList<qint64>());
    QCOMPARE(PinyinIndex::matches(f.db(), u"DZBOOK"_s, u"ZuoZhe"_s, u"wce"_s).size(), 1);
    QCOMPARE(PinyinIndex::matches(f.db(), u"baseshu"_s, u"zuozhe"_s, u"曹"_s), QList<qint64>());
}

void TestPinyin::oldIndexTablesGo()
{
    LibraryFixture f;
    // A file whose index held one spelling per title, in tables of its own.
    f.db().execute(u"create table qh_pinyin_baseshu (id INTEGER PRIMARY KEY, title TEXT, syllables TEXT, initials TEXT)"_s);
    f.db().execute(u"create virtual table qh_pinyin_baseshu_text using fts5(syllables, initials, tokenize = 'trigram')"_s);
    f.db().execute(u"create table qh_pinyin_dzbook (id INTEGER PRIMARY KEY, title TEXT, syllables TEXT, initials TEXT)"_s);
    f.db().execute(u"pragma user_version = 1"_s);
    f.db().close();
    QCOMPARE(f.count(u"select count(*) from sqlite_master where name like 'qh_pinyin%'"_s), u"0"_s);
}

QTEST_GUILESS_MAIN(TestPinyin)
#include "test_pinyin.moc"
