#include "pictures/CoverFixture.h"
#include "catalogue/BookPictures.h"
#include "pictures/Thumbnails.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <cstdlib>
#include <vector>

#include <jpeglib.h>
// after jpeglib.h, which it needs
#include <jerror.h>

using namespace Qt::StringLiterals;

namespace {

const QColor TopLeft(220, 30, 30);
const QColor TopRight(30, 200, 40);
const QColor BottomLeft(30, 40, 210);
const QColor BottomRight(240, 230, 60);

// A picture of four coloured quarters: its thumbnail shows whether the cover was
// stretched whole and kept the right way round.
QImage quarters(int width, int height, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    const int midX = width / 2;
    const int midY = height / 2;
    painter.fillRect(0, 0, midX, midY, TopLeft);
    painter.fillRect(midX, 0, width - midX, midY, TopRight);
    painter.fillRect(0, midY, midX, height - midY, BottomLeft);
    painter.fillRect(midX, midY, width - midX, height - midY, BottomRight);
    painter.end();
    return image.convertToFormat(format);
}

// An Adobe-style CMYK JPEG (inverted ink values, as Photoshop writes them).
QByteArray cmykJpeg(const QImage& rgb)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(rgb.width());
    cinfo.image_height = JDIMENSION(rgb.height());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(std::size_t(rgb.width()) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb pixel = rgb.pixel(x, int(cinfo.next_scanline));
            row[std::size_t(x) * 4 + 0] = uchar(qRed(pixel));
            row[std::size_t(x) * 4 + 1] = uchar(qGreen(pixel));
            row[std::size_t(x) * 4 + 2] = uchar(qBlue(pixel));
            row[std::size_t(x) * 4 + 3] = 255;
        }
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    return bytes;
}

QColor average(const QImage& image, const QRect& area)
{
    qint64 r = 0, g = 0, b = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            r += qRed(pixel);
            g += qGreen(pixel);
            b += qBlue(pixel);
        }
    }
    const qint64 n = qint64(area.width()) * area.height();
    return QColor(int(r / n), int(g / n), int(b / n));
}

// Compares the middle of each quarter of a 100 x 120 thumbnail with the source colours
// (for a grey source, with the grey Qt made of them).
void verifyQuarters(const QImage& thumb, bool greyscale)
{
    QCOMPARE(thumb.size(), QSize(Thumbnails::Width, Thumbnails::Height));
    QCOMPARE(thumb.format(), Thumbnails::Format);
    const QImage expected = quarters(2, 2, greyscale ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    for (int x : { 0, 1 }) {
        for (int y : { 0, 1 }) {
            const QColor seen = average(thumb, QRect(10 + 50 * x, 10 + 60 * y, 30, 40));
            QVERIFY2(near(seen, expected.pixelColor(x, y), 12),
                qPrintable(seen.name() + u" vs "_s + expected.pixelColor(x, y).name()));
        }
    }
}

bool isPlaceholder(const QImage& thumb)
{
    return thumb.size() == QSize(Thumbnails::Width, Thumbnails::Height)
        && near(average(thumb, thumb.rect()), TileColour, 2);
}

} // namespace

class TestThumbnails : public QObject
{
    Q_OBJECT

private slots:
    void scaleNumerator_data();
    void scaleNumerator();
    void covers_data();
    void covers();
    void damaged_data();
    void damaged();
    void mangledCovers();
    void hugePicturesAreNeverDecoded();
};

void TestThumbnails::scaleNumerator_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("numerator");
    QTest::newRow("exactly 8x") << 800 << 960 << 1;
    QTest::newRow("one pixel short") << 792 << 960 << 2;
    QTest::newRow("height decides") << 2000 << 500 << 2;
    QTest::newRow("odd size rounds up") << 67 << 80 << 12;
    QTest::newRow("too small for 2x") << 10 << 10 << 8;
}

