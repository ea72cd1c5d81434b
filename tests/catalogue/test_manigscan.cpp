// 照片识别 and 摄像头扫描 in the catalogue editor: the ISBN read from a photo of
// the barcode goes into the book and is looked up (a local server answers).

#include "barcode/BarcodePhotos.h"
#include "lookup/SourcesFixture.h"
#include "widgets/GuiFixture.h"

#include "catalogue/manig.h"

#include <QLabel>
#include <QLineEdit>
#include <QCameraDevice>
#include <QMediaDevices>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString Book = u"9787020002207"_s;

struct Editor : GuiFixture
{
    SourcesFixture sources;
    std::unique_ptr<TForm2> form;

    explicit Editor(const QString& isbn)
    {
        qputenv("QINGHE_PDF_WORKER", QINGHE_PROGRAM);
        db().execute(u"delete from tblei"_s);
        db().execute(u"insert into tblei (id, leib) values (1, '小说')"_s);
        const qint64 id = addBook(QString(), u"还没读"_s, 1);
        db().execute(u"update baseshu set isbn = '%1' where id = %2"_s.arg(isbn).arg(id));
        form = std::make_unique<TForm2>();
        form->show();
        form->waitForPictures();
        Prompt::takeShown();
    }
    QString status() { return form->findChild<QLabel*>(u"LblLookup"_s)->text(); }
    QString isbnField() { return form->findChild<QLineEdit*>(u"db_isbn"_s)->text(); }
    void click(const QString& button) { QTest::mouseClick(form->findChild<QPushButton*>(button), Qt::LeftButton); }
};

} // namespace

class TestManigScan : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_photo;
    QString m_blank;

private slots:
    void initTestCase()
    {
        QVERIFY(BarcodePhotos::haveTools());
        m_photo = BarcodePhotos::photo(m_dir.path(), u"back.jpg"_s, { BarcodePhotos::barcode(m_dir.path(), Book) },
            { u"-rotate"_s, u"-6"_s }, u"1600x1200"_s, { u"-quality"_s, u"80"_s });
        QImage blank(800, 600, QImage::Format_RGB32);
        blank.fill(Qt::white);
        m_blank = m_dir.filePath(u"blank.jpg"_s);
        QVERIFY(blank.save(m_blank));
    }

    // The photo's ISBN goes into an empty field, and the book is filled from it.
    void photoFillsTheBook()
    {
        Editor e { QString() };
        QCOMPARE(e.form->findChild<QPushButton*>(u"BtnScanPhoto"_s)->text(), u"照片识别"_s);
        QCOMPARE(e.form->findChild<QPushButton*>(u"BtnScanCamera"_s)->text(), u"摄像头扫描"_s);
        Prompt::enqueueFileNames({ m_photo });
        e.click(u"BtnScanPhoto"_s);
        QCOMPARE(e.status(), u"正在识别照片上的条码……"_s);
        QTRY_COMPARE_WITH_TIMEOUT(e.isbnField(), Book, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(e.status().startsWith(u"已填入"_s), 10000);
        QCOMPARE(e.form->master()->asText(u"isbn"_s), Book);
        QVERIFY(!e.form->master()->asText(u"name"_s).isEmpty());
    }

    // Another ISBN in the field is replaced only after a question; a photo
    // without a barcode changes nothing.
    void anotherIsbnIsKeptUnlessTheFamilySaysSo()
    {
        Editor e(u"9780451526533"_s);
        Prompt::enqueueFileNames({ m_photo });
        Prompt::enqueueAnswer(QMessageBox::No);
        e.click(u"BtnScanPhoto"_s);
        QTRY_VERIFY_WITH_TIMEOUT(e.status().contains(u"没有改动"_s), 20000);
        QCOMPARE(Prompt::lastShown().text, u"这本书的 ISBN 是 9780451526533，换成条码上的 9787020002207 吗？"_s);
        QCOMPARE(e.isbnField(), u"9780451526533"_s);

        Prompt::enqueueFileNames({ m_blank });
        e.click(u"BtnScanPhoto"_s);
        QTRY_VERIFY_WITH_TIMEOUT(Prompt::lastShown().text.contains(u"没有找到图书的 ISBN 条码"_s), 20000);
        QTRY_COMPARE(e.status(), QString());
        QCOMPARE(e.isbnField(), u"9780451526533"_s);

        Prompt::enqueueFileNames({ m_photo });
        Prompt::enqueueAnswer(QMessageBox::Yes);
        e.click(u"BtnScanPhoto"_s);
        QTRY_COMPARE_WITH_TIMEOUT(e.isbnField(), Book, 20000);
    }

    // Moving to another book drops the photo being read for this one.
    void anotherRecordDropsThePhoto()
    {
        Editor e { QString() };
        e.addBook(u"第二本"_s, u"还没读"_s, 1);
        e.form->reread();
        Prompt::enqueueFileNames({ m_photo });
        e.click(u"BtnScanPhoto"_s);
        e.form->master()->last();
        QTest::qWait(2000); // longer than the photo takes
        QCOMPARE(e.isbnField(), QString());
        QCOMPARE(e.form->master()->state(), RecordSet::State::Browse);
    }

    void noCameraSaysSo()
    {
        if (!QMediaDevices::videoInputs().isEmpty())
            QSKIP("this machine has a camera");
        Editor e { QString() };
        e.click(u"BtnScanCamera"_s);
        QVERIFY(Prompt::lastShown().text.startsWith(u"没有找到摄像头。"_s));
    }
};

QTEST_MAIN(TestManigScan)
#include "test_manigscan.moc"
