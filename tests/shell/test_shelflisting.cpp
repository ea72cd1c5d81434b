#include "pictures/CoverFixture.h"
#include "data/test_recordset_fixture.h"

#include "shell/ShelfListing.h"
#include "pictures/ThumbnailCache.h"
#include "pictures/Thumbnails.h"

#include <QThread>

using namespace Qt::StringLiterals;

namespace {

QByteArray bmp(const QColor& colour)
{
    return picture(colour, "BMP");
}

QColor colourOf(int n)
{
    return QColor::fromHsv((n * 37) % 360, 200, 220);
}

QColor middleColour(const QImage& thumb)
{
    return thumb.pixelColor(Thumbnails::Width / 2, Thumbnails::Height / 2);
}

QStringList captions(const ShelfContent& content)
{
    QStringList list;
    for (const ShelfItem& item : content.items)
        list << item.caption;
    return list;
}

// Each item's thumbnail: 100 x 120, its middle in the expected colour.
void verifyCovers(const ShelfContent& content, const QList<QColor>& expected)
{
    QCOMPARE(content.items.size(), expected.size());
    for (qsizetype n = 0; n < expected.size(); ++n) {
        QCOMPARE(content.items.at(n).thumbnail.size(), QSize(Thumbnails::Width, Thumbnails::Height));
        QVERIFY2(
            near(middleColour(content.items.at(n).thumbnail), expected.at(n)), qPrintable(content.items.at(n).caption));
    }
}

struct Shelf : LibraryFixture
{
    Shelf() { db().execute(u"PRAGMA synchronous = OFF"_s); } // a scratch file: no need to wait for the disk

    // Swaps a cover with a plain statement, as another program would.
    void setCover(qint64 id, const QByteArray& cover)
    {
        db().execute(
            u"update baseshu set facepic = X'%1' where id = %2"_s.arg(QString::fromLatin1(cover.toHex())).arg(id));
    }

    quint64 decodes(const QString& status)
    {
        const quint64 before = Thumbnails::decodeCount();
        last = listing.byStatus(status);
        return Thumbnails::decodeCount() - before;
    }

    ShelfListing listing { db(), tile() };
    ShelfContent last;
};

} // namespace

class TestShelfListing : public QObject
{
    Q_OBJECT

private slots:
    void byStatusKeepsEngineOrder();
    void byStatus_data();
    void byStatus();
    void byCategory_data();
    void byCategory();
    void damagedCoversAmongGoodOnes();
    void secondListingDecodesNothing();
    void changedCoverIsDecodedAgain_data();
    void changedCoverIsDecodedAgain();
    void coverChangedDuringListingIsNotCached();
    void readOnlyFileStillLists();
};

void TestShelfListing::byStatusKeepsEngineOrder()
{
    // Enough covers to keep every worker busy: the n-th item must still show the n-th cover.
    Shelf f;
    QList<qint64> ids;
    QList<QColor> colours;
    for (int n = 0; n < 30; ++n) {
        const bool isBmp = n % 5 == 3;
        colours << colourOf(n);
        ids << f.addBook(u"书%1"_s.arg(n), u"正在读"_s, std::nullopt, isBmp ? u"BMP"_s : u"jpg"_s,
            isBmp ? bmp(colours.last()) : picture(colours.last()));
        f.addBook(u"别的%1"_s.arg(n), u"已读完"_s, std::nullopt, u"jpg"_s, picture(Qt::black));
    }

    const ShelfContent content = f.listing.byStatus(u"正在读"_s);
    verifyCovers(content, colours);
    for (int n = 0; n < 30; ++n) {
        QCOMPARE(content.items.at(n).caption, u"书%1"_s.arg(n));
        QCOMPARE(content.items.at(n).id, ids.at(n));
    }
    QCOMPARE(content.statusText, std::optional(u"          [正在读]--数量：30"_s));
    QVERIFY(content.messages.isEmpty());
}

void TestShelfListing::byStatus_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("statusText");
    QTest::newRow("not read") << u"还没读"_s << QStringList { u"甲"_s, u"丁's"_s } << u"          [还没读]--数量：2"_s;
    QTest::newRow("blanks are trimmed") << u" 还没读 "_s << QStringList { u"甲"_s, u"丁's"_s }
                                        << u"          [ 还没读 ]--数量：2"_s;
    QTest::newRow("finished") << u"已读完"_s << QStringList { u"乙"_s } << u"          [已读完]--数量：1"_s;
    QTest::newRow("nobody") << u"正在读"_s << QStringList() << u"          [正在读]--数量：0"_s;
    QTest::newRow("quote in status") << u"x' or '1'='1"_s << QStringList() << u"          [x' or '1'='1]--数量：0"_s;
}

