// The guard before the PDF engine: a book is checked by the PDF worker, the
// verdict kept in qh_pdfverdict by stored name, size and worker version; a
// book is set aside only when the same failure comes twice.

#include "data/test_recordset_fixture.h"

#include "crypto/AES.h"
#include "TestPdf.h"

#include "format/EncryptedPdfDevice.h"
#include "ebooks/EbookStore.h"
#include "ebooks/PdfGuard.h"
#include "pdfworker/WorkerMain.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace Qt::StringLiterals;

namespace {

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return file.fileName();
}

WorkerSettings real()
{
    WorkerSettings settings;
    settings.program = QStringLiteral(QINGHE_PROGRAM);
    return settings;
}

// A stand-in worker: a shell line run in place of the program.
WorkerSettings shell(const QString& line)
{
    WorkerSettings settings;
    settings.program = u"/bin/sh"_s;
    settings.arguments = { u"-c"_s, line, u"worker"_s };
    return settings;
}

struct GuardFixture : LibraryFixture
{
    GuardFixture()
        : store(dir.filePath(u"corvina"_s))
    {
        QDir().mkpath(store.folder());
    }

    QString add(const QByteArray& pdf)
    {
        const QStringList files = QDir(store.folder()).entryList(QDir::Files);
        const QString name = store.newStoredName(QSet<QString>(files.begin(), files.end()));
        store.store(write(dir, u"source.pdf"_s, pdf), name);
        return name;
    }

    PdfGuard::Outcome check(PdfGuard& guard, const QString& name, const QString& password = {})
    {
        return guard.check(store.path(name), name, password);
    }

    QString verdict(const QString& name)
    {
        return db().scalar(u"select verdict || '/' || reason from qh_pdfverdict where filename = '%1'"_s.arg(name));
    }

    EbookStore store;
};

} // namespace

class TestPdfGuard : public QObject
{
    Q_OBJECT

private slots:
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

    void answersAreKeptBySizeAndWorkerVersion()
    {
        GuardFixture f;
        const QString good = f.add(makePdf(2));
        const QString locked = f.add(makePdf(1, "pw"));
        PdfGuard guard(f.db().connectionString(), real());
        QCOMPARE(f.check(guard, good).answer, PdfGuard::Answer::Safe);
        QCOMPARE(f.verdict(good), u"ok/"_s);
        const qint64 size = QFileInfo(f.store.path(good)).size();
        QCOMPARE(guard.known(good, size), PdfGuard::Known::Safe);
        // Another file under the same name (a restore, a copy by hand) is not the one checked.
        QCOMPARE(guard.known(good, size + 16), PdfGuard::Known::Unknown);
        f.db().execute(u"update qh_pdfverdict set worker = %1"_s.arg(PdfWorker::EngineVersion + 1));
        QCOMPARE(guard.known(good, size), PdfGuard::Known::Unknown);

        // A wrong password is the viewer's to say, and not kept.
        QCOMPARE(f.check(guard, locked, u"wrong"_s).answer, PdfGuard::Answer::NeedsPassword);
        QCOMPARE(f.verdict(locked), QString());
        QCOMPARE(f.check(guard, locked, u"pw"_s).answer, PdfGuard::Answer::Safe);
        // A password no PDF can have is refused before any worker sees it.
        PdfGuard::forget(f.db(), good);
        QCOMPARE(f.check(guard, good, QString(70000, u'x')).answer, PdfGuard::Answer::PasswordTooLong);
        // A hostile stored name is a value, never statement text.
        QCOMPARE(guard.known(u"x' or '1'='1"_s, size), PdfGuard::Known::Unknown);
    }

