#include "test_recordset_fixture.h"

#include "shell/Prompt.h"
#include "shell/dbcontrols.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>

using namespace Qt::StringLiterals;

namespace {

void addEbooks(Connection& db)
{
    db.execute(u"insert into dzbook (name, isread, zuozhe) values ('a.pdf', '还没读', '甲'), "
               u"('b.pdf', '正在读', '乙'), ('c.pdf', '已读完', '丙')"_s);
}

} // namespace

class TestDbControls : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Prompt::setScripted(true); }
    void loadMarksNothing();
    void typingEditsRowBuffer();
    void memoAndComboFollowRows();
    void modelFollowsRecordSet();
    void gridAndRecordSetShareCurrentRow();
};

void TestDbControls::loadMarksNothing()
{
    LibraryFixture f;
    addEbooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select *  from dzbook"_s);
    set.open();
    QLineEdit edit;
    QPlainTextEdit memo;
    QComboBox box;
    box.setEditable(true);
    box.addItems({ u"还没读"_s, u"正在读"_s, u"已读完"_s });
    DBEdit* e = DBEdit::bind(&edit, &set, u"name"_s);
    DBMemo* m = DBMemo::bind(&memo, &set, u"zuozhe"_s);
    DBComboBox* c = DBComboBox::bind(&box, &set, u"isread"_s);
    QSignalSpy editSpy(e, &DBFieldLink::edited);
    QSignalSpy memoSpy(m, &DBFieldLink::edited);
    QSignalSpy boxSpy(c, &DBFieldLink::edited);
    QSignalSpy data(&set, &RecordSet::dataChanged);

    set.next();
    set.refresh();
    e->load();
    QCOMPARE(edit.text(), u"b.pdf"_s);
    QCOMPARE(memo.toPlainText(), u"乙"_s);
    QCOMPARE(box.currentText(), u"正在读"_s);
    QCOMPARE(editSpy.count() + memoSpy.count() + boxSpy.count() + data.count(), 0);
    QCOMPARE(set.state(), RecordSet::State::Browse);
}

void TestDbControls::typingEditsRowBuffer()
{
    LibraryFixture f;
    addEbooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select *  from dzbook"_s);
    set.open();
    QLineEdit edit;
    DBEdit* link = DBEdit::bind(&edit, &set, u"name"_s);
    QSignalSpy spy(link, &DBFieldLink::edited);
    edit.setCursorPosition(1);
    QTest::keyClick(&edit, Qt::Key_X);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(set.state(), RecordSet::State::Edit);
    QCOMPARE(set.asText(u"name"_s), u"ax.pdf"_s);
    QCOMPARE(edit.cursorPosition(), 2); // the reload after the change left the cursor alone
    QCOMPARE(f.count(u"select count(*) from dzbook where name='ax.pdf'"_s), u"0"_s);
    set.next(); // moving on posts
    QCOMPARE(edit.text(), u"b.pdf"_s);
    QCOMPARE(f.count(u"select count(*) from dzbook where name='ax.pdf'"_s), u"1"_s);

    set.close();
    QVERIFY(edit.isReadOnly());
    QCOMPARE(edit.text(), QString());
}

void TestDbControls::memoAndComboFollowRows()
{
    LibraryFixture f;
    addEbooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select *  from dzbook"_s);
    set.open();
    QPlainTextEdit memo;
    QComboBox box;
    box.setEditable(true);
    box.addItems({ u"还没读"_s, u"正在读"_s, u"已读完"_s });
    DBMemo* m = DBMemo::bind(&memo, &set, u"readbiji"_s);
    DBComboBox* c = DBComboBox::bind(&box, &set, u"isread"_s);
    QSignalSpy memoSpy(m, &DBFieldLink::edited);
    QSignalSpy boxSpy(c, &DBFieldLink::edited);

    memo.setFocus();
    QTest::keyClick(&memo, Qt::Key_A);
    QCOMPARE(memoSpy.count(), 1);
    box.setCurrentIndex(2); // choosing from the list
    QCOMPARE(boxSpy.count(), 1);
    QCOMPARE(set.asText(u"readbiji"_s), u"a"_s);
    QCOMPARE(set.asText(u"isread"_s), u"已读完"_s);
    set.cancel();
    QCOMPARE(memo.toPlainText(), QString());
    QCOMPARE(box.currentText(), u"还没读"_s);
    QCOMPARE(memoSpy.count() + boxSpy.count(), 2);
}

void TestDbControls::modelFollowsRecordSet()
{
    LibraryFixture f;
    addEbooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select *  from dzbook"_s);
    RecordSetModel model(&set,
        { { u"name"_s, u"书名"_s, 200, Qt::AlignCenter }, { u"isread"_s, u"阅读情况"_s, 121 },
            { u"zuozhe"_s, u"作者"_s, 96 }, { u"isbn"_s, {}, 73 } });
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 0);
    set.open();
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), u"书名"_s);
    QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), u"isbn"_s);
    QCOMPARE(model.index(1, 2).data().toString(), u"乙"_s);
    QCOMPARE(model.index(1, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignCenter);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    set.moveTo(1);
    set.setText(u"zuozhe"_s, u"丁"_s);
    QCOMPARE(model.index(1, 2).data().toString(), u"丁"_s);
    QVERIFY(!changed.isEmpty());
    set.append();
    QCOMPARE(model.rowCount(), 4); // posted the edit, started a new row
    set.cancel();
    QCOMPARE(model.rowCount(), 3);
    set.remove();
    QCOMPARE(model.rowCount(), 2);
    set.refresh();
    QCOMPARE(model.rowCount(), 2);
    set.close();
    QCOMPARE(model.rowCount(), 0);
}

void TestDbControls::gridAndRecordSetShareCurrentRow()
{
    LibraryFixture f;
    addEbooks(f.db());
    RecordSet set(f.db());
    set.setSql(u"select *  from dzbook"_s);
    set.open();
    QTableView view;
    RecordSetModel model(&set, { { u"name"_s, u"书名"_s, 200 }, { u"isread"_s, u"阅读情况"_s, 121 } });
    RecordSetModel::attach(&view, &model);
    QCOMPARE(view.columnWidth(0), 200);
    QCOMPARE(view.currentIndex().row(), 0);

    set.moveTo(2);
    QCOMPARE(view.currentIndex().row(), 2);
    view.setCurrentIndex(model.index(1, 1));
    QCOMPARE(set.recNo(), 1);

    // A dropped new row puts the grid back on the row the set returns to.
    set.append();
    QCOMPARE(view.currentIndex().row(), 3);
    set.cancel();
    QCOMPARE(set.recNo(), 1);
    QCOMPARE(view.currentIndex().row(), 1);

    // A post that fails keeps both on the edited row.
    set.setText(u"name"_s, QString(60, u'长'));
    view.setCurrentIndex(model.index(0, 0));
    QCOMPARE(set.recNo(), 1);
    QCOMPARE(set.state(), RecordSet::State::Edit);
    QCOMPARE(view.currentIndex().row(), 1);
    QVERIFY(Prompt::lastShown().text.contains(u"50"_s));
}

QTEST_MAIN(TestDbControls)
#include "test_dbcontrols.moc"
