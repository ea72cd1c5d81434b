// 联网查询 in the catalogue editor, against a local server: what is filled,
// the one question, the status line's messages, and a window that goes on
// working (and can stop the look-up) while the sources answer.

#include "lookup/SourcesFixture.h"
#include "widgets/GuiFixture.h"
#include "widgets/LoopGaps.h"

#include "catalogue/PicturePanel.h"
#include "catalogue/manig.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Editor : GuiFixture
{
    SourcesFixture sources;
    std::unique_ptr<TForm2> form;

    explicit Editor(const QString& title = {}, const QString& isbn = u"9780451526533"_s)
    {
        db().execute(u"delete from tblei"_s);
        db().execute(u"insert into tblei (id, leib) values (1, '小说')"_s);
        const qint64 id = addBook(title, u"还没读"_s, 1);
        db().execute(u"update baseshu set isbn = '%1' where id = %2"_s.arg(isbn).arg(id));
        addBook(u"另一本"_s, u"还没读"_s, 1);
        form = std::make_unique<TForm2>();
        form->show();
        form->waitForPictures();
    }
    template <typename T = QWidget> T* get(const QString& name) { return form->findChild<T*>(name); }
    RecordSet* set() { return form->master(); }
    QString status() { return get<QLabel>(u"LblLookup"_s)->text(); }
    void lookUp() { QTest::mouseClick(get<QPushButton>(u"BtnLookup"_s), Qt::LeftButton); }
    bool waitFor(const QString& part, int ms = 8000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!status().contains(part) && clock.elapsed() < ms)
            QTest::qWait(10);
        return status().contains(part);
    }
};

} // namespace

class TestLookupWindows : public QObject
{
    Q_OBJECT

private slots:
    // Empty fields and the missing cover are filled while the window keeps
    // turning; the book is saved as the family saves it.
    void editorFillsTheEmptyFields()
    {
        Editor e({}, SourcesFixture::isbn13(u"978000000004"_s));
        QCOMPARE(e.get<QPushButton>(u"BtnLookup"_s)->text(), u"联网查询"_s);
        // The first look-up loads the network's parts; the window's turns are measured on the next.
        e.lookUp();
        QVERIFY(e.waitFor(u"没有找到"_s));
        e.set()->edit();
        e.set()->setText(u"isbn"_s, u"9780451526533"_s);
        e.sources.delayMs = 1000;
        LoopGaps gaps;
        QTest::keyClick(e.get<QLineEdit>(u"db_isbn"_s), Qt::Key_Return); // as a barcode scanner ends
        QVERIFY(e.form->lookupRunning());
        QVERIFY(e.status().startsWith(u"正在查询"_s));
        QVERIFY2(e.waitFor(u"已填入"_s), qPrintable(e.status()));
        // Never still for the answer's second (drawing the maximised editor on a
        // busy machine may take a tenth of it).
        QVERIFY2(gaps.longest() < 250, qPrintable(QString::number(gaps.longest())));
        QCOMPARE(e.set()->asText(u"name"_s), u"The adventures of Tom Sawyer"_s);
        QCOMPARE(e.set()->asText(u"zuozhe"_s), u"Mark Twain"_s);
        QCOMPARE(e.set()->asText(u"publish"_s), u"Signet Classic"_s);
        QCOMPARE(e.set()->asText(u"yuzhong"_s), u"英文"_s);
        QCOMPARE(e.get<QLineEdit>(u"db_name"_s)->text(), u"The adventures of Tom Sawyer"_s);
        QVERIFY(!e.form->panel(0)->image()->pixmap().isNull());
        QVERIFY(Prompt::takeShown().isEmpty()); // nothing differed: no question
        QTest::mouseClick(e.get<QPushButton>(u"BitBtn2"_s), Qt::LeftButton);
        QCOMPARE(e.count(u"select count(*) from baseshu where name = 'The adventures of Tom Sawyer' and 格式 = 'jpg'"
                         u" and length(facepic) > 1000"_s),
            u"1"_s);
    }

