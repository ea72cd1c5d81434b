#include "test_recordset_fixture.h"

#include <QRandomGenerator>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

// Three books, ids 1..3, titles A, B, C.
void addBooks(Connection& db)
{
    db.execute(u"insert into baseshu (name, isread, leibie) values ('A', '还没读', 1);"
               u"insert into baseshu (name, isread, leibie) values ('B', '正在读', NULL);"
               u"insert into baseshu (name, isread, leibie) values ('C', '看了一半', 2);"_s);
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

} // namespace

class TestRecordSet : public QObject
{
    Q_OBJECT
private slots:
    void opensWholeResult();
    void movesBothWays();
    void scrollPostsChangedRow();
    void untouchedNewRowIsDropped();
    void cancelRestores();
    void editOnEmptySetStartsNewRow();
    void newSqlDropsChanges();
    void insertLearnsKey();
    void refreshKeepsCurrentRow();
    void locateIgnoresCase_data();
    void locateIgnoresCase();
    void removeDeletesAtOnce();
    void quotesRoundTrip_data();
    void quotesRoundTrip();
    void duplicateCategoryResolvesToFirst();
    void listingsByStatusAndCategory();
    void postWritesOnlyChangedColumns();
    void blobsRoundTrip_data();
    void blobsRoundTrip();
    void blobReadsLetGoOfTheFile();
    void failedPostKeepsState();
    void integersAreNullAware();
    void readOnlyResults();
};

void TestRecordSet::opensWholeResult()
{
    LibraryFixture f;
    addBooks(f.db());
    RecordSet set(f.db());
    QSignalSpy rows(&set, &RecordSet::rowChanged);
    set.setSql(u"select * from baseshu"_s);
    QCOMPARE(set.state(), RecordSet::State::Inactive);
    set.open();
    QCOMPARE(set.state(), RecordSet::State::Browse);
    QCOMPARE(set.recordCount(), 3);
    QCOMPARE(set.recNo(), 0);
    QVERIFY(!set.eof());
    QCOMPARE(rows.count(), 1);
    QCOMPARE(set.asText(u"NAME"_s), u"A"_s);

    RecordSet count(f.db());
    count.setSql(u"select count(*) from baseshu"_s);
    count.open();
    QCOMPARE(count.firstColumnText(), u"3"_s);

    RecordSet none(f.db());
    none.setSql(u"select * from baseshu where id=99"_s);
    none.open();
    QVERIFY(none.isEmpty());
    QVERIFY(none.eof());
    QCOMPARE(none.recNo(), -1);
    QCOMPARE(none.asText(u"name"_s), QString());
    QVERIFY(none.isNull(u"name"_s));
}

void TestRecordSet::movesBothWays()
{
    LibraryFixture f;
    addBooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    QStringList seen;
    for (set.first(); !set.eof(); set.next())
        seen << set.asText(u"name"_s);
    QCOMPARE(seen, (QStringList { u"A"_s, u"B"_s, u"C"_s }));
    QCOMPARE(set.recNo(), 2);
    seen.clear();
    for (set.last(); !set.bof(); set.prior())
        seen << set.asText(u"name"_s);
    QCOMPARE(seen, (QStringList { u"C"_s, u"B"_s, u"A"_s }));
    set.moveTo(1);
    QCOMPARE(set.asText(u"name"_s), u"B"_s);
}

void TestRecordSet::scrollPostsChangedRow()
{
    LibraryFixture f;
    addBooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    set.setText(u"zuozhe"_s, u"鲁迅"_s); // browsing: a change starts editing
    QCOMPARE(set.state(), RecordSet::State::Edit);
    QVERIFY(set.isModified());
    QCOMPARE(f.count(u"select count(*) from baseshu where zuozhe='鲁迅'"_s), u"0"_s);
    set.next();
    QCOMPARE(set.state(), RecordSet::State::Browse);
    QCOMPARE(f.count(u"select name from baseshu where zuozhe='鲁迅'"_s), u"A"_s);
    set.prior();
    QCOMPARE(set.asText(u"zuozhe"_s), u"鲁迅"_s);
}

