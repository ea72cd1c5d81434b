// The camera scan window without a camera (this machine has none): the
// messages, and the decoding of frames fed as a camera would send them.

#include "barcode/BarcodePhotos.h"

#include "barcode/PhotoScan.h"
#include "catalogue/BarcodeInput.h"
#include "catalogue/TfmScan.h"
#include "widgets/Prompt.h"

#include <QApplication>
#include <QCameraDevice>
#include <QElapsedTimer>
#include <QLabel>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestTfmScan : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QImage m_book;
    QImage m_other;

    QImage frame(const QString& isbn)
    {
        const QString path = BarcodePhotos::photo(m_dir.path(), isbn + u".png"_s,
            { BarcodePhotos::barcode(m_dir.path(), isbn) }, { u"-rotate"_s, u"3"_s }, u"1280x720"_s, {});
        return QImage(path).convertToFormat(QImage::Format_RGB32);
    }

    // Feeds the frame as a camera does (every 33 ms) until the spy has count
    // signals; the longest time the window's thread was away meanwhile.
    qint64 feedUntil(TfmScan& scan, const QImage& picture, QSignalSpy& spy, int count, int maxMs = 30000)
    {
        QElapsedTimer clock;
        clock.start();
        QElapsedTimer sinceTick;
        sinceTick.start();
        qint64 longest = 0;
        while (spy.size() < count && clock.elapsed() < maxMs) {
            scan.takeFrame(picture);
            QTest::qWait(33);
            longest = std::max(longest, sinceTick.restart() - 33);
        }
        return longest;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(BarcodePhotos::haveTools());
        qputenv("QINGHE_PDF_WORKER", QINGHE_PROGRAM);
        Prompt::setScripted(true);
        m_book = frame(u"9787020002207"_s);
        m_other = frame(u"9780156012195"_s);
    }

    void noCameraSaysSo()
    {
        if (!QMediaDevices::videoInputs().isEmpty())
            QSKIP("this machine has a camera");
        Prompt::takeShown();
        QVERIFY(!TfmScan::open(TfmScan::Mode::OneBook, nullptr));
        QCOMPARE(Prompt::lastShown().text, u"没有找到摄像头。请接上摄像头后再试，也可以用“照片识别”读取书背面条码的照片。"_s);
    }

    // No camera to start, a camera that fails, or one that sends no picture:
    // a message, and the window closes; never a hang, and never the media
    // backend's own test pattern taken for a camera.
    void failingCameraClosesTheWindow()
    {
        TfmScan none(TfmScan::Mode::OneBook);
        Prompt::takeShown();
        QVERIFY(!none.start(QCameraDevice()));
        QCOMPARE(Prompt::takeShown().size(), 1);
        QVERIFY(Prompt::lastShown().text.startsWith(u"没有找到摄像头。"_s));

        TfmScan scan(TfmScan::Mode::OneBook);
        scan.show();
        scan.cameraFailed(QCamera::CameraError, u"Device or resource busy"_s);
        QVERIFY(!scan.isVisible());
        QVERIFY(Prompt::lastShown().text.startsWith(u"无法打开摄像头（Device or resource busy）。它可能正被其他程序使用"_s));

        TfmScan silent(TfmScan::Mode::OneBook);
        silent.setFirstFrameTimeoutMs(300);
        silent.show();
        Prompt::takeShown();
        silent.watchForPicture(); // as a camera that was started and sends nothing
        QTRY_VERIFY_WITH_TIMEOUT(!silent.isVisible(), 5000);
        QCOMPARE(Prompt::takeShown().size(), 1);
        QVERIFY(Prompt::lastShown().text.startsWith(u"摄像头没有送来画面。"_s));
    }

    // One book: read twice in a row, the window closes with it; the window's
    // thread keeps turning while frames are decoded.
    void oneBookIsReadAndTheWindowCloses()
    {
        TfmScan scan(TfmScan::Mode::OneBook);
        QSignalSpy scanned(&scan, &TfmScan::isbnScanned);
        scan.show();
        // Measured from when the window stands (its first paint sets up the video view).
        QVERIFY(QTest::qWaitForWindowExposed(&scan));
        QTest::qWait(300);
        const qint64 longest = feedUntil(scan, m_book, scanned, 1);
        QCOMPARE(scanned.size(), 1);
        QCOMPARE(scanned[0][0].toString(), u"9787020002207"_s);
        QVERIFY(!scan.isVisible());
        QCOMPARE(scan.result(), int(QDialog::Accepted));
        QVERIFY2(longest < 100, qPrintable(QString::number(longest)));
    }

    // One book after another: each taken once, the window stays for the next.
    void booksAreReadOneAfterAnother()
    {
        TfmScan scan(TfmScan::Mode::OneAfterAnother);
        QSignalSpy scanned(&scan, &TfmScan::isbnScanned);
        scan.show();
        feedUntil(scan, m_book, scanned, 1);
        feedUntil(scan, m_book, scanned, 2, 1500); // the same book held on: not taken again
        QCOMPARE(scanned.size(), 1);
        feedUntil(scan, m_other, scanned, 2);
        QCOMPARE(scan.scanned(), (QStringList { u"9787020002207"_s, u"9780156012195"_s }));
        QVERIFY(scan.isVisible());
        QVERIFY(scan.findChild<QLabel*>(u"LblScan"_s)->text().contains(u"共 2 本"_s));
    }

    // The photo buttons: a chosen photo's ISBN reaches the window; photos
    // without one are named in one message.
    void photosGiveTheirIsbns()
    {
        QWidget window;
        const QString book = m_dir.filePath(u"book.jpg"_s);
        QVERIFY(m_book.save(book));
        QImage blank(800, 600, QImage::Format_RGB32);
        blank.fill(Qt::white);
        const QString empty = m_dir.filePath(u"empty.png"_s);
        QVERIFY(blank.save(empty));

        QStringList got;
        Prompt::enqueueFileNames({ book });
        PhotoScan* scan = BarcodeInput::fromPhoto(&window, [&](const QString& isbn) { got << isbn; });
        QVERIFY(scan);
        QTRY_COMPARE_WITH_TIMEOUT(got, QStringList { u"9787020002207"_s }, 20000);

        Prompt::takeShown();
        Prompt::enqueueFileNames({ empty });
        QSignalSpy ended(BarcodeInput::fromPhoto(&window, [&](const QString& isbn) { got << isbn; }),
            &PhotoScan::finished);
        QVERIFY(ended.wait(20000));
        QCOMPARE(got.size(), 1);
        QTRY_VERIFY(Prompt::lastShown().text.contains(u"没有找到图书的 ISBN 条码"_s));

        Prompt::enqueueFileNames({});
        QVERIFY(!BarcodeInput::fromPhoto(&window, [](const QString&) { }));

        QList<QStringList> batches;
        Prompt::takeShown();
        Prompt::enqueueFileNames({ book, empty, m_dir.filePath(u"gone.jpg"_s) });
        QSignalSpy all(BarcodeInput::fromPhotos(&window, [&](const QStringList& isbns) { batches << isbns; }),
            &PhotoScan::finished);
        QVERIFY(all.wait(30000));
        QCOMPARE(batches, QList<QStringList> { { u"9787020002207"_s } });
        QTRY_COMPARE(Prompt::lastShown().text, u"2 张照片上没有读到图书的 ISBN 条码：empty.png、gone.jpg"_s);
    }
};

QTEST_MAIN(TestTfmScan)
#include "test_tfmscan.moc"
