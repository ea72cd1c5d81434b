// The store file's one reader and writer: what it writes is the cipher's
// encrypted file form with the e-book key, byte for byte; what it reads back
// is the plain text; a damaged form is refused before anything is read. And
// the store's names: which are stored names, and which could lead out of the store.

#include "Exception.h"
#include "crypto/AES.h"
#include "format/Companion.h"
#include "format/StoreFile.h"
#include "format/StoreNames.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestStoreFile : public QObject
{
    Q_OBJECT

private slots:
    void sameFormAsTheFileCipher_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : { 0, 1, 15, 16, 17, 4096, 70001 })
            QTest::addRow("%d bytes", size) << size;
    }

    void sameFormAsTheFileCipher()
    {
        QFETCH(int, size);
        QTemporaryDir dir;
        QByteArray plain(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            plain[i] = char(i * 7 + 3);
        const QString source = writeFile(dir.filePath(u"plain"_s), plain);
        const QString cipher = dir.filePath(u"cipher"_s);
        AesEncryptFile(source.toStdString(), cipher.toStdString(), kEbookKey, 2);

        const std::string ours = StoreFile::enciphered(plain.toStdString());
        QCOMPARE(QByteArray::fromStdString(ours), readFile(cipher));
        QCOMPARE(qsizetype(ours.size()), 8 + 16 * ((size + 15) / 16));
        if (size == 0)
            return; // an empty book's form is the header alone, which no reader takes
        QCOMPARE(QByteArray::fromStdString(StoreFile::readAll(cipher)), plain);
        StoreFile::Reader reader(cipher);
        QCOMPARE(reader.plainSize(), qint64(size));
        QByteArray blocks(int(reader.cipherSize()), Qt::Uninitialized);
        QVERIFY(reader.decipher(0, blocks.data(), blocks.size()));
        QCOMPARE(blocks.left(size), plain);
    }

    // Each damage is refused when the file is opened, with the cipher's words.
    void damagedFormsAreRefused_data()
    {
        const QByteArray whole = QByteArray::fromStdString(StoreFile::enciphered(std::string(40, 'a')));
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::addRow("short header") << whole.left(5) << u"Stream read error"_s;
        QTest::addRow("header only") << whole.left(8) << u"Invalid buffer size for decryption"_s;
        QTest::addRow("partial block") << whole.chopped(3) << u"Invalid buffer size for decryption"_s;
        QByteArray longer = whole;
        longer[0] = char(49); // 49 plain bytes claimed, 48 held
        QTest::addRow("length beyond the blocks") << longer << u"Invalid length header in encrypted file"_s;
        QByteArray negative = whole;
        negative[7] = char(0x80);
        QTest::addRow("negative length") << negative << u"Invalid length header in encrypted file"_s;
    }

    void damagedFormsAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = writeFile(dir.filePath(u"damaged"_s), bytes);
        QString said;
        try {
            StoreFile::Reader reader(path);
        } catch (const Exception& e) {
            said = QString::fromUtf8(e.what());
        }
        QCOMPARE(said, error);
        QVERIFY_THROWS_EXCEPTION(Exception, StoreFile::readAll(path));
    }

    // A companion is the store file's form around the serialised text: the
    // file cipher reads it back, and a damaged one reads as none.
    void companionInTheStoreForm()
    {
        QTemporaryDir dir;
        const QString book = dir.filePath(u"2024010203040500670"_s);
        const BookText text = BookText::join({ u"第一页"_s, u"page two"_s });
        Companion::write(book, text);
        const QString path = book + QLatin1String(Companion::suffix);
        QCOMPARE(QByteArray::fromStdString(AesDecryptFileToString(path.toStdString(), kEbookKey, 2)),
            text.serialize());
        QCOMPARE(Companion::read(book)->utf8, text.utf8);
        QVERIFY(!QFile::exists(path + QLatin1String(StoreNames::partSuffix)));

        QByteArray damaged = readFile(path);
        damaged.chop(1);
        writeFile(path, damaged);
        QVERIFY(!Companion::read(book));

        // Read one after another on one thread: a short one after a long one is
        // read whole and alone; a length header claiming more than is there reads as none.
        const QString longBook = dir.filePath(u"2024010203040500671"_s);
        const BookText longText = BookText::join({ QString(300000, u'长'), u"尾"_s });
        Companion::write(longBook, longText);
        Companion::write(book, text);
        QCOMPARE(Companion::read(longBook)->utf8, longText.utf8);
        const std::optional<BookText> shortAgain = Companion::read(book);
        QVERIFY(shortAgain);
        QCOMPARE(shortAgain->utf8, text.utf8);
        QCOMPARE(shortAgain->pageStarts, text.pageStarts);
        QByteArray lying = readFile(path);
        lying[1] = char(lying[1] + 1); // the plain length, little-endian, up by 256
        writeFile(path, lying);
        QVERIFY(!Companion::read(book));
    }

    void storedNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<bool>("plain");
        QTest::addRow("stamp and 0") << u"202401020304050060"_s << true << true;
        QTest::addRow("stamp and 9999") << u"202401020304050069999"_s << true << true;
        QTest::addRow("leading zero") << u"2024010203040500607"_s.insert(17, u'0') << false << true;
        QTest::addRow("five digits") << u"2024010203040500610000"_s << false << true;
        QTest::addRow("short stamp") << u"20240102030405006"_s << false << true;
        QTest::addRow("part file") << u"202401020304050060.part"_s << false << true;
        QTest::addRow("empty") << QString() << false << false;
        QTest::addRow("dot") << u"."_s << false << false;
        QTest::addRow("dot dot") << u".."_s << false << false;
        QTest::addRow("slash") << u"../data/AccessMng.mdb"_s << false << false;
        QTest::addRow("backslash") << u"..\\data"_s << false << false;
        QTest::addRow("nul") << u"2024\u0000x"_s << false << false;
        QTest::addRow("dots inside") << u"a..b"_s << false << true;
    }

    void storedNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, stored);
        QFETCH(bool, plain);
        QCOMPARE(StoreNames::isStoredName(name), stored);
        QCOMPARE(StoreNames::isPlainName(name), plain);
    }

    void stampedNamesAreStoredNames()
    {
        const QDateTime when(QDate(2024, 1, 2), QTime(3, 4, 5, 6));
        QCOMPARE(StoreNames::stamped(when, 70), u"2024010203040500670"_s);
        for (const int random : { 0, 7, 10, 9999 })
            QVERIFY(StoreNames::isStoredName(StoreNames::stamped(when, random)));
    }
};

QTEST_GUILESS_MAIN(TestStoreFile)
#include "test_storefile.moc"
