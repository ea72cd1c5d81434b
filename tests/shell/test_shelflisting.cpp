#include "shell/ShelfListing.h"
#include "shell/ThumbnailCache.h"
#include "shell/Thumbnails.h"
#include "shell/udata.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sqlite3.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QColor TileColour(20, 90, 160);

QImage tile()
{
    QImage image(756, 139, QImage::Format_RGB32);
    image.fill(TileColour);
    return image;
}

QByteArray picture(const QColor& colour, const char* format, QSize size = QSize(240, 300))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    return bytes;
}

QByteArray jpeg(const QColor& colour)
{
    return picture(colour, "JPG");
}
QByteArray bmp(const QColor& colour)
{
    return picture(colour, "BMP");
}

QColor middleColour(const QImage& thumb)
{
    return thumb.pixelColor(Thumbnails::Width / 2, Thumbnails::Height / 2);
}

bool near(const QColor& a, const QColor& b)
{
    return qAbs(a.red() - b.red()) <= 8 && qAbs(a.green() - b.green()) <= 8 && qAbs(a.blue() - b.blue()) <= 8;
}

QColor colourOf(int n)
{
    return QColor::fromHsv((n * 37) % 360, 200, 220);
}

} // namespace

class TestShelfListing : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void byStatusKeepsEngineOrder();
    void byStatus_data();
    void byStatus();
    void byCategory_data();
    void byCategory();
    void damagedCoversAmongGoodOnes();
    void progressIsReportedOnTheCallingThread();
    void secondListingDecodesNothing();
    void changedCoverIsDecodedAgain_data();
    void changedCoverIsDecodedAgain();
    void coverChangedDuringListingIsNotCached();
    void readOnlyFileStillLists();

private:
    qint64 addBook(const QString& name, const QString& status, std::optional<qint64> category, const QString& tag,
        const QByteArray& cover);
    qint64 categoryId(const QString& name);
    void exec(const QString& sql);
    Connection& connection() { return m_module->Adocon; }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TDataModule2> m_module;
};

void TestShelfListing::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("QINGHE_HOME", m_dir->path().toUtf8());
    m_module = std::make_unique<TDataModule2>();
    exec(u"PRAGMA synchronous = OFF"_s); // a scratch file: no need to wait for the disk
}

void TestShelfListing::cleanup()
{
    m_module.reset();
    m_dir.reset();
}