    void onlyARepeatedFailureSetsABookAside()
    {
        GuardFixture f;
        const QString book = f.add(makePdf(2));
        // Killed from outside, or no worker at all: not the book's fault, nothing recorded.
        for (const QString& line : { u"exec /nonexistent/worker"_s }) {
            PdfGuard guard(f.db().connectionString(), shell(line));
            QCOMPARE(f.check(guard, book).answer, PdfGuard::Answer::NotChecked);
            QCOMPARE(f.verdict(book), QString());
        }
        // A worker stopped (no processor time) until the step limit: the machine is busy.
        {
            WorkerSettings stopped = shell(u"kill -STOP $$"_s);
            stopped.stepLimitMs = 500;
            PdfGuard guard(f.db().connectionString(), stopped);
            QCOMPARE(f.check(guard, book).answer, PdfGuard::Answer::NotChecked);
            QCOMPARE(f.verdict(book), QString());
        }
        // A crash once, then a sound answer: a one-off; the book reads.
        const QString marker = f.dir.filePath(u"crashed-once"_s);
        PdfGuard once(f.db().connectionString(),
            shell(u"if [ -e '%1' ]; then exec '%2' \"$@\"; else touch '%1'; exit %3; fi"_s.arg(
                marker, QStringLiteral(QINGHE_PROGRAM), QString::number(PdfWorker::ExitCrash))));
        QCOMPARE(f.check(once, book).answer, PdfGuard::Answer::Safe);
        QCOMPARE(f.verdict(book), u"ok/"_s);

        // The engine crashing every time: set aside, and the verdict names it.
        const QString other = f.add(makePdf(3));
        PdfGuard crashing(f.db().connectionString(), shell(u"exit %1"_s.arg(PdfWorker::ExitCrash)));
        const PdfGuard::Outcome outcome = f.check(crashing, other);
        QCOMPARE(outcome.answer, PdfGuard::Answer::SetAside);
        QCOMPARE(outcome.detail, u"crash"_s);
        QCOMPARE(f.verdict(other), u"bad/crash"_s);
        // Different failures are not a repeat: a strike, tried again next time.
        const QString third = f.add(makePdf(4));
        const QString flip = f.dir.filePath(u"flip"_s);
        PdfGuard mixed(f.db().connectionString(),
            shell(u"if [ -e '%1' ]; then rm '%1'; exit %2; else touch '%1'; exit %3; fi"_s.arg(
                flip, QString::number(PdfWorker::ExitMemory), QString::number(PdfWorker::ExitCrash))));
        QCOMPARE(f.check(mixed, third).answer, PdfGuard::Answer::NotChecked);
        QCOMPARE(f.verdict(third), u"strike/memory"_s);
        // The same failure as the strike, next time: now it repeats.
        PdfGuard memory(f.db().connectionString(), shell(u"exit %1"_s.arg(PdfWorker::ExitMemory)));
        QCOMPARE(f.check(memory, third).answer, PdfGuard::Answer::SetAside);
        QCOMPARE(f.verdict(third), u"bad/memory"_s);
    }

    void oneCheckOfABookAtATimeIsShared()
    {
        GuardFixture f;
        const QString book = f.add(makePdf(2));
        // The stand-in counts its starts, then answers slowly as the real worker.
        const QString starts = f.dir.filePath(u"starts"_s);
        PdfGuard guard(f.db().connectionString(),
            shell(u"echo x >> '%1'; sleep 1; exec '%2' \"$@\""_s.arg(starts, QStringLiteral(QINGHE_PROGRAM))));
        PdfGuard::Outcome reader, builder;
        std::thread first([&] { reader = f.check(guard, book); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::thread second([&] { builder = guard.check(f.store.path(book), book, {}); });
        first.join();
        second.join();
        QCOMPARE(reader.answer, PdfGuard::Answer::Safe);
        QCOMPARE(builder.answer, PdfGuard::Answer::Safe);
        QFile counted(starts);
        QVERIFY(counted.open(QIODevice::ReadOnly));
        QCOMPARE(counted.readAll().count('x'), 1);

        // A caller's cancel ends its own wait at once.
        PdfGuard::forget(f.db(), book);
        std::atomic<bool> cancel { true };
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(guard.check(f.store.path(book), book, {}, [&] { return cancel.load(); }).answer, PdfGuard::Answer::Cancelled);
        QVERIFY(clock.elapsed() < 2000);
    }
};

QTEST_GUILESS_MAIN(TestPdfGuard)
#include "test_pdfguard.moc"
