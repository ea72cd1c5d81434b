#include "data/test_recordset_fixture.h"

#include "data/Statement.h"
#include "search/FieldSearch.h"
#include "data/Isbn.h"
#include "text/PinyinIndex.h"
#include "search/Snippet.h"
#include "text/TextForms.h"

using namespace Qt::StringLiterals;

// A small library with every searched field filled somewhere.
struct SearchFixture : LibraryFixture
{
    SearchFixture()
    {
        const qint64 novels = category(u"小说"_s);
        const qint64 computing = category(u"计算机"_s);
        db().execute(u"insert into baseshu (name, zuozhe, publish, isbn, leibie, place, jieshumen, contentjj, "
                     "\"目录\", readbiji) values "
                     "('活着', '余华', '作家出版社', '978-7-5063-6543-7', %1, '客厅书架第二层', '', "
                     "'讲述了农民福贵的一生', '第一章 徐家少爷', '写得真好'), "
                     "('红楼梦', '曹雪芹', '人民文学出版社', '7-02-000220-X', %1, '书房', '张三', "
                     "'贾宝玉与林黛玉', '第一回', NULL), "
                     "('三体', '刘慈欣', '重庆出版社', '9787536692930', %1, '卧室', '李四', "
                     "'文化大革命中的一次秘密计划', NULL, '三体 box 借给了李四'), "
                     "('Qt编程入门', 'Jasmin Blanchette', '电子工业出版社', '978-7-121-01521-1', %2, '书房', '', "
                     "'讲 QT 与 C++ 的图形界面编程', '', ''), "
                     "('紅樓夢魘', '張愛玲', '皇冠', '', NULL, '', '', '', '', '')"_s.arg(novels)
                         .arg(computing));
        db().execute(u"insert into dzbook (name, zuozhe, contentjj, readbiji, filename) values "
                     "('软件包打包.pdf', 'Debian', '关于打包的手册', '', '1'), "
                     "('linux.pdf', '', '', '余华推荐', '2')"_s);
    }

    FindResults find(const QString& text)
    {
        sqlite3* handle = FieldSearch::openReadOnly(db().databasePath());
        const auto close = qScopeGuard([handle] { FieldSearch::closeHandle(handle); });
        FindQuery query = FindQuery::from(text);
        FieldSearch::addPinyin(db(), query);
        return FieldSearch::run(handle, query);
    }

    // The count plain SQL gives: a like over the same columns, the text bound.
    int plainCount(const QString& text)
    {
        Statement count(db().handle(),
            "select count(*) from baseshu b left join tblei t on t.id = b.leibie where b.name like ?1 or "
            "b.zuozhe like ?1 or b.publish like ?1 or t.leib like ?1 or b.place like ?1 or b.jieshumen like ?1 or "
            "b.contentjj like ?1 or b.\"目录\" like ?1 or b.readbiji like ?1 or b.isbn like ?1");
        count.bind(1, u"%"_s + text + u"%"_s);
        count.step();
        return int(count.integer(0));
    }
};

static QStringList titles(const QList<FindHit>& hits)
{
    QStringList names;
    for (const FindHit& hit : hits)
        names << hit.title;
    return names;
}

class TestFieldSearch : public QObject
{
    Q_OBJECT
private slots:
    void countsAsPlainSql_data();
    void countsAsPlainSql();
    void matchingRules_data();
    void matchingRules();
    void fieldAndSnippet();
    void ebooks();
    void typedTextNeverBecomesSql();
    void controlCharactersAreNoSeparators();
    void isbnForms();
    void snippetMarksMatch();
};

void TestFieldSearch::countsAsPlainSql_data()
{
    QTest::addColumn<QString>("text");
    for (const char* text :
        { "余华", "出版社", "书房", "李四", "第一", "福贵", "小说", "计算机", "真好", "-02-", "nothing" })
        QTest::newRow(text) << QString::fromUtf8(text);
}