qint64 TestShelfListing::addBook(const QString& name, const QString& status, std::optional<qint64> category,
    const QString& tag, const QByteArray& cover)
{
    sqlite3* db = connection().handle();
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(
        db, "insert into baseshu (name, isread, leibie, \"格式\", facepic) values (?, ?, ?, ?, ?)", -1, &stmt, nullptr);
    const QByteArray nameUtf8 = name.toUtf8();
    const QByteArray statusUtf8 = status.toUtf8();
    const QByteArray tagUtf8 = tag.toUtf8();
    sqlite3_bind_text(stmt, 1, nameUtf8.constData(), int(nameUtf8.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, statusUtf8.constData(), int(statusUtf8.size()), SQLITE_TRANSIENT);
    if (category)
        sqlite3_bind_int64(stmt, 3, *category);
    sqlite3_bind_text(stmt, 4, tagUtf8.constData(), int(tagUtf8.size()), SQLITE_TRANSIENT);
    if (!cover.isNull())
        sqlite3_bind_blob(stmt, 5, cover.constData(), int(cover.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        qFatal("insert failed: %s", sqlite3_errmsg(db));
    return sqlite3_last_insert_rowid(db);
}

qint64 TestShelfListing::categoryId(const QString& name)
{
    RecordSet set(connection());
    set.setSql(u"select * from tblei"_s);
    set.open();
    if (!set.locate(u"leib"_s, name)) {
        set.append();
        set.setText(u"leib"_s, name);
        set.post();
    }
    return set.asInteger(u"id"_s).value();
}

void TestShelfListing::exec(const QString& sql)
{
    connection().execute(sql);
}

void TestShelfListing::byStatusKeepsEngineOrder()
{
    // Enough covers to keep every worker busy: the n-th item must still show the n-th cover.
    constexpr int count = 30;
    QList<qint64> ids;
    for (int n = 0; n < count; ++n) {
        const bool isBmp = n % 5 == 3;
        ids << addBook(u"书%1"_s.arg(n), u"正在读"_s, std::nullopt, isBmp ? u"BMP"_s : u"jpg"_s,
            isBmp ? bmp(colourOf(n)) : jpeg(colourOf(n)));
        addBook(u"别的%1"_s.arg(n), u"已读完"_s, std::nullopt, u"jpg"_s, jpeg(Qt::black));
    }

    ShelfListing listing(connection(), tile());
    const ShelfContent content = listing.byStatus(u"正在读"_s);
    QCOMPARE(content.items.size(), count);
    for (int n = 0; n < count; ++n) {
        const ShelfItem& item = content.items.at(n);
        QCOMPARE(item.caption, u"书%1"_s.arg(n));
        QCOMPARE(item.id, ids.at(n));
        QCOMPARE(item.thumbnail.size(), QSize(Thumbnails::Width, Thumbnails::Height));
        QVERIFY2(near(middleColour(item.thumbnail), colourOf(n)), qPrintable(item.caption));
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
    addBook(u"甲"_s, u"还没读"_s, std::nullopt, u"jpg"_s, jpeg(Qt::red));
    addBook(u"乙"_s, u"已读完"_s, std::nullopt, QString(), QByteArray());
    addBook(u"丙"_s, u"其他"_s, std::nullopt, u"jpg"_s, jpeg(Qt::red));
    addBook(u"丁's"_s, u"还没读"_s, std::nullopt, QString(), jpeg(Qt::green)); // no tag: placeholder

    ShelfListing listing(connection(), tile());
    // Twice: the same listing again, without duplicated items.
    for (int round = 0; round < 2; ++round) {
        const ShelfContent content = listing.byStatus(status);
        QStringList captions;
        for (const ShelfItem& item : content.items)
            captions << item.caption;
        QCOMPARE(captions, names);
        QCOMPARE(content.statusText, std::optional(statusText));
    }
    const ShelfContent content = listing.byStatus(u"还没读"_s);
    QVERIFY(near(middleColour(content.items.at(0).thumbnail), Qt::red));
    QVERIFY(near(middleColour(content.items.at(1).thumbnail), TileColour));
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
    const qint64 books = categoryId(u"O'Reilly 丛书"_s);
    categoryId(u"空类"_s);
    const qint64 other = categoryId(u"别类"_s);
    addBook(u"一"_s, u"还没读"_s, books, u"jpg"_s, jpeg(Qt::red));
    addBook(u"二"_s, u"还没读"_s, other, u"jpg"_s, jpeg(Qt::red));
    addBook(u"三"_s, u"正在读"_s, books, u"bmp"_s, bmp(Qt::blue));
    addBook(u"四"_s, u"正在读"_s, std::nullopt, u"jpg"_s, jpeg(Qt::red)); // no category

    ShelfListing listing(connection(), tile());
    const ShelfContent content = listing.byCategory(category);
    QStringList captions;
    for (const ShelfItem& item : content.items)
        captions << item.caption;
    QCOMPARE(captions, names);
    QCOMPARE(content.statusText, statusText);
    QVERIFY(content.messages.isEmpty());
}

void TestShelfListing::damagedCoversAmongGoodOnes()
{
    addBook(u"好一"_s, u"正在读"_s, std::nullopt, u"jpg"_s, jpeg(Qt::red));
    addBook(u"坏JPEG"_s, u"正在读"_s, std::nullopt, u"JPG"_s, QByteArray("not a jpeg at all"));
    addBook(u"好二"_s, u"正在读"_s, std::nullopt, u"Bmp"_s, bmp(Qt::green));
    addBook(u"坏BMP"_s, u"正在读"_s, std::nullopt, u"bmp"_s, jpeg(Qt::red).left(200));
    addBook(u"空JPEG"_s, u"正在读"_s, std::nullopt, u"jpg"_s, QByteArray());
    addBook(u"好三"_s, u"正在读"_s, std::nullopt, u"jpg"_s, jpeg(Qt::blue));

    ShelfListing listing(connection(), tile());
    for (int round = 0; round < 2; ++round) { // damaged covers are never cached: told again
        const ShelfContent content = listing.byStatus(u"正在读"_s);
        QCOMPARE(content.items.size(), 6);
        QCOMPARE(content.messages,
            QStringList({ u"坏JPEG图片有误请修改"_s, u"坏BMP图片有误请修改"_s, u"空JPEG图片有误请修改"_s }));
        const QColor expected[] = { Qt::red, TileColour, Qt::green, TileColour, TileColour, Qt::blue };
        for (int n = 0; n < 6; ++n) {
            QCOMPARE(content.items.at(n).thumbnail.size(), QSize(Thumbnails::Width, Thumbnails::Height));
            QVERIFY2(near(middleColour(content.items.at(n).thumbnail), expected[n]),
                qPrintable(content.items.at(n).caption));
        }
        QCOMPARE(content.statusText, std::optional(u"          [正在读]--数量：6"_s));
    }
}

void TestShelfListing::progressIsReportedOnTheCallingThread()
{
    for (int n = 0; n < 20; ++n)
        addBook(u"书%1"_s.arg(n), u"还没读"_s, std::nullopt, n % 2 ? u"jpg"_s : QString(), jpeg(colourOf(n)));
    ShelfListing listing(connection(), tile());
    QList<std::pair<int, int>> calls;
    listing.setProgress([&](int done, int total) {
        QCOMPARE(QThread::currentThread(), thread());
        calls.append({ done, total });
    });
    listing.byStatus(u"还没读"_s);
    QVERIFY(calls.size() >= 2);
    QCOMPARE(calls.last(), std::make_pair(20, 20));
    for (qsizetype i = 1; i < calls.size(); ++i)
        QVERIFY(calls.at(i).first > calls.at(i - 1).first);
}

void TestShelfListing::secondListingDecodesNothing()
{
    for (int n = 0; n < 12; ++n)
        addBook(u"书%1"_s.arg(n), u"正在读"_s, std::nullopt, n % 3 ? u"jpg"_s : u"bmp"_s,
            n % 3 ? jpeg(colourOf(n)) : bmp(colourOf(n)));
    addBook(u"无封面"_s, u"正在读"_s, std::nullopt, QString(), QByteArray());

    ShelfListing listing(connection(), tile());
    quint64 before = Thumbnails::decodeCount();
    const ShelfContent first = listing.byStatus(u"正在读"_s);
    QCOMPARE(Thumbnails::decodeCount() - before, quint64(12));
    QCOMPARE(ThumbnailCache(connection().handle()).size(), 12); // placeholders are not stored

    before = Thumbnails::decodeCount();
    const ShelfContent again = listing.byStatus(u"正在读"_s);
    QCOMPARE(Thumbnails::decodeCount() - before, quint64(0));
    QCOMPARE(again.items.size(), first.items.size());
    for (qsizetype n = 0; n < first.items.size(); ++n) {
        QCOMPARE(again.items.at(n).caption, first.items.at(n).caption);
        QCOMPARE(again.items.at(n).thumbnail, first.items.at(n).thumbnail);
    }

    // A title edited through a record set leaves the cover's thumbnail cached.
    RecordSet book(connection());
    book.setSql(u" select *  from baseshu where id=1"_s);
    book.open();
    book.edit();
    book.setText(u"name"_s, u"新书名"_s);
    book.post();
    before = Thumbnails::decodeCount();
    QCOMPARE(listing.byStatus(u"正在读"_s).items.at(0).caption, u"新书名"_s);
    QCOMPARE(Thumbnails::decodeCount() - before, quint64(0));

    // Without the cache every cover is decoded again.
    listing.setCacheEnabled(false);
    before = Thumbnails::decodeCount();
    listing.byStatus(u"正在读"_s);
    QCOMPARE(Thumbnails::decodeCount() - before, quint64(12));
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
    addBook(u"甲"_s, u"正在读"_s, std::nullopt, u"jpg"_s, jpeg(Qt::red));
    const qint64 id = addBook(u"乙"_s, u"正在读"_s, std::nullopt, u"jpg"_s, jpeg(Qt::red));
    ShelfListing listing(connection(), tile());
    listing.byStatus(u"正在读"_s);

    QColor expected = Qt::green;
    quint64 decodes = 1;
    if (how == u"sql"_s) {
        sqlite3* db = connection().handle();
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "update baseshu set facepic = ? where id = ?", -1, &stmt, nullptr);
        const QByteArray cover = bmp(Qt::green);
        sqlite3_bind_blob(stmt, 1, cover.constData(), int(cover.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 2, id);
        QCOMPARE(sqlite3_step(stmt), SQLITE_DONE); // a BMP behind a "jpg" tag
        sqlite3_finalize(stmt);
        expected = TileColour;
    } else if (how == u"readd"_s) {
        exec(u"delete from baseshu where id=%1"_s.arg(id));
        exec(u"update sqlite_sequence set seq = seq - 1 where name = 'baseshu'"_s); // the id comes back
        QCOMPARE(addBook(u"乙"_s, u"正在读"_s, std::nullopt, u"jpg"_s, jpeg(Qt::green)), id);
    } else {
        RecordSet book(connection());
        book.setSql(u" select *  from baseshu where id=%1"_s.arg(id));
        book.open();
        book.edit();
        if (how == u"tag"_s) {
            book.setText(u"格式"_s, QString());
            expected = TileColour;
            decodes = 0;
        } else {
            book.setBytes(u"facepic"_s, jpeg(Qt::green));
        }
        book.post();
    }

    const quint64 before = Thumbnails::decodeCount();
    const ShelfContent content = listing.byStatus(u"正在读"_s);
    QCOMPARE(Thumbnails::decodeCount() - before, decodes);
    QVERIFY(near(middleColour(content.items.at(0).thumbnail), Qt::red));
    QVERIFY(near(middleColour(content.items.at(1).thumbnail), expected));
}

void TestShelfListing::coverChangedDuringListingIsNotCached()
{
    for (int n = 0; n < 20; ++n)
        addBook(u"书%1"_s.arg(n), u"正在读"_s, std::nullopt, u"jpg"_s, jpeg(Qt::red));
    ShelfListing listing(connection(), tile());
    bool edited = false;
    // The window keeps itself responsive while listing; the user may change a cover meanwhile.
    listing.setProgress([&](int, int) {
        if (edited)
            return;
        edited = true;
        exec(u"update baseshu set facepic = X'00' where id = 20"_s);
        sqlite3* db = connection().handle();
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "update baseshu set facepic = ? where id = 1", -1, &stmt, nullptr);
        const QByteArray cover = jpeg(Qt::green);
        sqlite3_bind_blob(stmt, 1, cover.constData(), int(cover.size()), SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_finalize(stmt);
    });
    const ShelfContent first = listing.byStatus(u"正在读"_s);
    QVERIFY(edited);
    QVERIFY(near(middleColour(first.items.at(0).thumbnail), Qt::red)); // read before the change
    QCOMPARE(ThumbnailCache(connection().handle()).size(), 0);

    listing.setProgress({});
    const ShelfContent again = listing.byStatus(u"正在读"_s);
    QVERIFY(near(middleColour(again.items.at(0).thumbnail), Qt::green));
    QCOMPARE(again.messages, QStringList { u"书19图片有误请修改"_s });
}

void TestShelfListing::readOnlyFileStillLists()
{
    addBook(u"甲"_s, u"还没读"_s, std::nullopt, u"jpg"_s, jpeg(Qt::red));
    addBook(u"乙"_s, u"还没读"_s, std::nullopt, u"bmp"_s, QByteArray("broken"));
    const QString path = connection().databasePath();
    connection().close();

    Connection readOnly(
        u"Data Source=%1;Mode=Read;Jet OLEDB:Database Password=%2"_s.arg(path, connection().password()));
    ShelfListing listing(readOnly, tile());
    for (int round = 0; round < 2; ++round) {
        const quint64 before = Thumbnails::decodeCount();
        const ShelfContent content = listing.byStatus(u"还没读"_s);
        QCOMPARE(Thumbnails::decodeCount() - before, quint64(2));
        QCOMPARE(content.items.size(), 2);
        QVERIFY(near(middleColour(content.items.at(0).thumbnail), Qt::red));
        QCOMPARE(content.messages, QStringList { u"乙图片有误请修改"_s });
        QCOMPARE(content.statusText, std::optional(u"          [还没读]--数量：2"_s));
    }
}

QTEST_GUILESS_MAIN(TestShelfListing)
#include "test_shelflisting.moc"
