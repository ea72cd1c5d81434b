// Reading a stored e-book straight from its store file: any byte range as the
// plain book has it, the cipher's errors before anything is read, the whole
// book copied out, and a PDF opened and drawn from the device.

#include "ebooks/TestPdf.h"

#include "Exception.h"
#include "crypto/AES.h"
#include "format/EncryptedPdfDevice.h"

#include <QBuffer>
#include <QFile>
#include <QPdfDocument>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    for (char& c : data)
        c = char(rng.bounded(256));
    return data;
}

QString store(const QTemporaryDir& dir, const QByteArray& plain)
{
    const QString source = dir.filePath(u"plain"_s);
    const QString stored = dir.filePath(u"stored"_s);
    QFile file(source);
    if (!file.open(QIODevice::WriteOnly) || file.write(plain) != plain.size())
        qFatal("cannot write the source");
    file.close();
    AesEncryptFile(source.toStdString(), stored.toStdString(), kEbookKey, 2);
    return stored;
}

QString rawFile(const QTemporaryDir& dir, const QByteArray& bytes)
{
    QFile file(dir.filePath(u"raw"_s));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return file.fileName();
}

} // namespace

class TestEncryptedDevice : public QObject
{
    Q_OBJECT

private slots:
    void sizes_data()
    {
        QTest::addColumn<int>("size");
        for (int size : { 1, 15, 16, 17, 65535, 65536, 65537, 3 * 65536 + 5, 700001 })
            QTest::addRow("%d", size) << size;
    }
    // Reads of every kind (small and scattered, across chunk and block borders,
    // long, past the end) give the plain book's bytes.
    void sizes()
    {
        QFETCH(int, size);
        QTemporaryDir dir;
        const QByteArray plain = noise(size, quint32(size));
        EncryptedPdfDevice device(store(dir, plain));
        QVERIFY(device.isOpen() && device.isReadable() && !device.isWritable() && !device.isSequential());
        QCOMPARE(device.size(), qint64(size));
        QCOMPARE(device.readAll(), plain);
        QVERIFY(device.atEnd());
        QRandomGenerator rng(7);
        for (int i = 0; i < 300; ++i) {
            const qint64 at = rng.bounded(size + 3);
            const qint64 length = rng.bounded(i % 10 == 0 ? 200000 : 300);
            QVERIFY(device.seek(at) || at > size);
            if (at > size)
                continue;
            QCOMPARE(device.read(length), plain.mid(at, length));
        }
        QCOMPARE(device.write("x"), qint64(-1));
        QVERIFY(!device.open(QIODevice::ReadWrite));
    }

    void errorsBeforeAnyRead_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // "<none>": no file at all
        QTest::addColumn<QString>("error");
        QByteArray header(8, '\0');
        header[0] = 40; // 40 plain bytes in only 32 of ciphertext
        QTest::newRow("missing") << "<none>"_ba << u"Cannot open file"_s;
        QTest::newRow("short header") << "abc"_ba << u"Stream read error"_s;
        QTest::newRow("empty book") << QByteArray(8, '\0') << u"Invalid buffer size for decryption"_s;
        QTest::newRow("broken block") << QByteArray(8 + 17, '\1') << u"Invalid buffer size for decryption"_s;
        QTest::newRow("length beyond") << header + QByteArray(32, '\2') << u"Invalid length header in encrypted file"_s;
    }
    void errorsBeforeAnyRead()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = bytes == "<none>" ? dir.filePath(u"none"_s) : rawFile(dir, bytes);
        try {
            EncryptedPdfDevice device(path);
            QFAIL("opened");
        } catch (const Exception& e) {
            QVERIFY2(QString::fromUtf8(e.what()).startsWith(error), e.what());
        }
    }

    // A store file cut short while the book is shown: reads fail instead of inventing bytes.
    void truncatedWhileOpen()
    {
        QTemporaryDir dir;
        const QByteArray plain = noise(300000, 3);
        const QString path = store(dir, plain);
        EncryptedPdfDevice device(path);
        QFile::resize(path, 8 + 65536);
        QCOMPARE(device.read(1000), plain.left(1000));
        QVERIFY(device.seek(200000));
        QCOMPARE(device.read(10), QByteArray());
    }

    void copiesTheWholeBookWithProgress()
    {
        QTemporaryDir dir;
        const QByteArray plain = noise((3 << 20) + 11, 5);
        EncryptedPdfDevice device(store(dir, plain));
        device.read(100); // the copy starts from the beginning whatever was read before
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QList<qint64> seen;
        QVERIFY(device.copyTo(out, [&](qint64 done, qint64 total) {
            seen << done;
            return total == plain.size();
        }));
        QCOMPARE(out.data(), plain);
        QCOMPARE(seen.first(), 0);
        QCOMPARE(seen.last(), qint64(plain.size()));
        QBuffer cancelled;
        cancelled.open(QIODevice::WriteOnly);
        QVERIFY(!device.copyTo(cancelled, [](qint64 done, qint64) { return done < (1 << 20); }));
        QCOMPARE(cancelled.size(), qint64(1 << 20));
    }

    // The PDF engine reads what it needs through the device: pages, outline, password.
    void pdfOpensFromTheDevice()
    {
        QTemporaryDir dir;
        const QByteArray pdf = makePdf(3, "pw");
        EncryptedPdfDevice device(store(dir, pdf));
        QPdfDocument document;
        document.setPassword(u"pw"_s);
        document.load(&device);
        QCOMPARE(document.status(), QPdfDocument::Status::Ready);
        QCOMPARE(document.pageCount(), 3);
        const QImage page = document.render(2, QSize(150, 200));
        QVERIFY(!page.isNull());
        QCOMPARE(page.pixelColor(75, 100).blue() > 150, true); // the blue rectangle
        document.close();
    }
};

QTEST_MAIN(TestEncryptedDevice)
#include "test_encrypteddevice.moc"