void TestFieldSearch::countsAsPlainSql()
{
    // Texts where neither case, pinyin, character forms nor ISBN forms differ:
    // the search finds what a plain like finds, each book once.
    SearchFixture f;
    QFETCH(QString, text);
    QCOMPARE(f.find(text).paper.size(), f.plainCount(text));
}

void TestFieldSearch::matchingRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("paper");
    QTest::newRow("case ignored") << u"qt"_s << QStringList { u"Qt编程入门"_s };
    QTest::newRow("author, case ignored") << u"BLANCHETTE"_s << QStringList { u"Qt编程入门"_s };
    QTest::newRow("traditional finds simplified") << u"紅樓夢"_s << QStringList { u"红楼梦"_s, u"紅樓夢魘"_s };
    QTest::newRow("simplified finds traditional") << u"红楼梦"_s << QStringList { u"红楼梦"_s, u"紅樓夢魘"_s };
    QTest::newRow("traditional author") << u"張愛玲"_s << QStringList { u"紅樓夢魘"_s };
    QTest::newRow("simplified author") << u"张爱玲"_s << QStringList { u"紅樓夢魘"_s };
    QTest::newRow("pinyin initials of a title") << u"hlm"_s << QStringList { u"红楼梦"_s, u"紅樓夢魘"_s };
    QTest::newRow("pinyin syllables") << u"santi"_s << QStringList { u"三体"_s };
    QTest::newRow("title matches come first") << u"三体"_s << QStringList { u"三体"_s };
    QTest::newRow("borrower") << u"张三"_s << QStringList { u"红楼梦"_s };
    QTest::newRow("blanks around") << u"  卧室 "_s << QStringList { u"三体"_s };
}

void TestFieldSearch::matchingRules()
{
    SearchFixture f;
    QFETCH(QString, text);
    QFETCH(QStringList, paper);
    QCOMPARE(titles(f.find(text).paper), paper);
}

void TestFieldSearch::fieldAndSnippet()
{
    SearchFixture f;
    const QList<FindHit> hits = f.find(u"福贵"_s).paper;
    QCOMPARE(hits.size(), 1);
    QCOMPARE(hits[0].field, u"内容简介"_s);
    QCOMPARE(hits[0].snippet.mid(hits[0].markStart, hits[0].markLength), u"福贵"_s);

    const QList<FindHit> category = f.find(u"计算机"_s).paper;
    QCOMPARE(category.size(), 1);
    QCOMPARE(category[0].field, u"类别"_s);
    // Later fields only when the earlier ones do not hold the text.
    const QList<FindHit> borrower = f.find(u"李四"_s).paper;
    QCOMPARE(borrower.size(), 1);
    QCOMPARE(borrower[0].field, u"借书人"_s);
}

void TestFieldSearch::ebooks()
{
    SearchFixture f;
    const FindResults byNotes = f.find(u"余华"_s);
    QCOMPARE(titles(byNotes.paper), QStringList { u"活着"_s });
    QCOMPARE(titles(byNotes.ebook), QStringList { u"linux.pdf"_s });
    QCOMPARE(byNotes.ebook[0].field, u"读书笔记"_s);
    QCOMPARE(byNotes.ebook[0].storedName, u"2"_s);
    QCOMPARE(titles(f.find(u"打包"_s).ebook), QStringList { u"软件包打包.pdf"_s });
    QCOMPARE(titles(f.find(u"debian"_s).ebook), QStringList { u"软件包打包.pdf"_s });
}

void TestFieldSearch::typedTextNeverBecomesSql()
{
    SearchFixture f;
    // Quotes, the engine's wildcards and statement text are looked for as they are.
    for (const QString& text : { u"' or 1=1 --"_s, u"%"_s, u"_"_s, u"'; drop table baseshu; --"_s, u"\"目录\""_s })
        QVERIFY2(f.find(text).isEmpty(), qPrintable(text));
    QCOMPARE(f.count(u"select count(*) from baseshu"_s), u"5"_s);
    f.db().execute(u"update baseshu set readbiji = '打 100% 的分' where name = '活着'"_s);
    QCOMPARE(titles(f.find(u"100%"_s).paper), QStringList { u"活着"_s });
}

