#include "data/test_recordset_fixture.h"

#include "widgets/Prompt.h"
#include "widgets/TextWidths.h"
#include "widgets/dbcontrols.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>

using namespace Qt::StringLiterals;

namespace {

// Three e-books a.pdf, b.pdf, c.pdf, and an open set over them.
struct Ebooks : OpenSetFixture
{
    Ebooks()
        : OpenSetFixture(u"select *  from dzbook"_s, false)
    {
        db().execute(u"insert into dzbook (name, isread, zuozhe) values ('a.pdf', '还没读', '甲'), "
                     u"('b.pdf', '正在读', '乙'), ('c.pdf', '已读完', '丙')"_s);
        set.refresh();
    }
};

QComboBox* statusBox(QComboBox* box)
{
    box->setEditable(true);
    box->addItems({ u"还没读"_s, u"正在读"_s, u"已读完"_s });
    return box;
}

// A line edit, a memo and a list-or-type box bound to the set.
struct Bound : Ebooks
{
    QLineEdit edit;
    QPlainTextEdit memo;
    QComboBox box;
    DBEdit* e = DBEdit::bind(&edit, &set, u"name"_s);
    DBMemo* m = DBMemo::bind(&memo, &set, u"zuozhe"_s);
    DBComboBox* c = DBComboBox::bind(statusBox(&box), &set, u"isread"_s);
    QSignalSpy editSpy { e, &DBFieldLink::edited };
    QSignalSpy memoSpy { m, &DBFieldLink::edited };
    QSignalSpy boxSpy { c, &DBFieldLink::edited };
};

} // namespace

class TestDbControls : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Prompt::setScripted(true); }
    void loadMarksNothing();
    void userEditsGoToTheRowBufferOnce();
    void modelFollowsRecordSet();
    void gridAndRecordSetShareCurrentRow();
    void textWidthsKeepEveryTextApart();
};

void TestDbControls::loadMarksNothing()
{
    Bound b;
    QSignalSpy data(&b.set, &RecordSet::dataChanged);
    b.set.next();
    b.set.refresh();
    b.e->load();
    QCOMPARE(b.edit.text(), u"b.pdf"_s);
    QCOMPARE(b.memo.toPlainText(), u"乙"_s);
    QCOMPARE(b.box.currentText(), u"正在读"_s);
    QCOMPARE(b.editSpy.count() + b.memoSpy.count() + b.boxSpy.count() + data.count(), 0);
    QCOMPARE(b.set.state(), RecordSet::State::Browse);
}

void TestDbControls::userEditsGoToTheRowBufferOnce()
{
    Bound b;
    b.edit.setCursorPosition(1);
    QTest::keyClick(&b.edit, Qt::Key_X);
    QCOMPARE(b.editSpy.count(), 1);
    QCOMPARE(b.set.state(), RecordSet::State::Edit);
    QCOMPARE(b.set.asText(u"name"_s), u"ax.pdf"_s);
    QCOMPARE(b.edit.cursorPosition(), 2); // the reload after the change left the cursor alone
    b.memo.setFocus();
    QTest::keyClick(&b.memo, Qt::Key_End);
    QTest::keyClick(&b.memo, Qt::Key_A);
    b.box.setCurrentIndex(2); // choosing from the list
    QCOMPARE(b.set.asText(u"zuozhe"_s), u"甲a"_s);
    QCOMPARE(b.set.asText(u"isread"_s), u"已读完"_s);
    QCOMPARE(b.memoSpy.count() + b.boxSpy.count(), 2);

    b.set.cancel(); // reloads every control, and tells nobody it was edited
    QCOMPARE(b.edit.text(), u"a.pdf"_s);
    QCOMPARE(b.memo.toPlainText(), u"甲"_s);
    QCOMPARE(b.box.currentText(), u"还没读"_s);
    QCOMPARE(b.editSpy.count() + b.memoSpy.count() + b.boxSpy.count(), 3);

    b.edit.end(false);
    QTest::keyClick(&b.edit, Qt::Key_Y);
    QCOMPARE(b.count(u"select count(*) from dzbook where name='a.pdfy'"_s), u"0"_s);
    b.set.next(); // moving on posts
    QCOMPARE(b.edit.text(), u"b.pdf"_s);
    QCOMPARE(b.count(u"select count(*) from dzbook where name='a.pdfy'"_s), u"1"_s);

    // Closed and opened again at once (a search): the field goes straight to the
    // new first row, and the close shown later does not clear it.
    b.set.close();
    b.set.open();
    QCoreApplication::processEvents();
    QVERIFY(!b.edit.isReadOnly());
    QCOMPARE(b.edit.text(), u"a.pdfy"_s);

    b.set.close();
    QCoreApplication::processEvents();
    QVERIFY(b.edit.isReadOnly());
    QCOMPARE(b.edit.text(), QString());
}