void TestRecordSet::untouchedNewRowIsDropped()
{
    LibraryFixture f;
    addBooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    set.moveTo(1);
    QSignalSpy inserted(&set, &RecordSet::rowInserted);
    QSignalSpy removed(&set, &RecordSet::rowRemoved);
    set.append();
    QCOMPARE(set.state(), RecordSet::State::Insert);
    QCOMPARE(set.recordCount(), 4);
    QCOMPARE(set.recNo(), 3);
    set.first();
    QCOMPARE(set.recordCount(), 3);
    QCOMPARE(set.recNo(), 0);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(f.count(u"select count(*) from baseshu"_s), u"3"_s);

    // A touched one is posted instead.
    set.append();
    set.setText(u"name"_s, u"D"_s);
    set.first();
    QCOMPARE(f.count(u"select count(*) from baseshu"_s), u"4"_s);
    QCOMPARE(set.recordCount(), 4);
}

void TestRecordSet::cancelRestores()
{
    LibraryFixture f;
    addBooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    set.moveTo(1);
    set.edit();
    set.setText(u"name"_s, u"changed"_s);
    QCOMPARE(set.asText(u"name"_s), u"changed"_s);
    set.cancel();
    QCOMPARE(set.state(), RecordSet::State::Browse);
    QCOMPARE(set.asText(u"name"_s), u"B"_s);

    set.append();
    set.setText(u"name"_s, u"new"_s);
    set.cancel();
    QCOMPARE(set.recordCount(), 3);
    QCOMPARE(set.recNo(), 1); // back where it was
    QCOMPARE(f.count(u"select count(*) from baseshu where name in ('changed', 'new')"_s), u"0"_s);
}

void TestRecordSet::editOnEmptySetStartsNewRow()
{
    LibraryFixture f;
    RecordSet set(f.db());
    set.setSql(u" select *  from baseshu where id=42"_s);
    set.open();
    set.edit();
    QCOMPARE(set.state(), RecordSet::State::Insert);
    set.post();
    QCOMPARE(f.count(u"select count(*) from baseshu"_s), u"1"_s);
}

void TestRecordSet::newSqlDropsChanges()
{
    LibraryFixture f;
    addBooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    set.setText(u"name"_s, u"lost"_s);
    set.setSql(u" select * from baseshu where 1=1 "_s);
    QVERIFY(!set.isOpen());
    set.open();
    QCOMPARE(set.asText(u"name"_s), u"A"_s);
    QCOMPARE(f.count(u"select count(*) from baseshu where name='lost'"_s), u"0"_s);
}

void TestRecordSet::insertLearnsKey()
{
    LibraryFixture f;
    addBooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select *  from dzbook"_s);
    set.open();
    set.append();
    set.setText(u"name"_s, u"a.pdf"_s);
    set.setText(u"filename"_s, u"20240101"_s);
    set.post();
    const auto id = set.asInteger(u"id"_s);
    QVERIFY(id.has_value());
    QCOMPARE(f.count(u"select name from dzbook where ID=%1"_s.arg(*id)), u"a.pdf"_s);
}

void TestRecordSet::refreshKeepsCurrentRow()
{
    LibraryFixture f;
    addBooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    set.moveTo(2);
    f.db().execute(u"delete from baseshu where id=1; update baseshu set name='C2' where id=3"_s);
    set.refresh();
    QCOMPARE(set.recordCount(), 2);
    QCOMPARE(set.recNo(), 1);
    QCOMPARE(set.asText(u"name"_s), u"C2"_s);
}

void TestRecordSet::locateIgnoresCase_data()
{
    QTest::addColumn<QString>("sought");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("row");
    QTest::newRow("exact") << u"Book.pdf"_s << true << 1;
    QTest::newRow("other case") << u"BOOK.PDF"_s << true << 1;
    QTest::newRow("accented") << u"ÉTUDE.PDF"_s << true << 2;
    QTest::newRow("absent") << u"book"_s << false << 0;
}

void TestRecordSet::locateIgnoresCase()
{
    QFETCH(QString, sought);
    QFETCH(bool, found);
    QFETCH(int, row);
    LibraryFixture f;
    f.db().execute(u"insert into dzbook (name) values ('x.pdf'), ('Book.pdf'), ('étude.pdf')"_s);
    RecordSet set(f.db());
    set.setSql(u"select *  from dzbook"_s);
    set.open();
    QCOMPARE(set.locate(u"name"_s, sought), found);
    QCOMPARE(set.recNo(), row);
}