void TestShelfListing::byStatus()
{
    QFETCH(QString, status);
    QFETCH(QStringList, names);
    QFETCH(QString, statusText);
    Shelf f;
    f.addBook(u"甲"_s, u"还没读"_s, std::nullopt, u"jpg"_s, picture(Qt::red));
    f.addBook(u"乙"_s, u"已读完"_s);
    f.addBook(u"丙"_s, u"其他"_s, std::nullopt, u"jpg"_s, picture(Qt::red));
    f.addBook(u"丁's"_s, u"还没读"_s, std::nullopt, QString(), picture(Qt::green)); // no tag: placeholder

    // Twice: the same listing again, without duplicated items.
    for (int round = 0; round < 2; ++round) {
        const ShelfContent content = f.listing.byStatus(status);
        QCOMPARE(captions(content), names);
        QCOMPARE(content.statusText, std::optional(statusText));
    }
    verifyCovers(f.listing.byStatus(u"还没读"_s), { Qt::red, TileColour });
}

void TestShelfListing::byCategory_data()
{
    QTest::addColumn<QString>("category");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<std::optional<QString>>("statusText");
    QTest::newRow("quote in name") << u"O'Reilly 丛书"_s << QStringList { u"一"_s, u"三"_s }
                                   << std::optional(u"[O'Reilly 丛书]--数量：2"_s);
    QTest::newRow("typed with blanks") << u" O'Reilly 丛书 "_s << QStringList { u"一"_s, u"三"_s }
                                       << std::optional(u"[ O'Reilly 丛书 ]--数量：2"_s);
    QTest::newRow("empty category") << u"空类"_s << QStringList() << std::optional(u"[空类]--数量：0"_s);
    QTest::newRow("unknown category") << u"没有这类"_s << QStringList() << std::optional<QString>();
}

void TestShelfListing::byCategory()
{
    QFETCH(QString, category);
    QFETCH(QStringList, names);
    QFETCH(std::optional<QString>, statusText);
    Shelf f;
    const qint64 books = f.category(u"O'Reilly 丛书"_s);
    f.category(u"空类"_s);
    f.addBook(u"一"_s, u"还没读"_s, books, u"jpg"_s, picture(Qt::red));
    f.addBook(u"二"_s, u"还没读"_s, f.category(u"别类"_s), u"jpg"_s, picture(Qt::red));
    f.addBook(u"三"_s, u"正在读"_s, books, u"bmp"_s, bmp(Qt::blue));
    f.addBook(u"四"_s, u"正在读"_s, std::nullopt, u"jpg"_s, picture(Qt::red)); // no category

    const ShelfContent content = f.listing.byCategory(category);
    QCOMPARE(captions(content), names);
    QCOMPARE(content.statusText, statusText);
    QVERIFY(content.messages.isEmpty());
}

void TestShelfListing::damagedCoversAmongGoodOnes()
{
    Shelf f;
    f.addBook(u"好一"_s, u"正在读"_s, std::nullopt, u"jpg"_s, picture(Qt::red));
    f.addBook(u"坏JPEG"_s, u"正在读"_s, std::nullopt, u"JPG"_s, QByteArray("not a jpeg at all"));
    f.addBook(u"好二"_s, u"正在读"_s, std::nullopt, u"Bmp"_s, bmp(Qt::green));
    f.addBook(u"坏BMP"_s, u"正在读"_s, std::nullopt, u"bmp"_s, picture(Qt::red).left(200));
    f.addBook(u"空JPEG"_s, u"正在读"_s, std::nullopt, u"jpg"_s);
    f.addBook(u"好三"_s, u"正在读"_s, std::nullopt, u"jpg"_s, picture(Qt::blue));

    for (int round = 0; round < 2; ++round) { // damaged covers are never cached: told again
        const ShelfContent content = f.listing.byStatus(u"正在读"_s);
        QCOMPARE(content.messages,
            QStringList({ u"坏JPEG图片有误请修改"_s, u"坏BMP图片有误请修改"_s, u"空JPEG图片有误请修改"_s }));
        verifyCovers(content, { Qt::red, TileColour, Qt::green, TileColour, TileColour, Qt::blue });
        QCOMPARE(content.statusText, std::optional(u"          [正在读]--数量：6"_s));
    }
}

void TestShelfListing::secondListingDecodesNothing()
{
    Shelf f;
    for (int n = 0; n < 12; ++n)
        f.addBook(u"书%1"_s.arg(n), u"正在读"_s, std::nullopt, n % 3 ? u"jpg"_s : u"bmp"_s,
            n % 3 ? picture(colourOf(n)) : bmp(colourOf(n)));
    f.addBook(u"无封面"_s, u"正在读"_s);

    QCOMPARE(f.decodes(u"正在读"_s), quint64(12));
    const ShelfContent first = f.last;
    QCOMPARE(ThumbnailCache(f.db().handle()).size(), 12); // placeholders are not stored
    QCOMPARE(f.decodes(u"正在读"_s), quint64(0));
    QCOMPARE(captions(f.last), captions(first));
    for (qsizetype n = 0; n < first.items.size(); ++n)
        QCOMPARE(f.last.items.at(n).thumbnail, first.items.at(n).thumbnail);

    // A title edited through a record set leaves the cover's thumbnail cached.
    RecordSet book(f.db());
    book.setSql(u" select *  from baseshu where id=1"_s);
    book.open();
    book.setText(u"name"_s, u"新书名"_s);
    book.post();
    QCOMPARE(f.decodes(u"正在读"_s), quint64(0));
    QCOMPARE(f.last.items.at(0).caption, u"新书名"_s);

    // Without the cache every cover is decoded again.
    f.listing.setCacheEnabled(false);
    QCOMPARE(f.decodes(u"正在读"_s), quint64(12));
}