void TestDbControls::modelFollowsRecordSet()
{
    Ebooks f;
    f.set.close();
    RecordSetModel model(&f.set,
        { { u"name"_s, u"书名"_s, 200, Qt::AlignCenter }, { u"isread"_s, u"阅读情况"_s, 121 },
            { u"zuozhe"_s, u"作者"_s, 96 }, { u"isbn"_s, {}, 73 } });
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 0);
    f.set.open();
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), u"书名"_s);
    QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), u"isbn"_s);
    QCOMPARE(model.index(1, 2).data().toString(), u"乙"_s);
    QCOMPARE(model.index(1, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignCenter);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    f.set.moveTo(1);
    f.set.setText(u"zuozhe"_s, u"丁"_s);
    QCOMPARE(model.index(1, 2).data().toString(), u"丁"_s);
    QVERIFY(!changed.isEmpty());
    f.set.append();
    QCOMPARE(model.rowCount(), 4); // posted the edit, started a new row
    f.set.cancel();
    QCOMPARE(model.rowCount(), 3);
    f.set.remove();
    QCOMPARE(model.rowCount(), 2);
    f.set.refresh();
    QCOMPARE(model.rowCount(), 2);
    f.set.close();
    QCOMPARE(model.rowCount(), 0);
}

void TestDbControls::gridAndRecordSetShareCurrentRow()
{
    Ebooks f;
    QTableView view;
    RecordSetModel model(&f.set, { { u"name"_s, u"书名"_s, 200 }, { u"isread"_s, u"阅读情况"_s, 121 } });
    RecordSetModel::attach(&view, &model);
    QCOMPARE(view.columnWidth(0), 200);
    QCOMPARE(view.currentIndex().row(), 0);

    f.set.moveTo(2);
    QCOMPARE(view.currentIndex().row(), 2);
    view.setCurrentIndex(model.index(1, 1));
    QCOMPARE(f.set.recNo(), 1);

    // A dropped new row puts the grid back on the row the set returns to.
    f.set.append();
    QCOMPARE(view.currentIndex().row(), 3);
    f.set.cancel();
    QCOMPARE(f.set.recNo(), 1);
    QCOMPARE(view.currentIndex().row(), 1);

    // A post that fails keeps both on the edited row.
    f.set.setText(u"name"_s, QString(256, u'长'));
    view.setCurrentIndex(model.index(0, 0));
    QCOMPARE(f.set.recNo(), 1);
    QCOMPARE(f.set.state(), RecordSet::State::Edit);
    QCOMPARE(view.currentIndex().row(), 1);
    QVERIFY(Prompt::lastShown().text.contains(u"255"_s));
}

void TestDbControls::textWidthsKeepEveryTextApart()
{
    // Texts of every length around the hash's eight-byte steps, differing in their
    // first or last byte only, each looked up twice: a text never takes another's width.
    QFont font;
    font.setPixelSize(13);
    const QFontMetricsF metrics(font);
    TextWidths widths;
    widths.setFont(font);
    QStringList texts { QString() };
    for (int length = 1; length <= 19; ++length) {
        const QString body(length - 1, u'i');
        texts << body + u'W' << body + u'i' << u'W' + body << u"第%1本书"_s.arg(QString(length, u'1'));
    }
    for (int round = 0; round < 2; ++round) {
        for (const QString& text : texts)
            QCOMPARE(widths.width(text.toUtf8()), int(std::ceil(metrics.horizontalAdvance(text))));
    }
}

QTEST_MAIN(TestDbControls)
#include "test_dbcontrols.moc"