void TestRecordSet::removeDeletesAtOnce()
{
    LibraryFixture f;
    addBooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    set.last();
    set.remove();
    QCOMPARE(set.recordCount(), 2);
    QCOMPARE(set.recNo(), 1);
    QCOMPARE(f.count(u"select count(*) from baseshu where name='C'"_s), u"0"_s);

    RecordSet empty(f.db());
    empty.setSql(u"select * from baseshu where id=99"_s);
    empty.open();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, empty.remove());
}

void TestRecordSet::quotesRoundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("apostrophe") << u"Finnegan's Wake"_s;
    QTest::newRow("two quotes") << u"''"_s;
    QTest::newRow("injection") << u"x'); drop table baseshu; --"_s;
    QTest::newRow("double quote") << u"\"引号\""_s;
}

void TestRecordSet::quotesRoundTrip()
{
    QFETCH(QString, value);
    LibraryFixture f;
    RecordSet set(f.db());
    set.setSql(u"select * from tblei"_s);
    set.open();
    set.append();
    set.setText(u"leib"_s, value);
    set.post();
    QString literal = value;
    literal.replace(u'\'', u"''"_s);
    RecordSet found(f.db());
    found.setSql(u"select * from tblei where leib='"_s + literal + u'\'');
    found.open();
    QCOMPARE(found.recordCount(), 1);
    QCOMPARE(found.asText(u"leib"_s), value);
    QCOMPARE(found.asInteger(u"Id"_s), set.asInteger(u"id"_s));
}

void TestRecordSet::duplicateCategoryResolvesToFirst()
{
    LibraryFixture f;
    f.db().execute(u"insert into tblei (leib) values ('重复'), ('重复')"_s);
    RecordSet set(f.db());
    set.setSql(u"select * from tblei where leib='重复'"_s);
    set.open();
    QCOMPARE(set.recordCount(), 2);
    const auto first = set.asInteger(u"id"_s);
    set.next();
    QVERIFY(*first < *set.asInteger(u"id"_s)); // the first row is the first one stored
}

void TestRecordSet::listingsByStatusAndCategory()
{
    LibraryFixture f;
    addBooks(f.db());
    QCOMPARE(f.count(u"select count(*) from baseshu where leibie=1"_s), u"1"_s);
    QCOMPARE(f.count(u"select count(*) from baseshu where isread='正在读'"_s), u"1"_s); // empty leibie still listed
    QCOMPARE(f.count(u"select count(*) from baseshu where isread in ('还没读','正在读','已读完')"_s), u"2"_s);
    QCOMPARE(f.count(u"select count(*) from baseshu"_s), u"3"_s); // odd status still counted
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu where id=2"_s);
    set.open();
    QVERIFY(set.isNull(u"leibie"_s));
    QCOMPARE(set.asInteger(u"leibie"_s), std::nullopt);
}

void TestRecordSet::postWritesOnlyChangedColumns()
{
    LibraryFixture f;
    addBooks(f.db());
    f.db().execute(u"create table log (what text);"
                   u"create trigger cover after update of facepic on baseshu "
                   u"begin insert into log values ('cover'); end;"
                   u"create trigger title after update of name on baseshu "
                   u"begin insert into log values ('title'); end;"_s);
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    set.setText(u"name"_s, u"A2"_s);
    set.post();
    QCOMPARE(f.count(u"select group_concat(what) from log"_s), u"title"_s);
    set.setBytes(u"facepic"_s, "jpeg");
    set.post();
    QCOMPARE(f.count(u"select group_concat(what) from log"_s), u"title,cover"_s);
    set.edit();
    set.post(); // nothing changed: nothing written
    QCOMPARE(f.count(u"select count(*) from log"_s), u"2"_s);
}

void TestRecordSet::blobsRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("small") << QByteArray("BM\0\1", 4);
    QTest::newRow("3 MB") << randomBytes(3 * 1024 * 1024, 7);
}

