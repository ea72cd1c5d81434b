// ISBN barcodes read from photos made here (ZXingWriter, then ImageMagick),
// through the worker, as the editor and the batch window read them.

#include "BarcodePhotos.h"

#include "barcode/BarcodeScan.h"
#include "barcode/FrameDecoder.h"
#include "pdfworker/GreyPhoto.h"
#include "pdfworker/IsbnBarcodes.h"
#include "barcode/IsbnConfirmer.h"
#include "barcode/PhotoScan.h"
#include "pdfworker/PdfWorkerClient.h"

#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>

#include <QGuiApplication>
#include <QImageReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString Book = u"9787020002207"_s; // 红楼梦, 人民文学出版社
const QString OtherBook = u"9780156012195"_s;
const QString PriceCode = u"6901234567892"_s; // a shop's own EAN-13, not a book

WorkerSettings settings()
{
    WorkerSettings made = BarcodeScan::workerSettings();
    made.program = QStringLiteral(QINGHE_PROGRAM);
    return made;
}

} // namespace

class TestBarcode : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    PdfWorkerClient m_worker { settings() };

    BarcodeScan::Result scan(const QString& path) { return BarcodeScan::photo(m_worker, path); }

private slots:
    void initTestCase()
    {
        QVERIFY2(BarcodePhotos::haveTools(), "ZXingWriter and convert (scripts/common.sh installs them)");
        QVERIFY(m_dir.isValid());
    }

    void onlyBooksCodesCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("book");
        QTest::newRow("978") << Book << true;
        QTest::newRow("979") << u"9791032305690"_s << true;
        QTest::newRow("shop code") << PriceCode << false;
        QTest::newRow("wrong check digit") << u"9787020002208"_s << false;
        QTest::newRow("ISBN-10") << u"7020002207"_s << false;
        QTest::newRow("with add-on") << u"9787020002207 52495"_s << false;
    }
    void onlyBooksCodesCount()
    {
        QFETCH(QString, text);
        QTEST(IsbnBarcodes::isBookCode(text), "book");
    }

    // Photos as families take them: any turn, out of focus, grainy, at an angle, small JPEGs.
    void photosAreRead_data()
    {
        QTest::addColumn<QStringList>("turn");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("spoil");
        QTest::addColumn<QString>("file");
        const QStringList none;
        QTest::newRow("straight") << none << u"1200x900"_s << none << u"png"_s;
        QTest::newRow("quarter turn") << QStringList { u"-rotate"_s, u"90"_s } << u"900x1200"_s << none << u"jpg"_s;
        QTest::newRow("upside down") << QStringList { u"-rotate"_s, u"180"_s } << u"1200x900"_s << none << u"bmp"_s;
        QTest::newRow("askew") << QStringList { u"-rotate"_s, u"7"_s } << u"1200x900"_s << none << u"jpg"_s;
        QTest::newRow("slanted 33") << QStringList { u"-rotate"_s, u"33"_s } << u"1200x1200"_s << none << u"jpg"_s;
        QTest::newRow("slanted 130") << QStringList { u"-rotate"_s, u"130"_s } << u"1200x1200"_s << none << u"webp"_s;
        QTest::newRow("blurred") << none << u"1200x900"_s << QStringList { u"-blur"_s, u"0x2.5"_s } << u"jpg"_s;
        QTest::newRow("grainy") << QStringList { u"-rotate"_s, u"3"_s } << u"1600x1200"_s
                                << QStringList { u"-attenuate"_s, u"0.8"_s, u"+noise"_s, u"Gaussian"_s } << u"jpg"_s;
        QTest::newRow("at an angle") << none << u"1200x900"_s
                                     << QStringList { u"-distort"_s, u"Perspective"_s,
                                            u"0,0 80,40  1200,0 1120,0  0,900 0,900  1200,900 1200,860"_s }
                                     << u"jpg"_s;
        QTest::newRow("poor JPEG") << QStringList { u"-resize"_s, u"70%"_s } << u"1000x800"_s
                                   << QStringList { u"-quality"_s, u"35"_s } << u"jpg"_s;
        QTest::newRow("small in a big photo") << QStringList { u"-rotate"_s, u"4"_s } << u"4000x3000"_s
                                              << QStringList { u"-quality"_s, u"90"_s } << u"jpg"_s;
    }
    void photosAreRead()
    {
        QFETCH(QStringList, turn);
        QFETCH(QString, page);
        QFETCH(QStringList, spoil);
        QFETCH(QString, file);
        const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + u'.' + file;
        const QString path = BarcodePhotos::photo(
            m_dir.path(), name, { BarcodePhotos::barcode(m_dir.path(), Book) }, turn, page, spoil);
        QVERIFY(!path.isEmpty());
        const BarcodeScan::Result result = scan(path);
        QCOMPARE(result.outcome, BarcodeScan::Outcome::Found);
        QCOMPARE(result.isbns, QStringList { Book });
    }

    // A shop's price code beside the ISBN is passed over; two books give both.
    void otherBarcodesArePassedOver()
    {
        const QString shop = BarcodePhotos::barcode(m_dir.path(), PriceCode);
        const QString book = BarcodePhotos::barcode(m_dir.path(), Book);
        const QString both = BarcodePhotos::photo(m_dir.path(), u"both.jpg"_s, { shop, book }, {}, u"1800x900"_s, {});
        QCOMPARE(scan(both).isbns, QStringList { Book });

        const QString onlyShop
            = BarcodePhotos::photo(m_dir.path(), u"shop.jpg"_s, { shop }, {}, u"1200x900"_s, {});
        const BarcodeScan::Result none = scan(onlyShop);
        QCOMPARE(none.outcome, BarcodeScan::Outcome::NoBarcode);
        QVERIFY(BarcodeScan::message(none, onlyShop).contains(u"没有找到图书的 ISBN 条码"_s));

        const QString two = BarcodePhotos::photo(m_dir.path(), u"two.jpg"_s,
            { book, BarcodePhotos::barcode(m_dir.path(), OtherBook) }, {}, u"1800x900"_s, {});
        const QStringList found = scan(two).isbns;
        QCOMPARE(QSet<QString>(found.begin(), found.end()), (QSet<QString> { Book, OtherBook }));
    }

    // The price printed as a 5-digit add-on is no part of the ISBN.
    void addOnIsIgnored()
    {
        const QImage withAddOn
            = BarcodePhotos::withAddOn(QImage(BarcodePhotos::barcode(m_dir.path(), Book)), u"52495"_s);
        const QString drawn = m_dir.filePath(u"addon.png"_s);
        QVERIFY(withAddOn.save(drawn));
        // The add-on is a real one: ZXing reads it when asked to.
        const QImage grey = withAddOn.convertToFormat(QImage::Format_Grayscale8);
        const ZXing::Results results = ZXing::ReadBarcodes(
            ZXing::ImageView(grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum,
                int(grey.bytesPerLine())),
            ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::EAN13).setEanAddOnSymbol(ZXing::EanAddOnSymbol::Require));
        QCOMPARE(results.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(results.front().text()), u"9787020002207 52495"_s);

        const QString photo = BarcodePhotos::photo(
            m_dir.path(), u"addon.jpg"_s, { drawn }, { u"-rotate"_s, u"-5"_s }, u"1400x900"_s, {});
        QCOMPARE(scan(photo).isbns, QStringList { Book });
    }

    // Photos stored turned or mirrored, their EXIF orientation saying so.
    void exifOrientationIsHonoured_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("orientation");
        QTest::newRow("mirrored") << u"-flop"_s << u"TopRight"_s;
        QTest::newRow("turned") << u"-transpose"_s << u"LeftTop"_s;
        QTest::newRow("turned mirrored") << u"-transverse"_s << u"RightBottom"_s;
    }
    void exifOrientationIsHonoured()
    {
        QFETCH(QString, stored);
        QFETCH(QString, orientation);
        const QString path = BarcodePhotos::photo(m_dir.path(), u"oriented-%1.jpg"_s.arg(orientation),
            { BarcodePhotos::barcode(m_dir.path(), Book) }, {}, u"1200x900"_s,
            { stored, u"-orient"_s, orientation });
        QImageReader shown(path);
        shown.setAutoTransform(true);
        const QImage upright = GreyPhoto::toGrey(shown.read());
        const QImage read = GreyPhoto::read(path).grey;
        // As shown, up to a quarter turn the barcode reader makes anyway.
        QVERIFY(read.size() == upright.size() || read.size() == upright.size().transposed());
        QCOMPARE(scan(path).isbns, QStringList { Book });
    }

    // An ordinary photo on which the barcode library aborts (ZXingReader shows
    // it) is read all the same, and never takes the program down.
    void photoTheLibraryAbortsOnIsRead()
    {
        const QString photo = QStringLiteral(BARCODE_DATA "/library-aborts.jpg");
        int exitCode = 0;
        BarcodePhotos::run(u"ZXingReader"_s, { u"-1"_s, photo }, &exitCode);
        QCOMPARE(exitCode, -1);
        const BarcodeScan::Result result = scan(photo);
        QCOMPARE(result.isbns, QStringList { Book });
        QVERIFY(!result.retried);
        // The job's second option, used after a worker died, reads it too.
        const WorkerResult plain = m_worker.run(
            { { { u"job"_s, u"barcode"_s }, { u"path"_s, photo }, { u"downscale"_s, false } } });
        QCOMPARE(plain.body.value(u"isbns"_s).toArray().toVariantList(), QVariantList { Book });
    }

    // A worker that dies on a photo (as the library's abort ends it) is
    // followed by one more try without the downscaled copies.
    void photoIsTriedAgainAfterTheWorkerDied()
    {
        const QString script = m_dir.filePath(u"dies-once.sh"_s);
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n[ -e \"$0.died\" ] || { touch \"$0.died\"; exit 24; }\nexec " QINGHE_PROGRAM
                   " \"$@\"\n");
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        WorkerSettings dying = settings();
        dying.program = script;
        PdfWorkerClient worker(dying);
        const QString photo = BarcodePhotos::photo(m_dir.path(), u"retry.jpg"_s,
            { BarcodePhotos::barcode(m_dir.path(), Book) }, {}, u"1200x900"_s, {});
        const BarcodeScan::Result result = BarcodeScan::photo(worker, photo);
        QVERIFY(result.retried);
        QCOMPARE(result.isbns, QStringList { Book });
    }

    void badFilesSayWhat()
    {
        QCOMPARE(scan(m_dir.filePath(u"missing.jpg"_s)).outcome, BarcodeScan::Outcome::CannotOpen);
        QFile text(m_dir.filePath(u"notes.jpg"_s));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a photo at all");
        text.close();
        const BarcodeScan::Result notPicture = scan(text.fileName());
        QCOMPARE(notPicture.outcome, BarcodeScan::Outcome::NotAPicture);
        QVERIFY(BarcodeScan::message(notPicture, text.fileName()).contains(u"不是能识别的图片"_s));
        // A photo cut off half way is read as far as it goes, without a crash.
        const QString whole = BarcodePhotos::photo(m_dir.path(), u"whole.jpg"_s,
            { BarcodePhotos::barcode(m_dir.path(), Book) }, {}, u"1200x900"_s, {});
        QFile cut(whole);
        QVERIFY(cut.open(QIODevice::ReadWrite));
        cut.resize(cut.size() / 3);
        cut.close();
        QVERIFY(scan(whole).outcome != BarcodeScan::Outcome::Failed);
    }

    // Several photos at once, each answered as it is read, off the window's thread.
    void photosAreScannedInTheBackground()
    {
        qputenv("QINGHE_PDF_WORKER", QINGHE_PROGRAM);
        const QString book = BarcodePhotos::barcode(m_dir.path(), Book);
        const QStringList paths { BarcodePhotos::photo(m_dir.path(), u"a.jpg"_s, { book }, {}, u"1200x900"_s, {}),
            m_dir.filePath(u"gone.jpg"_s),
            BarcodePhotos::photo(m_dir.path(), u"b.png"_s, { BarcodePhotos::barcode(m_dir.path(), OtherBook) },
                { u"-rotate"_s, u"90"_s }, u"900x1200"_s, {}) };
        PhotoScan scan(paths);
        QSignalSpy read(&scan, &PhotoScan::photoRead);
        QSignalSpy finished(&scan, &PhotoScan::finished);
        scan.start();
        QVERIFY(scan.isRunning());
        QVERIFY(finished.wait(60000));
        QCOMPARE(read.size(), 3);
        QCOMPARE(read[0][0].toInt(), 0);
        QCOMPARE(read[0][1].value<BarcodeScan::Result>().isbns, QStringList { Book });
        QCOMPARE(read[1][1].value<BarcodeScan::Result>().outcome, BarcodeScan::Outcome::CannotOpen);
        QCOMPARE(read[2][1].value<BarcodeScan::Result>().isbns, QStringList { OtherBook });

        // Destroyed while it works: it stops, and nothing arrives afterwards.
        auto* stopped = new PhotoScan(QStringList(paths) << paths << paths);
        QSignalSpy late(stopped, &PhotoScan::photoRead);
        stopped->start();
        delete stopped;
        QTest::qWait(200);
        QVERIFY(late.size() <= 1);
    }

    // Camera frames: one decoded at a time, the others dropped; an ISBN is
    // taken when two frames in a row show it.
    void framesAreDecodedOneAtATime()
    {
        qputenv("QINGHE_PDF_WORKER", QINGHE_PROGRAM);
        const QImage frame = QImage(BarcodePhotos::photo(m_dir.path(), u"frame.png"_s,
                                        { BarcodePhotos::barcode(m_dir.path(), Book) }, { u"-rotate"_s, u"2"_s },
                                        u"1280x720"_s, { u"-blur"_s, u"0x1"_s }))
                                 .convertToFormat(QImage::Format_RGB32);
        FrameDecoder decoder;
        QSignalSpy decoded(&decoder, &FrameDecoder::decoded);
        IsbnConfirmer confirmer;
        QString taken;
        connect(&decoder, &FrameDecoder::decoded, this, [&](const QStringList& isbns) {
            if (taken.isEmpty())
                taken = confirmer.add(isbns);
        });
        QVERIFY(decoder.wantsFrame());
        QVERIFY(decoder.offer(frame));
        QVERIFY(!decoder.wantsFrame());
        QVERIFY(!decoder.offer(frame)); // dropped: one is being decoded
        QVERIFY(decoded.wait(20000));
        QCOMPARE(decoded[0][0].toStringList(), QStringList { Book });
        QVERIFY(taken.isEmpty()); // once is not enough
        QVERIFY(decoder.offer(frame));
        QVERIFY(decoded.wait(20000));
        QCOMPARE(taken, Book);
        QCOMPARE(decoder.decodedCount(), 2);
        // A frame that is no picture of a barcode is decoded as empty.
        QImage blank(640, 480, QImage::Format_Grayscale8);
        blank.fill(200);
        QVERIFY(decoder.offer(blank));
        QVERIFY(decoded.wait(20000));
        QVERIFY(decoded.last()[0].toStringList().isEmpty());
    }

    void twoFramesInARowConfirm()
    {
        IsbnConfirmer confirmer;
        QCOMPARE(confirmer.add({ Book }), QString());
        QCOMPARE(confirmer.add({}), QString()); // a frame between without it
        QCOMPARE(confirmer.add({ Book }), QString());
        QCOMPARE(confirmer.add({ Book }), Book);
        // The book just taken stays in front of the camera: not taken again...
        QCOMPARE(confirmer.add({ Book }), QString());
        QCOMPARE(confirmer.add({ Book }), QString());
        // ... until it has left the picture.
        QCOMPARE(confirmer.add({}), QString());
        QCOMPARE(confirmer.add({ Book }), QString());
        QCOMPARE(confirmer.add({ Book }), Book);
        // Another ISBN between, or two books at once, confirm nothing.
        QCOMPARE(confirmer.add({ OtherBook }), QString());
        QCOMPARE(confirmer.add({ Book, OtherBook }), QString());
        QCOMPARE(confirmer.add({ OtherBook }), QString());
        QCOMPARE(confirmer.add({ OtherBook }), OtherBook);
    }
};

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    TestBarcode test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_barcode.moc"