void TestFieldSearch::controlCharactersAreNoSeparators()
{
    SearchFixture f;
    // NUL and the unit separator neither cut the text nor split it into
    // pieces each found on its own; alone they are no search at all.
    for (const QString& text : { QString(QChar(0)), u"\x1f"_s, QString(QChar(0)) + u"\x1f "_s })
        QVERIFY2(f.find(text).isEmpty() && FindQuery::from(text).isEmpty(), text.toUtf8().toHex().constData());
    QCOMPARE(titles(f.find(u"活\x1f着"_s).paper), QStringList { u"活着"_s });
    QCOMPARE(titles(f.find(u"三\x1f活"_s).paper), QStringList()); // "三活", not "三" or "活"
    QCOMPARE(titles(f.find(u"书房"_s + QChar(0) + u"张三"_s).paper), QStringList());
    QCOMPARE(titles(f.find(u"余\x1f华"_s).ebook), QStringList { u"linux.pdf"_s });
    QCOMPARE(FindQuery::from(u"红楼\t梦\r\n"_s).text, u"红楼 梦"_s);
}

void TestFieldSearch::isbnForms()
{
    QCOMPARE(Isbn::toIsbn13(u"702000220X"_s), u"9787020002207"_s);
    QCOMPARE(Isbn::toIsbn10(u"9787020002207"_s), u"702000220X"_s);
    QCOMPARE(Isbn::toIsbn10(u"9787536692930"_s), u"7536692935"_s);
    QVERIFY(!Isbn::looksLike(u"三体 1998"_s));
    QVERIFY(!Isbn::looksLike(u"123"_s));

    SearchFixture f;
    // Hyphens or none, 10 or 13 digits, either way round.
    QCOMPARE(titles(f.find(u"9787020002207"_s).paper), QStringList { u"红楼梦"_s });
    QCOMPARE(titles(f.find(u"978-7-02-000220-7"_s).paper), QStringList { u"红楼梦"_s });
    QCOMPARE(titles(f.find(u"702000220x"_s).paper), QStringList { u"红楼梦"_s });
    QCOMPARE(titles(f.find(u"7-5366-9293-5"_s).paper), QStringList { u"三体"_s });
    QCOMPARE(titles(f.find(u"7-02-"_s).paper), QStringList { u"红楼梦"_s });
    const QList<FindHit> hits = f.find(u"9787506365437"_s).paper;
    QCOMPARE(hits.size(), 1);
    QCOMPARE(hits[0].field, u"ISBN"_s);
}

void TestFieldSearch::snippetMarksMatch()
{
    const QString text = u"第一行\n"_s + QString(40, u'字') + u"Qt 编程"_s + QString(40, u'书');
    const Snippet snippet = Snippet::around(text, { u"qt"_s });
    QCOMPARE(snippet.text.mid(snippet.markStart, snippet.markLength), u"Qt"_s);
    QVERIFY(snippet.text.startsWith(u"…"_s));
    QVERIFY(snippet.text.endsWith(u"…"_s));
    QVERIFY(snippet.text.size() < 60);
    QVERIFY(TextForms::available());
    QCOMPARE(TextForms::toSimplified(u"紅樓夢"_s), u"红楼梦"_s);
    QVERIFY(TextForms::mayHoldTraditional(u"第一回 紅樓夢"_s));
    QVERIFY(!TextForms::mayHoldTraditional(u"第一回 红楼梦 Qt"_s));
}

QTEST_GUILESS_MAIN(TestFieldSearch)
#include "test_fieldsearch.moc"