void TestThumbnails::scaleNumerator()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, numerator);
    QCOMPARE(Thumbnails::jpegScaleNumerator(width, height), numerator);
}

// Whole covers of any size and kind come out stretched to 100 x 120 the right way
// round; a tag that names no known kind gives the placeholder, and no complaint.
void TestThumbnails::covers_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("greyscale");
    QTest::addColumn<bool>("decoded");
    const QByteArray jpeg = encoded(quarters(300, 360), "JPG");
    const QByteArray bmp = encoded(quarters(333, 211), "BMP");
    QTest::newRow("portrait") << u"jpg"_s << encoded(quarters(1600, 2400), "JPG") << false << true;
    QTest::newRow("landscape") << u"jpg"_s << encoded(quarters(2400, 1000), "JPG") << false << true;
    QTest::newRow("exact") << u"JPG"_s << encoded(quarters(100, 120), "JPG") << false << true;
    QTest::newRow("just larger") << u"jpg"_s << encoded(quarters(101, 121), "JPG") << false << true;
    QTest::newRow("tiny") << u"jpg"_s << encoded(quarters(16, 12), "JPG") << false << true;
    QTest::newRow("thin strip") << u"Jpg"_s << encoded(quarters(3000, 40), "JPG") << false << true;
    QTest::newRow("greyscale") << u"jpg"_s << encoded(quarters(480, 700, QImage::Format_Grayscale8), "JPG") << true
                               << true;
    QTest::newRow("cmyk") << u"JPG"_s << ::cmykJpeg(quarters(400, 500)) << false << true;
    QTest::newRow("bmp") << u"bmp"_s << bmp << false << true;
    QTest::newRow("BMP") << u"BMP"_s << bmp << false << true;
    QTest::newRow("empty tag, picture present") << QString() << jpeg << false << false;
    QTest::newRow("png") << u"PNG"_s << encoded(quarters(300, 360), "PNG") << false << true;
    QTest::newRow("unknown tag") << u"tga"_s << bmp << false << false;
    QTest::newRow("jpeg with blanks") << u" jpg"_s << jpeg << false << false;
}

void TestThumbnails::covers()
{
    QFETCH(QString, tag);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, greyscale);
    QFETCH(bool, decoded);
    bool damaged = true;
    const QImage thumb = Thumbnails::makeThumbnail(tag, bytes, tile(), &damaged);
    QVERIFY(!damaged);
    if (decoded)
        verifyQuarters(thumb, greyscale);
    else
        QVERIFY(isPlaceholder(thumb));
}

void TestThumbnails::damaged_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray jpeg = encoded(quarters(300, 360), "JPG");
    const QByteArray bmp = encoded(quarters(300, 360), "BMP");
    QTest::newRow("jpeg: no bytes") << u"jpg"_s << QByteArray();
    QTest::newRow("jpeg: text") << u"jpg"_s << QByteArray("this is not a picture");
    QTest::newRow("jpeg: cut in the header") << u"jpg"_s << jpeg.left(40);
    QTest::newRow("jpeg: bmp bytes") << u"jpg"_s << bmp;
    QByteArray zeroWidth = jpeg;
    const qsizetype frame = zeroWidth.indexOf("\xFF\xC0");
    QVERIFY(frame > 0);
    zeroWidth[frame + 7] = 0; // frame header: marker, length, precision, height, width
    zeroWidth[frame + 8] = 0;
    QTest::newRow("jpeg: width zero") << u"jpg"_s << zeroWidth;
    QByteArray huge = jpeg;
    huge[frame + 5] = huge[frame + 7] = char(0xFD); // 65000 x 65000 claimed by a small file
    huge[frame + 6] = huge[frame + 8] = char(0xE8);
    QTest::newRow("jpeg: absurd size") << u"jpg"_s << huge;
    QTest::newRow("bmp: no bytes") << u"bmp"_s << QByteArray();
    QTest::newRow("bmp: text") << u"bmp"_s << QByteArray("BM this is not a picture");
    QTest::newRow("bmp: jpeg bytes") << u"bmp"_s << jpeg;
    QTest::newRow("bmp: cut in the header") << u"bmp"_s << bmp.left(30);
}

