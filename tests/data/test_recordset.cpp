#include "data/RecordSetQuery.h"
#include "data/Sql.h"
#include "data/test_recordset_fixture.h"

#include <QRandomGenerator>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

class TestRecordSet : public QObject
{
    Q_OBJECT
private slots:
    void emptyResult();
    void scrollPostsChangedRow();
    void untouchedNewRowIsDropped();
    void cancelRestores();
    void editOnEmptySetInsertsAndLearnsKey();
    void newSqlDropsChanges();
    void refreshKeepsCurrentRow();
    void locateIgnoresCase_data();
    void locateIgnoresCase();
    void removeDeletesAtOnce();
    void quotesRoundTrip_data();
    void quotesRoundTrip();
    void duplicateCategoryResolvesToFirst();
    void emptyCategoryAndOddStatus();
    void postWritesOnlyChangedColumns();
    void blobsRoundTrip_data();
    void blobsRoundTrip();
    void blobReadsLetGoOfTheFile();
    void failedPostKeepsState();
    void integersAndReadOnlyColumns();
    void textCellsReadAsStored();
    void nulCharacters();
    void textsOfEitherFileEncoding_data();
    void textsOfEitherFileEncoding();
    void everyKindOfCellAfterReadAndPost();
    void openedAgainFollowsTheFile();
    void columnsReadOnDemand();
};

void TestRecordSet::emptyResult()
{
    LibraryFixture f;
    RecordSet none(f.db());
    QSignalSpy rows(&none, &RecordSet::rowChanged);
    none.setSql(u"select * from baseshu"_s);
    QCOMPARE(none.state(), RecordSet::State::Inactive);
    none.open();
    QCOMPARE(none.state(), RecordSet::State::Browse);
    QCOMPARE(rows.count(), 1);
    QVERIFY(none.isEmpty() && none.eof());
    QCOMPARE(none.recNo(), -1);
    QVERIFY(none.isNull(u"name"_s));
}

void TestRecordSet::scrollPostsChangedRow()
{
    OpenSetFixture f;
    f.set.setText(u"zuozhe"_s, u"鲁迅"_s); // browsing: a change starts editing
    QCOMPARE(f.set.state(), RecordSet::State::Edit);
    QVERIFY(f.set.isModified());
    QCOMPARE(f.count(u"select count(*) from baseshu where zuozhe='鲁迅'"_s), u"0"_s);
    f.set.next();
    QCOMPARE(f.set.state(), RecordSet::State::Browse);
    QCOMPARE(f.count(u"select name from baseshu where zuozhe='鲁迅'"_s), u"A"_s);
    f.set.prior();
    QCOMPARE(f.set.asText(u"zuozhe"_s), u"鲁迅"_s);
}

void TestRecordSet::untouchedNewRowIsDropped()
{
    OpenSetFixture f;
    f.set.moveTo(1);
    QSignalSpy inserted(&f.set, &RecordSet::rowInserted);
    QSignalSpy removed(&f.set, &RecordSet::rowRemoved);
    f.set.append();
    QCOMPARE(f.set.state(), RecordSet::State::Insert);
    QCOMPARE(f.set.recordCount(), 4);
    QCOMPARE(f.set.recNo(), 3);
    f.set.first();
    QCOMPARE(f.set.recordCount(), 3);
    QCOMPARE(f.set.recNo(), 0);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(f.count(u"select count(*) from baseshu"_s), u"3"_s);

    // A touched one is posted instead.
    f.set.append();
    f.set.setText(u"name"_s, u"D"_s);
    f.set.first();
    QCOMPARE(f.count(u"select count(*) from baseshu"_s), u"4"_s);
    QCOMPARE(f.set.recordCount(), 4);
}

void TestRecordSet::cancelRestores()
{
    OpenSetFixture f;
    f.set.moveTo(1);
    f.set.edit();
    f.set.setText(u"name"_s, u"changed"_s);
    QCOMPARE(f.set.asText(u"name"_s), u"changed"_s);
    f.set.cancel();
    QCOMPARE(f.set.state(), RecordSet::State::Browse);
    QCOMPARE(f.set.asText(u"name"_s), u"B"_s);

    f.set.append();
    f.set.setText(u"name"_s, u"new"_s);
    f.set.cancel();
    QCOMPARE(f.set.recordCount(), 3);
    QCOMPARE(f.set.recNo(), 1); // back where it was
    QCOMPARE(f.count(u"select count(*) from baseshu where name in ('changed', 'new')"_s), u"0"_s);
}