    // Filled fields that differ: one question, 否 keeps them.
    void editorAsksBeforeReplacing()
    {
        Editor e(u"汤姆历险记"_s);
        e.db().execute(u"update baseshu set zuozhe = '马克·吐温' where name = '汤姆历险记'"_s);
        e.set()->refresh();
        Prompt::enqueueAnswer(QMessageBox::No);
        e.lookUp();
        QVERIFY(e.waitFor(u"已填入"_s));
        QCOMPARE(Prompt::lastShown().text, u"用查到的内容替换已填写的：书名、作者？"_s);
        QCOMPARE(e.set()->asText(u"name"_s), u"汤姆历险记"_s);
        QCOMPARE(e.set()->asText(u"zuozhe"_s), u"马克·吐温"_s);
        QCOMPARE(e.set()->asText(u"publish"_s), u"Signet Classic"_s);
        // Asked again, 是 replaces them; the cover set the first time stays.
        Prompt::enqueueAnswer(QMessageBox::Yes);
        e.lookUp();
        QVERIFY(e.waitFor(u"已填入书名、作者"_s));
        QCOMPARE(e.set()->asText(u"name"_s), u"The adventures of Tom Sawyer"_s);
        // Only a differing title, kept: said so, not "the same".
        e.set()->setText(u"name"_s, u"汤姆历险记"_s);
        Prompt::enqueueAnswer(QMessageBox::No);
        e.lookUp();
        QVERIFY(e.waitFor(u"已保留填写的内容，没有改动。"_s));
        QCOMPARE(e.set()->asText(u"name"_s), u"汤姆历险记"_s);
    }

    void editorMessages()
    {
        Editor e(u"甲"_s, u"978-7-02-000220-8"_s);
        e.lookUp();
        QVERIFY(e.waitFor(u"ISBN 校验位不对：978-7-02-000220-8"_s));
        const QString unknown = SourcesFixture::isbn13(u"978000000005"_s);
        e.set()->edit();
        e.set()->setText(u"isbn"_s, unknown);
        e.lookUp();
        QVERIFY(e.waitFor(u"没有找到 ISBN 为 %1 的图书，可以手工填写。"_s.arg(unknown)));
        // Nobody listening on the sources' port.
        e.set()->setText(u"isbn"_s, u"9780451526533"_s);
        const QByteArray closed = "http://127.0.0.1:1";
        qputenv("QINGHE_OPENLIBRARY_URL", closed);
        qputenv("QINGHE_GOOGLEBOOKS_URL", closed);
        Editor away(u"乙"_s);
        qputenv("QINGHE_OPENLIBRARY_URL", closed);
        qputenv("QINGHE_GOOGLEBOOKS_URL", closed);
        away.form->BtnLookupClick();
        QVERIFY(away.waitFor(u"请检查网络后再试。"_s));
        QVERIFY2(away.status().startsWith(u"无法连接书目来源（"_s) && away.status().endsWith(u"）。请检查网络后再试。"_s),
            qPrintable(away.status()));
        QCOMPARE(away.set()->asText(u"name"_s), u"乙"_s);
        QVERIFY(!away.set()->isModified());
    }

    // Escape, or another record, stops the look-up; what comes later changes nothing.
    void editorCancels()
    {
        Editor e;
        e.sources.delayMs = 500;
        e.lookUp();
        QTest::keyClick(e.get<QLineEdit>(u"db_isbn"_s), Qt::Key_Escape);
        QVERIFY(!e.form->lookupRunning());
        QVERIFY(e.form->isVisible());
        QCOMPARE(e.status(), u"已取消查询。"_s);
        e.lookUp();
        e.set()->next();
        QVERIFY(!e.form->lookupRunning());
        QTest::qWait(900);
        QCOMPARE(e.count(u"select count(*) from baseshu where name = 'The adventures of Tom Sawyer'"_s), u"0"_s);
        QCOMPARE(e.set()->asText(u"name"_s), u"另一本"_s);
        // Escape without a look-up closes the window as before.
        QTest::keyClick(e.get<QLineEdit>(u"db_isbn"_s), Qt::Key_Escape);
        QVERIFY(!e.form->isVisible());
    }
};

QTEST_MAIN(TestLookupWindows)
#include "test_lookupwindows.moc"