void TestShelfListing::changedCoverIsDecodedAgain_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("record set: cover") << u"recordset"_s;
    QTest::newRow("raw statement: cover") << u"sql"_s;
    QTest::newRow("record set: tag cleared") << u"tag"_s;
    QTest::newRow("deleted and added again") << u"readd"_s;
}

void TestShelfListing::changedCoverIsDecodedAgain()
{
    QFETCH(QString, how);
    Shelf f;
    f.addBook(u"甲"_s, u"正在读"_s, std::nullopt, u"jpg"_s, picture(Qt::red));
    const qint64 id = f.addBook(u"乙"_s, u"正在读"_s, std::nullopt, u"jpg"_s, picture(Qt::red));
    f.listing.byStatus(u"正在读"_s);

    QColor expected = Qt::green;
    quint64 decodes = 1;
    if (how == u"sql"_s) {
        f.setCover(id, bmp(Qt::green)); // a BMP behind a "jpg" tag
        expected = TileColour;
    } else if (how == u"readd"_s) {
        f.db().execute(u"delete from baseshu where id=%1"_s.arg(id));
        f.db().execute(u"update sqlite_sequence set seq = seq - 1 where name = 'baseshu'"_s); // the id comes back
        QCOMPARE(f.addBook(u"乙"_s, u"正在读"_s, std::nullopt, u"jpg"_s, picture(Qt::green)), id);
    } else {
        RecordSet book(f.db());
        book.setSql(u" select *  from baseshu where id=%1"_s.arg(id));
        book.open();
        if (how == u"tag"_s) {
            book.setText(u"格式"_s, QString());
            expected = TileColour;
            decodes = 0;
        } else {
            book.setBytes(u"facepic"_s, picture(Qt::green));
        }
        book.post();
    }

    QCOMPARE(f.decodes(u"正在读"_s), decodes);
    verifyCovers(f.last, { Qt::red, expected });
}

// Progress is told on the calling thread, where the window keeps itself
// responsive while listing; the user may change a cover meanwhile.
void TestShelfListing::coverChangedDuringListingIsNotCached()
{
    Shelf f;
    for (int n = 0; n < 20; ++n)
        f.addBook(u"书%1"_s.arg(n), u"正在读"_s, std::nullopt, u"jpg"_s, picture(Qt::red));
    QList<int> done;
    f.listing.setProgress([&](int count, int total) {
        QCOMPARE(QThread::currentThread(), thread());
        QCOMPARE(total, 20);
        if (done.isEmpty()) {
            f.setCover(20, QByteArray(1, '\0'));
            f.setCover(1, picture(Qt::green));
        }
        done << count;
    });
    const ShelfContent first = f.listing.byStatus(u"正在读"_s);
    QVERIFY(done.size() >= 2);
    QCOMPARE(done.last(), 20);
    QVERIFY(std::is_sorted(done.begin(), done.end()));
    QVERIFY(near(middleColour(first.items.at(0).thumbnail), Qt::red)); // read before the change
    QCOMPARE(ThumbnailCache(f.db().handle()).size(), 0);

    f.listing.setProgress({});
    const ShelfContent again = f.listing.byStatus(u"正在读"_s);
    QVERIFY(near(middleColour(again.items.at(0).thumbnail), Qt::green));
    QCOMPARE(again.messages, QStringList { u"书19图片有误请修改"_s });
}

void TestShelfListing::readOnlyFileStillLists()
{
    Shelf f;
    f.addBook(u"甲"_s, u"还没读"_s, std::nullopt, u"jpg"_s, picture(Qt::red));
    f.addBook(u"乙"_s, u"还没读"_s, std::nullopt, u"bmp"_s, QByteArray("broken"));
    const QString path = f.db().databasePath();
    f.db().close();

    Connection readOnly(u"Data Source=%1;Mode=Read;Jet OLEDB:Database Password=%2"_s.arg(path, f.db().password()));
    ShelfListing listing(readOnly, tile());
    for (int round = 0; round < 2; ++round) {
        const quint64 before = Thumbnails::decodeCount();
        const ShelfContent content = listing.byStatus(u"还没读"_s);
        QCOMPARE(Thumbnails::decodeCount() - before, quint64(2));
        verifyCovers(content, { Qt::red, TileColour });
        QCOMPARE(content.messages, QStringList { u"乙图片有误请修改"_s });
        QCOMPARE(content.statusText, std::optional(u"          [还没读]--数量：2"_s));
    }
}

QTEST_GUILESS_MAIN(TestShelfListing)
#include "test_shelflisting.moc"
