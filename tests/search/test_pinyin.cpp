#include "data/test_recordset_fixture.h"

#include "search/Pinyin.h"
#include "search/PinyinIndex.h"
#include "data/Sql.h"

using namespace Qt::StringLiterals;

class TestPinyin : public QObject
{
    Q_OBJECT
private slots:
    void spelling_data();
    void spelling();
    void search_data();
    void search();
    void statementTexts();
    void indexFollowsEveryWriter();
};

void TestPinyin::spelling_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("full");
    QTest::addColumn<QString>("initials");
    QTest::newRow("chinese") << u"红楼梦"_s << u"hongloumeng"_s << u"hlm"_s;
    QTest::newRow("latin words count as themselves") << u"Qt编程入门"_s << u"qtbianchengrumen"_s << u"qtbcrm"_s;
    QTest::newRow("blanks and punctuation") << u"C++ Primer（中文版）"_s << u"cprimerzhongwenban"_s << u"cprimerzwb"_s;
    QTest::newRow("digits, full-width, accents") << u"2024年 Ｑｔ Café"_s << u"2024nianqtcafe"_s << u"2024nqtcafe"_s;
    QTest::newRow("word reading kept beside the single characters")
        << u"重庆森林"_s << u"zhongqingsenlin chongqingsenlin"_s << u"zqsl cqsl"_s;
    QTest::newRow("empty") << QString() << QString() << QString();
}

void TestPinyin::spelling()
{
    QFETCH(QString, title);
    QFETCH(QString, full);
    QFETCH(QString, initials);
    const Pinyin::Spelling spelling = Pinyin::spell(title);
    QCOMPARE(spelling.full, full);
    QCOMPARE(spelling.initials, initials);
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
    // Any other text runs the old statement: Chinese, wildcards, blanks, digits.
    QTest::newRow("chinese") << u"红楼"_s << hlm;
    QTest::newRow("underscore is the engine's wildcard") << u"h_m"_s << QStringList();
    QTest::newRow("percent is the engine's wildcard") << u"a%全"_s << QStringList { u"abc 大全"_s };
    QTest::newRow("blank inside") << u"hong lou"_s << QStringList();
}

void TestPinyin::search()
{
    LibraryFixture f;
    for (const QString& name : { u"红楼梦"_s, u"三国演义"_s, u"Qt编程入门"_s, u"红与黑"_s, u"学Qt"_s, u"abc 大全"_s })
        f.addBook(name, u"还没读"_s);
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    QCOMPARE(catalogueSearch(f, text), found);
}

void TestPinyin::statementTexts()
{
    LibraryFixture f;
    // Three letters or more go through the trigram index, shorter texts scan the spellings.
    QCOMPARE(Pinyin::titleCondition(u"name like '%HLM%'"_s, u"baseshu"_s, u"HLM"_s),
        u"(name like '%HLM%' or id in (select rowid from qh_pinyin_baseshu_text "
        "where qh_pinyin_baseshu_text match '\"hlm\"'))"_s);
    QCOMPARE(Pinyin::titleCondition(u"name like '%hl%'"_s, u"dzbook"_s, u"hl"_s),
        u"(name like '%hl%' or ID in (select id from qh_pinyin_dzbook where instr(syllables, 'hl') > 0 "
        "or instr(initials, 'hl') > 0))"_s);
    QCOMPARE(Pinyin::titleCondition(u"x"_s, u"baseshu"_s, u"hlm"_s, Pinyin::Lookup::Scan),
        u"(x or id in (select id from qh_pinyin_baseshu where instr(syllables, 'hlm') > 0 "
        "or instr(initials, 'hlm') > 0))"_s);
    for (const QString& other : { u"红楼"_s, u"h%m"_s, u"h_m"_s, u"hl m"_s, u"3"_s, QString() }) {
        QVERIFY(!Pinyin::isLatinOnly(other));
        QCOMPARE(PinyinIndex::condition(f.db(), u"name like '%x%'"_s, u"dzbook"_s, other), u"name like '%x%'"_s);
    }
    // Other text never touches the file: no index table was made.
    QCOMPARE(f.count(u"select count(*) from sqlite_master where name like 'qh_pinyin%'"_s), u"0"_s);
    // Nor can a library opened read-only keep one: its searches stay plain.
    Connection readOnly(f.db().connectionString().replace(u"Mode=Share Deny None"_s, u"Mode=Read"_s));
    QCOMPARE(PinyinIndex::condition(readOnly, u"name like '%x%'"_s, u"baseshu"_s, u"hlm"_s), u"name like '%x%'"_s);
}

void TestPinyin::indexFollowsEveryWriter()
{
    LibraryFixture f;
    f.addBook(u"红楼梦"_s, u"还没读"_s);
    const qint64 gone = f.addBook(u"西游记"_s, u"还没读"_s);
    QCOMPARE(PinyinIndex::update(f.db(), u"baseshu"_s), 2);
    QCOMPARE(PinyinIndex::update(f.db(), u"baseshu"_s), 0);

    f.db().execute(u"update baseshu set name = '水浒传' where name = '红楼梦'"_s);
    f.db().execute(u"delete from baseshu where id = %1"_s.arg(gone));
    f.db().execute(u"insert into baseshu (name) values (NULL)"_s);
    QCOMPARE(catalogueSearch(f, u"hlm"_s), QStringList());
    QCOMPARE(catalogueSearch(f, u"shc"_s), QStringList { u"水浒传"_s });
    QCOMPARE(f.count(u"select count(*) from qh_pinyin_baseshu"_s), u"2"_s);
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
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, PinyinIndex::update(f.db(), u"userb"_s));
}

QTEST_GUILESS_MAIN(TestPinyin)
#include "test_pinyin.moc"