void TestRecordSet::editOnEmptySetInsertsAndLearnsKey()
{
    OpenSetFixture f(u"select *  from dzbook where id=42"_s, false);
    f.set.edit();
    QCOMPARE(f.set.state(), RecordSet::State::Insert);
    f.set.setText(u"name"_s, u"a.pdf"_s);
    f.set.post();
    const auto id = f.set.asInteger(u"id"_s);
    QVERIFY(id.has_value());
    QCOMPARE(f.count(u"select name from dzbook where ID=%1"_s.arg(*id)), u"a.pdf"_s);
}

void TestRecordSet::newSqlDropsChanges()
{
    OpenSetFixture f;
    f.set.setText(u"name"_s, u"lost"_s);
    f.set.setSql(u" select * from baseshu where 1=1 "_s);
    QVERIFY(!f.set.isOpen());
    f.set.open();
    QCOMPARE(f.set.asText(u"name"_s), u"A"_s);
    QCOMPARE(f.count(u"select count(*) from baseshu where name='lost'"_s), u"0"_s);
}

void TestRecordSet::refreshKeepsCurrentRow()
{
    OpenSetFixture f;
    f.set.moveTo(2);
    f.db().execute(u"delete from baseshu where id=1; update baseshu set name='C2' where id=3"_s);
    f.set.refresh();
    QCOMPARE(f.set.recordCount(), 2);
    QCOMPARE(f.set.recNo(), 1);
    QCOMPARE(f.set.asText(u"name"_s), u"C2"_s);
}

void TestRecordSet::locateIgnoresCase_data()
{
    QTest::addColumn<QString>("sought");
    QTest::addColumn<int>("row"); // -1: not found, the set stays where it was
    QTest::newRow("exact") << u"Book.pdf"_s << 1;
    QTest::newRow("other case") << u"BOOK.PDF"_s << 1;
    QTest::newRow("accented") << u"ÉTUDE.PDF"_s << 2;
    QTest::newRow("absent") << u"book"_s << -1;
}

void TestRecordSet::locateIgnoresCase()
{
    QFETCH(QString, sought);
    QFETCH(int, row);
    LibraryFixture f;
    f.db().execute(u"insert into dzbook (name) values ('x.pdf'), ('Book.pdf'), ('étude.pdf')"_s);
    RecordSet set(f.db());
    set.setSql(u"select *  from dzbook"_s);
    set.open();
    QCOMPARE(set.locate(u"name"_s, sought), row >= 0);
    QCOMPARE(set.recNo(), qMax(row, 0));
}

void TestRecordSet::removeDeletesAtOnce()
{
    OpenSetFixture f;
    f.set.last();
    f.set.remove();
    QCOMPARE(f.set.recordCount(), 2);
    QCOMPARE(f.set.recNo(), 1);
    QCOMPARE(f.count(u"select count(*) from baseshu where name='C'"_s), u"0"_s);

    OpenSetFixture empty(u"select * from baseshu where id=99"_s, false);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, empty.set.remove());
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
    OpenSetFixture f(u"select * from tblei"_s, false);
    f.set.append();
    f.set.setText(u"leib"_s, value);
    f.set.post();
    RecordSet found(f.db());
    found.setSql(u"select * from tblei where leib='"_s + QString(value).replace(u'\'', u"''"_s) + u'\'');
    found.open();
    QCOMPARE(found.recordCount(), 1);
    QCOMPARE(found.asText(u"leib"_s), value);
    QCOMPARE(found.asInteger(u"Id"_s), f.set.asInteger(u"id"_s));
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
    QCOMPARE(f.category(u"重复"_s), *first);
}

void TestRecordSet::emptyCategoryAndOddStatus()
{
    OpenSetFixture f;
    f.set.moveTo(1);
    QVERIFY(f.set.isNull(u"leibie"_s));
    QCOMPARE(f.set.asInteger(u"leibie"_s), std::nullopt);
    QCOMPARE(f.set.asText(u"leibie"_s), QString());
    f.set.next();
    QCOMPARE(f.set.asText(u"isread"_s), u"看了一半"_s);
    QCOMPARE(f.count(u"select count(*) from baseshu where isread='正在读'"_s), u"1"_s);
}