void TestThumbnails::damaged()
{
    QFETCH(QString, tag);
    QFETCH(QByteArray, bytes);
    bool damaged = false;
    const QImage thumb = Thumbnails::makeThumbnail(tag, bytes, tile(), &damaged);
    QVERIFY(damaged);
    QVERIFY(isPlaceholder(thumb));
    QCOMPARE(thumb.format(), Thumbnails::Format);
}

// Stored pictures are data from outside: whatever their bytes, a thumbnail comes out.
void TestThumbnails::mangledCovers()
{
    const QByteArray sources[] = { encoded(quarters(320, 400), "JPG"),
        encoded(quarters(320, 400, QImage::Format_Grayscale8), "JPG"), encoded(quarters(90, 70), "BMP") };
    QRandomGenerator random(20240601);
    for (int round = 0; round < 300; ++round) {
        const QByteArray& source = sources[round % 3];
        QByteArray bytes = source;
        const int damage = random.bounded(3);
        if (damage == 0) {
            bytes.truncate(random.bounded(int(source.size())));
        } else {
            for (int flips = random.bounded(1, 12); flips > 0; --flips)
                bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
        }
        const QImage thumb = Thumbnails::makeThumbnail(round % 3 == 2 ? u"bmp"_s : u"jpg"_s, bytes, tile());
        QCOMPARE(thumb.size(), QSize(Thumbnails::Width, Thumbnails::Height));
    }
}

void TestThumbnails::hugePicturesAreNeverDecoded()
{
    // 20000 x 20000 progressive: more than a gigabyte of coefficients had it been decoded.
    const QByteArray jpeg = hugeProgressiveJpeg(20000, 20000);
    QVERIFY(!jpeg.isEmpty());
    QCOMPARE(Thumbnails::declaredSize(jpeg), QSize(20000, 20000));
    int code = 0;
    QVERIFY(Thumbnails::decodeJpeg(jpeg, QSize(100, 120), &code).isNull());
    QCOMPARE(code, int(JERR_IMAGE_TOO_BIG));
    bool damaged = false;
    QVERIFY(isPlaceholder(Thumbnails::makeThumbnail(u"jpg"_s, jpeg, tile(), &damaged)));
    QVERIFY(damaged);
    // The editor's panels: the unreadable-picture message of their tag.
    QCOMPARE(BookPictures::decodeStored(u"jpg"_s, jpeg, QSize(240, 160)).error, BookPictures::jpegErrorText(code));
    const QByteArray bmp = hugeBmp(30000, 30000);
    QVERIFY(isPlaceholder(Thumbnails::makeThumbnail(u"bmp"_s, bmp, tile(), &damaged)));
    QVERIFY(damaged);
    QCOMPARE(BookPictures::decodeStored(u"bmp"_s, bmp, QSize(240, 160)).error, u"Bitmap image is not valid"_s);
    // The limit itself, and pictures within it decode as before.
    QVERIFY(!Thumbnails::isTooLarge(QSize(8000, 8000)));
    QVERIFY(Thumbnails::isTooLarge(QSize(8001, 8000)));
    QCOMPARE(Thumbnails::tooLargeText(QSize(20000, 20000)), u"图片太大：20000×20000 像素，最大 6400 万像素"_s);
    const QByteArray small = hugeProgressiveJpeg(64, 64);
    QVERIFY(!Thumbnails::decodeJpeg(small, QSize(100, 120), &code).isNull());
    QVERIFY(!isPlaceholder(Thumbnails::makeThumbnail(u"jpg"_s, small, tile(), &damaged)));
}

QTEST_GUILESS_MAIN(TestThumbnails)
#include "test_thumbnails.moc"