void TestRecordSet::blobsRoundTrip()
{
    QFETCH(QByteArray, bytes);
    LibraryFixture f;
    addBooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    set.moveTo(1);
    set.setBytes(u"pic3"_s, bytes);
    set.setText(u"格式3"_s, u"jpg"_s);
    QCOMPARE(set.asBytes(u"pic3"_s), bytes); // from the buffer
    set.post();
    QCOMPARE(set.asBytes(u"pic3"_s), bytes); // from the file
    QVERIFY(!set.isNull(u"pic3"_s));
    QVERIFY(set.isNull(u"pic2"_s));
    QCOMPARE(set.asBytes(u"pic2"_s), QByteArray());

    RecordSet other(f.db());
    other.setSql(u"Select * from Baseshu where id=2"_s);
    other.open();
    QCOMPARE(other.asBytes(u"pic3"_s), bytes);
    QCOMPARE(other.value(u"pic3"_s).toByteArray(), bytes);
    QCOMPARE(f.count(u"select length(pic3) from baseshu where id=2"_s).toLongLong(), bytes.size());
    f.db().close(); // as compaction does: the set reads its blobs through the reopened connection
    QCOMPARE(other.asBytes(u"pic3"_s), bytes);

    other.setNull(u"pic3"_s);
    other.post();
    QVERIFY(other.isNull(u"pic3"_s));
    QCOMPARE(f.count(u"select pic3 is null from baseshu where id=2"_s), u"1"_s);
}

void TestRecordSet::blobReadsLetGoOfTheFile()
{
    LibraryFixture f;
    addBooks(f.db());
    f.db().execute(u"update baseshu set facepic = x'0102'"_s);
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    Connection other(f.db().connectionString()); // another program writing the same file

    QCOMPARE(set.asBytes(u"facepic"_s), QByteArray("\x01\x02"));
    QCoreApplication::processEvents(); // back in the event loop
    other.execute(u"update baseshu set name = 'x' where id = 1"_s);

    for (set.first(); !set.eof(); set.next()) // a loop to the end
        QCOMPARE(set.asBytes(u"facepic"_s).size(), 2);
    other.execute(u"update baseshu set name = 'y' where id = 1"_s);
    QCOMPARE(f.count(u"select name from baseshu where id = 1"_s), u"y"_s);
}

void TestRecordSet::failedPostKeepsState()
{
    LibraryFixture f;
    f.db().execute(u"insert into dzbook (name, zuozhe) values ('a.pdf', '甲')"_s);
    RecordSet set(f.db());
    set.setSql(u"select *  from dzbook"_s);
    set.open();
    set.setText(u"zuozhe"_s, u"乙"_s);
    set.setText(u"name"_s, QString(51, u'书')); // e-book texts hold 50 characters
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, set.post());
    QCOMPARE(set.state(), RecordSet::State::Edit);
    QCOMPARE(set.asText(u"zuozhe"_s), u"乙"_s);
    QCOMPARE(f.count(u"select zuozhe from dzbook"_s), u"甲"_s); // nothing half written
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, set.next()); // moving away posts, and fails the same
    set.setText(u"name"_s, QString(50, u'书'));
    set.post();
    QCOMPARE(f.count(u"select zuozhe from dzbook"_s), u"乙"_s);
}

void TestRecordSet::integersAreNullAware()
{
    LibraryFixture f;
    addBooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    set.setInteger(u"leibie"_s, std::nullopt);
    set.post();
    QVERIFY(set.isNull(u"leibie"_s));
    set.setInteger(u"leibie"_s, 7);
    set.post();
    QCOMPARE(set.asInteger(u"leibie"_s), 7);
    QCOMPARE(set.asText(u"leibie"_s), u"7"_s);
    set.setText(u"leibie"_s, u"8"_s); // the column's kind converts the text
    set.post();
    QCOMPARE(f.count(u"select typeof(leibie) from baseshu where id=1"_s), u"integer"_s);
    QVERIFY_THROWS_EXCEPTION(EConvertError, set.asInteger(u"name"_s));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, set.asText(u"nosuch"_s));
}

void TestRecordSet::readOnlyResults()
{
    LibraryFixture f;
    addBooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select count(*) from baseshu"_s);
    set.open();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, set.edit());
    RecordSet books(f.db());
    books.setSql(u"select * from baseshu"_s);
    books.open();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, books.setInteger(u"id"_s, 9));
    QCOMPARE(books.state(), RecordSet::State::Browse);
}

QTEST_GUILESS_MAIN(TestRecordSet)
#include "test_recordset.moc"