void TestRecordSet::postWritesOnlyChangedColumns()
{
    OpenSetFixture f;
    f.db().execute(u"create table log (what text);"
                   u"create trigger cover after update of facepic on baseshu "
                   u"begin insert into log values ('cover'); end;"
                   u"create trigger title after update of name on baseshu "
                   u"begin insert into log values ('title'); end;"_s);
    f.set.setText(u"name"_s, u"A2"_s);
    f.set.post();
    QCOMPARE(f.count(u"select group_concat(what) from log"_s), u"title"_s);
    f.set.setBytes(u"facepic"_s, "jpeg");
    f.set.post();
    QCOMPARE(f.count(u"select group_concat(what) from log"_s), u"title,cover"_s);
    f.set.edit();
    f.set.post(); // nothing changed: nothing written
    QCOMPARE(f.count(u"select count(*) from log"_s), u"2"_s);
}

void TestRecordSet::blobsRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray large(3 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(large.data()), large.size() / 4);
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("small") << QByteArray("BM\0\1", 4);
    QTest::newRow("3 MB") << large;
}

void TestRecordSet::blobsRoundTrip()
{
    QFETCH(QByteArray, bytes);
    OpenSetFixture f;
    f.set.moveTo(1);
    f.set.setBytes(u"pic3"_s, bytes);
    QCOMPARE(f.set.asBytes(u"pic3"_s), bytes); // from the buffer
    f.set.post();
    QCOMPARE(f.set.asBytes(u"pic3"_s), bytes); // from the file
    QVERIFY(!f.set.isNull(u"pic3"_s));
    QVERIFY(f.set.isNull(u"pic2"_s));

    RecordSet again(f.db());
    again.setSql(u"Select * from Baseshu where id=2"_s);
    again.open();
    QCOMPARE(again.value(u"pic3"_s).toByteArray(), bytes);
    QCOMPARE(f.count(u"select length(pic3) from baseshu where id=2"_s).toLongLong(), bytes.size());
    f.db().close(); // as compaction does: the set reads its blobs through the reopened connection
    QCOMPARE(again.asBytes(u"pic3"_s), bytes);

    again.setNull(u"pic3"_s);
    again.post();
    QVERIFY(again.isNull(u"pic3"_s));
    QCOMPARE(f.count(u"select pic3 is null from baseshu where id=2"_s), u"1"_s);
}

void TestRecordSet::blobReadsLetGoOfTheFile()
{
    OpenSetFixture f;
    f.db().execute(u"update baseshu set facepic = x'0102'"_s);
    f.set.refresh();
    Connection other(f.db().connectionString()); // another program writing the same file

    QCOMPARE(f.set.asBytes(u"facepic"_s), QByteArray("\x01\x02"));
    QCoreApplication::processEvents(); // back in the event loop
    other.execute(u"update baseshu set name = 'x' where id = 1"_s);

    for (f.set.first(); !f.set.eof(); f.set.next()) // a loop to the end
        QCOMPARE(f.set.asBytes(u"facepic"_s).size(), 2);
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
    set.setText(u"name"_s, QString(256, u'书')); // e-book texts hold 255 characters
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, set.post());
    QCOMPARE(set.state(), RecordSet::State::Edit);
    QCOMPARE(set.asText(u"zuozhe"_s), u"乙"_s);
    QCOMPARE(f.count(u"select zuozhe from dzbook"_s), u"甲"_s); // nothing half written
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, set.next()); // moving away posts, and fails the same
    set.setText(u"name"_s, QString(255, u'书'));
    set.post();
    QCOMPARE(f.count(u"select zuozhe from dzbook"_s), u"乙"_s);
}

void TestRecordSet::integersAndReadOnlyColumns()
{
    OpenSetFixture f;
    f.set.setInteger(u"leibie"_s, 7);
    f.set.post();
    QCOMPARE(f.set.asInteger(u"leibie"_s), 7);
    f.set.setText(u"leibie"_s, u"8"_s); // the column's kind converts the text
    f.set.post();
    QCOMPARE(f.count(u"select typeof(leibie) from baseshu where id=1"_s), u"integer"_s);
    QVERIFY_THROWS_EXCEPTION(EConvertError, f.set.asInteger(u"name"_s));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, f.set.asText(u"nosuch"_s));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, f.set.setInteger(u"id"_s, 9));
    QCOMPARE(f.set.state(), RecordSet::State::Browse);

    OpenSetFixture count(u"select count(*) from baseshu"_s);
    QCOMPARE(count.set.firstColumnText(), u"3"_s);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, count.set.edit());
}

