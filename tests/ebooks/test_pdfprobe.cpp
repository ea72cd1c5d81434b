// A document that makes the PDF engine loop is tried in a helper process with a
// time limit, never loaded here; the answer is kept in qh_pdfcheck.

#include "data/test_recordset_fixture.h"

#include "TestPdf.h"
#include "crypto/AES.h"

#include "ebooks/EbookStore.h"
#include "ebooks/PdfGuard.h"
#include "ebooks/PdfProbe.h"
#include "format/EncryptedPdfDevice.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return file.fileName();
}

PdfProbe::Result probeBytes(QByteArray bytes, const QString& password = {})
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return PdfProbe::probe(buffer, password, 10000);
}

} // namespace

class TestPdfProbe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        PdfProbe::setProgram(QStringLiteral(QINGHE_PROGRAM));
        PdfProbe::setDefaultTimeLimitMs(10000);
    }

    void storeReaderGivesThePlainBytesInChunks()
    {
        QTemporaryDir dir;
        EbookStore store(dir.filePath(u"corvina"_s));
        QDir().mkpath(store.folder());
        // Sizes around the block and chunk sizes.
        for (const qint64 size : { qint64(1), qint64(16), qint64(17), qint64(256 * 1024), qint64(256 * 1024 + 5),
                 qint64(3 * 1024 * 1024 + 7) }) {
            QByteArray plain(size, '\0');
            for (qint64 i = 0; i < size; ++i)
                plain[i] = char((i * 131 + size) & 0xff);
            const QString name = store.newStoredName();
            store.store(write(dir, u"src"_s, plain), name);
            EncryptedPdfDevice reader(store.path(name));
            QCOMPARE(reader.size(), size);
            QByteArray got;
            for (QByteArray part; !(part = reader.read(1000 + size % 7)).isEmpty();)
                got += part;
            QCOMPARE(got.size(), plain.size());
            QVERIFY(got == plain);
        }
        // A damaged store file reports what the cipher reports.
        const QString damaged = write(dir, u"damaged"_s, QByteArray(8, '\0') + "abc");
        QVERIFY_THROWS_EXCEPTION(EAESError, EncryptedPdfDevice { damaged });
        QVERIFY_THROWS_EXCEPTION(EFOpenError, EncryptedPdfDevice { dir.filePath(u"none"_s) });
    }

    void probeAnswers()
    {
        QCOMPARE(probeBytes(makePdf(3)), PdfProbe::Result::Ok);
        QCOMPARE(probeBytes(makePdf(2, "pw"), u"pw"_s), PdfProbe::Result::Ok);
        QCOMPARE(probeBytes(makePdf(2, "pw"), u"other"_s), PdfProbe::Result::WrongPassword);
        QCOMPARE(probeBytes("not a PDF at all"), PdfProbe::Result::Damaged);
        QCOMPARE(probeBytes({}), PdfProbe::Result::Damaged);
        // The engine loops on this one: the helper is ended at the time limit.
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(probeBytes(makeLoopingPdf()), PdfProbe::Result::BadStructure);
        QVERIFY(clock.elapsed() < 60000);
        // No helper to start: nothing is known.
        PdfProbe::setProgram(u"/nonexistent/qinghe"_s);
        QCOMPARE(probeBytes(makePdf(1)), PdfProbe::Result::NotChecked);
        PdfProbe::setProgram(QStringLiteral(QINGHE_PROGRAM));
    }

    void guardKeepsItsAnswersByStoredName()
    {
        LibraryFixture library;
        const QTemporaryDir& dir = library.dir;
        EbookStore store(dir.filePath(u"corvina"_s));
        QDir().mkpath(store.folder());
        const QString good = store.newStoredName();
        store.store(write(dir, u"good.pdf"_s, makePdf(2)), good);
        const QString looping = store.newStoredName({ good });
        store.store(write(dir, u"loop.pdf"_s, makeLoopingPdf()), looping);
        const QString locked = store.newStoredName({ good, looping });
        store.store(write(dir, u"locked.pdf"_s, makePdf(1, "pw")), locked);

        PdfGuard guard(library.db());
        QVERIFY(guard.isSafe(store, good, {}));
        QVERIFY(!guard.isSafe(store, looping, {}));
        QCOMPARE(guard.recorded(good), u"ok"_s);
        QCOMPARE(guard.recorded(looping), u"bad"_s);
        // A wrong password is the engine's to report, and not kept: the right one is checked later.
        QVERIFY(guard.isSafe(store, locked, u"wrong"_s));
        QCOMPARE(guard.recorded(locked), QString());

        // Later answers come from the table: no helper is started for them.
        PdfProbe::setProgram(u"/nonexistent/qinghe"_s);
        QVERIFY(guard.isSafe(store, good, {}));
        QVERIFY(!guard.isSafe(store, looping, {}));
        PdfProbe::setProgram(QStringLiteral(QINGHE_PROGRAM));
        guard.forget(looping);
        QCOMPARE(guard.recorded(looping), QString());
        // A hostile stored name is a value, never statement text.
        QCOMPARE(guard.recorded(u"x' or '1'='1"_s), QString());
        // A missing store file fails as reading it would.
        QVERIFY_THROWS_EXCEPTION(EFOpenError, guard.isSafe(store, u"202601010000000001"_s, {}));
    }
};

QTEST_GUILESS_MAIN(TestPdfProbe)
#include "test_pdfprobe.moc"
