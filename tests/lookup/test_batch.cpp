// 批量添加: a stack entered as a USB scanner types it (digits then Enter),
// pasted lines, looked up against a local server; only the new, found (or
// titled) books go in, in one transaction.

#include "lookup/SourcesFixture.h"
#include "widgets/GuiFixture.h"
#include "widgets/LoopGaps.h"

#include "catalogue/BatchStack.h"
#include "catalogue/TfmBatch.h"
#include "lookup/BookLookup.h"
#include "shell/Unittest.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Batch : GuiFixture
{
    SourcesFixture sources;
    std::unique_ptr<TfmBatch> form;

    Batch()
    {
        db().execute(u"delete from tblei"_s);
        db().execute(u"insert into tblei (id, leib) values (1, '小说'), (2, '历史')"_s);
        const qint64 owned = addBook(u"红楼梦"_s, u"已读完"_s, 1);
        // Stored as its ISBN-10 with hyphens: the same book as 9787020002207.
        db().execute(u"update baseshu set isbn = '7-02-000220-X' where id = %1"_s.arg(owned));
        form = std::make_unique<TfmBatch>();
        form->show();
    }
    template <typename T = QWidget> T* get(const QString& name) { return form->findChild<T*>(name); }
    QTableWidget* list() { return get<QTableWidget>(u"LstBatch"_s); }
    QString cell(int row, int column) { return list()->item(row, column) ? list()->item(row, column)->text() : QString(); }
    // Types as a USB barcode scanner does: the digits, then Enter.
    void scan(const QString& isbn)
    {
        QLineEdit* edit = get<QLineEdit>(u"EdBatchIsbn"_s);
        QTest::keyClicks(edit, isbn);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    bool settle(int ms = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        while (form->bookLookup()->isBusy() && clock.elapsed() < ms)
            QTest::qWait(10);
        return !form->bookLookup()->isBusy();
    }
};

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void splitsInput()
    {
        QCOMPARE(BatchStack::splitInput(u"9787020002207\r\n 0-451-52653-8 \n\n978 7 02 000220 7"_s),
            QStringList({ u"9787020002207"_s, u"0-451-52653-8"_s, u"978 7 02 000220 7"_s }));
        QCOMPARE(BatchStack::splitInput(u"9787020002207 9780451526533，123"_s),
            QStringList({ u"9787020002207"_s, u"9780451526533"_s, u"123"_s }));
    }

    // A stack scanned in: states, thumbnails, duplicates by any ISBN form,
    // and only the books wanted go in, with the stack's category, place and status.
    void addsTheNewFoundBooks()
    {
        Batch b;
        QCOMPARE(b.get<QComboBox>(u"CbBatchStatus"_s)->currentText(), u"还没读"_s);
        QVERIFY(b.get<QPushButton>(u"BtnBatchPhotos"_s));
        QVERIFY(b.get<QPushButton>(u"BtnBatchCamera"_s));
        b.sources.delayMs = 300;
        const QString unknown = SourcesFixture::isbn13(u"978000000007"_s);
        LoopGaps gaps;
        b.scan(u"9780451526533"_s);
        b.scan(u"9787020002207"_s); // owned, as 7-02-000220-X
        b.scan(unknown);
        b.scan(u"9780451526534"_s); // a wrong check digit
        b.scan(u"0451526538"_s); // the first one again, as its ISBN-10
        QCOMPARE(b.list()->rowCount(), 5);
        QCOMPARE(b.cell(0, 0), u"查询中"_s);
        QCOMPARE(b.cell(1, 0), u"已有此书"_s);
        QCOMPARE(b.cell(3, 0), u"无效ISBN"_s);
        QCOMPARE(b.cell(4, 0), u"已有此书"_s);
        QVERIFY(b.settle());
        QVERIFY2(gaps.longest() < 100, qPrintable(QString::number(gaps.longest())));
        QCOMPARE(b.cell(0, 0), u"找到"_s);
        QCOMPARE(b.cell(0, 3), u"The adventures of Tom Sawyer"_s);
        QCOMPARE(b.cell(0, 4), u"Mark Twain"_s);
        QVERIFY(!b.list()->item(0, 1)->data(Qt::DecorationRole).isNull());
        QCOMPARE(b.cell(2, 0), u"未找到"_s);
        QCOMPARE(b.cell(1, 5), u"再加一本"_s);
        QCOMPARE(b.list()->item(1, 5)->checkState(), Qt::Unchecked);
        QCOMPARE(b.cell(0, 5), QString());

        // The family names the unknown book and wants a second 红楼梦.
        b.list()->item(2, 3)->setText(u"家谱"_s);
        b.list()->item(1, 5)->setCheckState(Qt::Checked);
        b.get<QComboBox>(u"CbBatchCategory"_s)->setCurrentIndex(1);
        b.get<QLineEdit>(u"EdBatchPlace"_s)->setText(u"客厅书柜"_s);
        QTest::mouseClick(b.get<QPushButton>(u"BtnBatchAdd"_s), Qt::LeftButton);
        const Prompt::Shown said = Prompt::lastShown();
        QVERIFY2(said.text.startsWith(u"已加入书库 3 本书。"_s), qPrintable(said.text));
        QVERIFY(said.text.contains(u"9780451526534（无效ISBN）"_s));
        QVERIFY(said.text.contains(u"0451526538（已有此书）"_s));
        QCOMPARE(b.count(u"select count(*) from baseshu"_s), u"4"_s);
        QCOMPARE(b.count(u"select count(*) from baseshu where isbn = '9780451526533' and leibie = 2 and place = '客厅书柜'"
                         u" and isread = '还没读' and 格式 = 'jpg' and facepic is not null and publish = 'Signet Classic'"_s),
            u"1"_s);
        QCOMPARE(b.count(u"select count(*) from baseshu where name = '红楼梦'"_s), u"2"_s);
        QCOMPARE(b.count(u"select count(*) from baseshu where name = '家谱' and isbn = '%1'"_s.arg(unknown)), u"1"_s);
        // The rows left out stay; closing asks, and 否 keeps the window.
        QCOMPARE(b.list()->rowCount(), 2);
        Prompt::enqueueAnswer(QMessageBox::No);
        b.form->reject();
        QVERIFY(b.form->isVisible());
        QVERIFY(Prompt::lastShown().text.startsWith(u"还有 2 本书没有加入书库"_s));
        b.form->removeRow(0);
        QTest::mouseClick(b.list()->viewport(), Qt::LeftButton, {}, b.list()->visualItemRect(b.list()->item(0, 6)).center());
        QCOMPARE(b.list()->rowCount(), 0);
        b.form->reject();
        QVERIFY(!b.form->isVisible());
    }

    // Many lines pasted at once; a failing source leaves rows the family can name.
    void pastesAndFailures()
    {
        Batch b;
        b.sources.special.insert({ SourcesFixture::OpenLibrary, u"9780451526533"_s }, BookServer::Reply { 500, "x" });
        b.sources.special.insert({ SourcesFixture::GoogleBooks, u"9780451526533"_s }, BookServer::Reply { 500, "x" });
        QApplication::clipboard()->setText(u"9780451526533\n9787020002207\n"_s);
        QLineEdit* edit = b.get<QLineEdit>(u"EdBatchIsbn"_s);
        edit->setFocus();
        QTest::keySequence(edit, QKeySequence::Paste);
        QCOMPARE(b.list()->rowCount(), 2);
        QVERIFY(b.settle());
        QCOMPARE(b.cell(0, 0), u"未找到"_s);
        QVERIFY(b.list()->item(0, 0)->toolTip().startsWith(u"无法连接书目来源"_s));
        const QString summary = b.get<QLabel>(u"LblBatchSummary"_s)->text();
        QVERIFY2(summary.contains(u"其中 1 本无法连接书目来源（"_s) && summary.endsWith(u"请检查网络后再试。"_s),
            qPrintable(summary));
        // Nothing to add yet: said so, nothing written.
        QTest::mouseClick(b.get<QPushButton>(u"BtnBatchAdd"_s), Qt::LeftButton);
        QCOMPARE(b.count(u"select count(*) from baseshu"_s), u"1"_s);
        b.form->removeRow(1);
        b.form->removeRow(0);
        QCOMPARE(b.form->stack().size(), 0);
        b.form->reject();
    }

    // All or nothing: a row the database refuses leaves the library and the stack as they were.
    void oneTransaction()
    {
        GuiFixture f;
        BatchStack stack;
        stack.add(u"9780451526533"_s);
        stack.add(u"9787020002207"_s);
        Lookup::BookFields fields;
        fields.name = u"甲"_s;
        stack.answer(0, true, fields, {}, {}, {});
        stack.answer(1, true, fields, {}, {}, {});
        QCOMPARE(stack.countWillAdd(), 2);
        f.db().execute(u"create trigger refuse before insert on baseshu when new.isbn = '9787020002207' "
                       u"begin select raise(abort, 'refused'); end"_s);
        const QString before = f.count(u"select count(*) from baseshu"_s);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, stack.addTo(f.db(), {}, {}, u"还没读"_s));
        QCOMPARE(f.count(u"select count(*) from baseshu"_s), before);
        QCOMPARE(stack.size(), 2);
    }

    // The navigation item opens the window as a modal one.
    void navigationOpensIt()
    {
        GuiFixture f;
        f.db().execute(u"insert into tblei (leib) values ('小说')"_s);
        TFormtest main;
        bool opened = false;
        QTimer::singleShot(0, [&] {
            auto* batch = qobject_cast<TfmBatch*>(QApplication::activeModalWidget());
            opened = batch && batch->windowTitle() == u"批量添加"_s;
            if (batch)
                batch->reject();
        });
        main.dxNavBar1Item16Click();
        QVERIFY(opened);
    }
};

QTEST_MAIN(TestBatch)
#include "test_batch.moc"