// Text is kept as the bytes the file returned until it is read: empty text is not
// null, an edit replaces the stored text and a cancel brings it back.
void TestRecordSet::textCellsReadAsStored()
{
    OpenSetFixture f;
    f.db().execute(u"update baseshu set name = '', zuozhe = NULL, publish = '青禾出版社' where id = 1"_s);
    f.set.refresh();
    f.set.first();
    QVERIFY(!f.set.isNull(u"name"_s) && f.set.isNull(u"zuozhe"_s));
    QCOMPARE(f.set.value(u"publish"_s), QVariant(u"青禾出版社"_s));
    QCOMPARE(f.set.textAt(0, f.set.fieldIndex(u"publish"_s)), u"青禾出版社"_s);
    QCOMPARE(f.set.textAt(1, f.set.fieldIndex(u"name"_s)), u"B"_s);
    f.set.setText(u"publish"_s, u"另一家"_s);
    QCOMPARE(f.set.textAt(0, f.set.fieldIndex(u"publish"_s)), u"另一家"_s);
    f.set.cancel();
    QCOMPARE(f.set.asText(u"publish"_s), u"青禾出版社"_s);
    QVERIFY(f.set.locate(u"publish"_s, u"青禾出版社"_s));
}

void TestRecordSet::nulCharacters()
{
    OpenSetFixture f(u"select * from tblei"_s, false);
    const QString typed = u"科"_s + QChar(0) + u"幻"_s;
    // Typed text loses its NUL on the way in.
    f.set.append();
    f.set.setText(u"leib"_s, typed);
    f.set.post();
    QCOMPARE(f.count(u"select count(*) from tblei where leib = '科幻'"_s), u"1"_s);
    // A value with one, quoted into a statement, is exact and never cuts the statement short.
    f.db().execute(u"insert into tblei (leib) values ("_s + Sql::quoted(typed) + u")"_s);
    QCOMPARE(f.count(u"select count(*) from tblei where leib = "_s + Sql::quoted(typed)), u"1"_s);
    QCOMPARE(f.count(u"select hex(leib) from tblei where leib = "_s + Sql::quoted(typed)),
        QString::fromLatin1(typed.toUtf8().toHex().toUpper()));
    QCOMPARE(f.count(u"select count(*) from tblei where leib like "_s + Sql::quoted(u"%"_s + typed)), u"1"_s);
}

void TestRecordSet::textsOfEitherFileEncoding_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::newRow("UTF-8") << QByteArray("UTF-8");
    QTest::newRow("UTF-16le") << QByteArray("UTF-16le");
}

// A UTF-8 file's texts are taken as stored; another file's as SQLite converts them.
void TestRecordSet::textsOfEitherFileEncoding()
{
    QFETCH(QByteArray, encoding);
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
    const auto close = qScopeGuard([db] { sqlite3_close(db); });
    const QByteArray setup = "pragma encoding = '" + encoding
        + "'; create table t (id INTEGER PRIMARY KEY, a TEXT, b TEXT);"
          "insert into t (a, b) values ('青禾', ''), (NULL, 'x' || char(0) || 'y'), ('三', upper('abc'));";
    QCOMPARE(sqlite3_exec(db, setup.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    const RecordSetQuery::Result result = RecordSetQuery::run(db, u"select a, b, a || b from t"_s);
    QCOMPARE(result.utf8File, encoding == "UTF-8");
    QCOMPARE(result.rows.size(), size_t(3));
    QCOMPARE(result.rows[0].cell(0).toString(), u"青禾"_s);
    QVERIFY(result.rows[0].packed(1) && result.rows[0].packedText(1).isEmpty());
    QCOMPARE(result.rows[0].cell(2).toString(), u"青禾"_s);
    QVERIFY(result.rows[1].isNull(0));
    QCOMPARE(result.rows[1].cell(1).toString(), u"x"_s + QChar(0) + u"y"_s);
    QCOMPARE(result.rows[2].cell(1).toString(), u"ABC"_s);
    QCOMPARE(result.rows[2].cell(2).toString(), u"三ABC"_s);
}

// Each kind of value keeps its type and text whether it was read from the file,
// set while editing, or read back after a post; a picture stays in the file.
void TestRecordSet::everyKindOfCellAfterReadAndPost()
{
    LibraryFixture f;
    const QByteArray cover(70000, 'c');
    const qint64 id = f.addBook(u"书"_s, u"已读完"_s, 7, {}, cover);
    f.db().execute(u"update baseshu set publish = NULL, zuozhe = '作者' where id = %1"_s.arg(id));
    RecordSet set(f.db());
    set.setSql(u"select *, 2.5 as share from baseshu"_s);
    set.open();
    const auto check = [&] {
        QCOMPARE(set.value(u"leibie"_s).typeId(), QMetaType::LongLong);
        QCOMPARE(set.textAt(0, set.fieldIndex(u"leibie"_s)), u"7"_s);
        QCOMPARE(set.value(u"share"_s).typeId(), QMetaType::Double);
        QCOMPARE(set.textAt(0, set.fieldIndex(u"share"_s)), u"2.5"_s);
        QVERIFY(set.isNull(u"publish"_s) && !set.isNull(u"facepic"_s) && set.isNull(u"pic1"_s));
        QCOMPARE(set.textAt(0, set.fieldIndex(u"publish"_s)), QString());
        QCOMPARE(set.textAt(0, set.fieldIndex(u"facepic"_s)), QString());
        QCOMPARE(set.asBytes(u"facepic"_s), cover);
        QCOMPARE(set.asText(u"zuozhe"_s), u"作者"_s);
        QCOMPARE(set.asInteger(u"id"_s), id);
    };
    check();
    set.setText(u"name"_s, u"另一本书"_s);
    set.setInteger(u"leibie"_s, 7);
    QCOMPARE(set.textAt(0, set.fieldIndex(u"name"_s)), u"另一本书"_s);
    set.post();
    check();
    QCOMPARE(set.textAt(0, set.fieldIndex(u"name"_s)), u"另一本书"_s);
    set.setNull(u"zuozhe"_s);
    set.post();
    QVERIFY(set.isNull(u"zuozhe"_s));
    QCOMPARE(set.asText(u"name"_s), u"另一本书"_s);
}

// A set opened again reuses its statement; what changed in the file meanwhile
// (rows, columns, a table made anew, the connection closed) still shows.
void TestRecordSet::openedAgainFollowsTheFile()
{
    LibraryFixture f;
    f.addBook(u"甲"_s, u"还没读"_s);
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    QCOMPARE(set.recordCount(), 1);
    f.addBook(u"乙"_s, u"已读完"_s);
    set.close();
    set.open();
    QCOMPARE(set.recordCount(), 2);
    set.moveTo(1);
    QCOMPARE(set.asText(u"name"_s), u"乙"_s);

    // A column added: the statement is prepared again and the set describes it.
    f.db().execute(u"alter table baseshu add column qh_extra TEXT default 'x'"_s);
    set.close();
    set.open();
    QVERIFY(set.hasField(u"qh_extra"_s));
    QCOMPARE(set.asText(u"qh_extra"_s), u"x"_s);
    set.edit();
    set.setText(u"name"_s, u"甲改"_s);
    set.post();
    QCOMPARE(f.count(u"select name from baseshu where id = "_s + set.asText(u"id"_s)), u"甲改"_s);

    // The connection closed and opened again (a restore, a compaction).
    f.db().close();
    set.close();
    set.open();
    QCOMPARE(set.recordCount(), 2);

    // Opened again on other statements, at once or after the event loop has run: the
    // rows read where the last ones were hold only their own values.
    set.close();
    set.setSql(u"select name, null as blank, 7 as seven from baseshu order by id desc"_s);
    set.open();
    QCOMPARE(set.fieldNames(), (QStringList { u"name"_s, u"blank"_s, u"seven"_s }));
    QCOMPARE(set.asText(u"name"_s), u"乙"_s);
    QVERIFY(set.isNull(u"blank"_s));
    QCOMPARE(set.asInteger(u"seven"_s), 7);
    set.close();
    QCoreApplication::processEvents();
    set.setSql(u"select * from baseshu"_s);
    set.open();
    QCOMPARE(set.asText(u"name"_s), u"甲改"_s);
    QCOMPARE(set.asText(u"qh_extra"_s), u"x"_s);
    set.close();
    set.open();
    set.moveTo(1);
    QCOMPARE(set.asText(u"name"_s), u"乙"_s);
    QCOMPARE(set.asText(u"isread"_s), u"已读完"_s);

    // The same text over a table made anew with other columns.
    f.db().execute(u"create table qh_scratch (id INTEGER PRIMARY KEY, a TEXT)"_s);
    f.db().execute(u"insert into qh_scratch (a) values ('一')"_s);
    RecordSet scratch(f.db());
    scratch.setSql(u"select * from qh_scratch"_s);
    scratch.open();
    f.db().execute(u"drop table qh_scratch"_s);
    f.db().execute(u"create table qh_scratch (id INTEGER PRIMARY KEY, b TEXT, a TEXT)"_s);
    f.db().execute(u"insert into qh_scratch (b, a) values ('二', '三')"_s);
    scratch.refresh();
    QCOMPARE(scratch.fieldNames(), (QStringList { u"id"_s, u"b"_s, u"a"_s }));
    QCOMPARE(scratch.asText(u"a"_s), u"三"_s);
    // A set whose statement writes is never kept to run again.
    RecordSet writing(f.db());
    writing.setSql(u"insert into qh_scratch (a) values ('四') returning a"_s);
    writing.open();
    writing.close();
    writing.open();
    QCOMPARE(f.count(u"select count(*) from qh_scratch"_s), u"3"_s);
}

// A set told which columns to read up front reads the others of a row when that
// row is asked for: every way of reading, editing and writing still sees them.
void TestRecordSet::columnsReadOnDemand()
{
    LibraryFixture f;
    const QByteArray cover(70000, 'c');
    const qint64 first = f.addBook(u"甲"_s, u"已读完"_s, 7, u"jpg"_s, cover);
    const qint64 second = f.addBook(u"乙"_s, u"还没读"_s);
    const qint64 third = f.addBook(u"丙"_s, u"正在读"_s);
    f.db().execute(u"update baseshu set zuozhe = '作者' where id = %1"_s.arg(first));
    RecordSet set(f.db());
    set.setSql(u"select *, 2.5 as share from baseshu"_s);
    set.setReadUpFront({ u"NAME"_s, u"no such column"_s });
    set.open();
    QCOMPARE(set.recordCount(), 3);
    QCOMPARE(set.asInteger(u"id"_s), first); // the key always up front
    QCOMPARE(set.textAt(0, set.fieldIndex(u"share"_s)), u"2.5"_s); // an expression cannot be read by key
    QCOMPARE(set.asText(u"zuozhe"_s), u"作者"_s);
    QVERIFY(set.isNull(u"publish"_s) && !set.isNull(u"facepic"_s) && set.isNull(u"pic1"_s));
    QCOMPARE(set.asBytes(u"facepic"_s), cover);
    QCOMPARE(set.textAt(0, set.fieldIndex(u"facepic"_s)), QString());
    QCOMPARE(set.textAt(1, set.fieldIndex(u"isread"_s)), u"还没读"_s); // a row not current
    QByteArray scratch;
    QCOMPARE(set.utf8At(2, set.fieldIndex(u"name"_s), scratch), u"丙"_s.toUtf8());
    QCOMPARE(set.utf8At(2, set.fieldIndex(u"isread"_s), scratch), u"正在读"_s.toUtf8()); // read from the file

    // Edited before its other columns were read: only the change is written, the rest kept.
    set.moveTo(2);
    set.setText(u"zuozhe"_s, u"某人"_s);
    QCOMPARE(set.asText(u"isread"_s), u"正在读"_s);
    set.post();
    QCOMPARE(f.count(u"select zuozhe || isread from baseshu where id = %1"_s.arg(third)), u"某人正在读"_s);
    QCOMPARE(set.asText(u"isread"_s), u"正在读"_s);

    // Gone from the file before it was asked for: its other columns read as empty.
    set.refresh();
    f.db().execute(u"delete from baseshu where id = %1"_s.arg(second));
    QCOMPARE(set.textAt(1, set.fieldIndex(u"isread"_s)), QString());
    QCOMPARE(set.textAt(1, set.fieldIndex(u"name"_s)), u"乙"_s);
    // Changed in the file before a refresh: the refresh reads what it holds now.
    f.db().execute(u"update baseshu set isread = '已读完' where id = %1"_s.arg(third));
    set.refresh();
    QCOMPARE(set.recordCount(), 2);
    QCOMPARE(set.textAt(1, set.fieldIndex(u"isread"_s)), u"已读完"_s);

    // A set that cannot write rows back reads everything with its rows.
    RecordSet joined(f.db());
    joined.setSql(u"select b.name, b.isread, t.leib from baseshu b left join tblei t on t.id = b.leibie"_s);
    joined.setReadUpFront({ u"name"_s });
    joined.open();
    QCOMPARE(joined.textAt(0, joined.fieldIndex(u"isread"_s)), u"已读完"_s);
}

QTEST_GUILESS_MAIN(TestRecordSet)
#include "test_recordset.moc"
