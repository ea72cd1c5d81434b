// The PDF worker driven for real: the program itself started as the worker,
// with made books that loop, flood, exhaust memory or run long.

#include "WorkerPdfs.h"

#include "ebooks/EbookStore.h"
#include "pdfworker/PdfWorkerClient.h"
#include "pdfworker/WorkerMain.h"

#include <QCborArray>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Stores a PDF as the store does (enciphered) and returns the store file's path.
QString storeBook(const QTemporaryDir& dir, const QString& name, const QByteArray& pdf)
{
    const QString source = dir.filePath(name + u".pdf"_s);
    QFile file(source);
    file.open(QIODevice::WriteOnly);
    file.write(pdf);
    file.close();
    EbookStore store(dir.filePath(u"corvina"_s));
    QDir().mkpath(store.folder());
    store.store(source, name);
    return store.path(name);
}

void signalProcess(qint64 pid, const char* signal)
{
    QProcess::execute(u"kill"_s, { QString::fromLatin1(signal), QString::number(pid) });
}

// At the normal priority: on a loaded machine an idle-priority worker may get no processor at all.
WorkerSettings settings()
{
    WorkerSettings made;
    made.program = QStringLiteral(QINGHE_PROGRAM);
    made.idlePriority = false;
    return made;
}

// A job run again while the machine was too busy to judge it (no processor time).
WorkerResult patiently(PdfWorkerClient& worker, const WorkerJob& job, const PdfWorkerClient::OnFrame& onFrame = {})
{
    WorkerResult result;
    for (int attempt = 0; attempt < 4; ++attempt) {
        result = worker.run(job, onFrame);
        if (result.end != WorkerEnd::Busy)
            break;
    }
    return result;
}

} // namespace

class TestPdfWorker : public QObject
{
    Q_OBJECT

private slots:
    void framesRefuseWhatBreaksTheRules()
    {
        using namespace WorkerProtocol;
        const QByteArray good = encode(FrameType::Page, { { u"page"_s, 3 } });
        FrameReader reader(1024);
        reader.append(good.left(5));
        QVERIFY(!reader.next());
        reader.append(good.mid(5) + good);
        QCOMPARE(reader.next()->body.value(u"page"_s).toInteger(), 3);
        QVERIFY(reader.next());
        QVERIFY(!reader.broken());

        FrameReader small(16);
        small.append(encode(FrameType::Page, { { u"text"_s, QString(100, u'x') } }));
        QVERIFY(!small.next());
        QVERIFY(small.broken());

        QByteArray otherVersion = good;
        otherVersion[4] = char(Version + 1);
        FrameReader versions(1024);
        versions.append(otherVersion);
        QVERIFY(!versions.next());
        QVERIFY(versions.broken());
    }

    void oneWorkerServesEveryKindOfJob()
    {
        QTemporaryDir dir;
        const QString book = storeBook(dir, u"written"_s, writtenPdf(3));
        PdfWorkerClient worker(settings());

        const WorkerResult check = patiently(worker, WorkerJob::check(book, {}));
        QCOMPARE(check.end, WorkerEnd::Done);
        QCOMPARE(check.result(), u"ok"_s);
        QCOMPARE(check.body.value(u"pages"_s).toInteger(), 3);
        const qint64 pid = worker.workerPid();
        QVERIFY(pid > 0);

        QStringList pages;
        const WorkerResult text = worker.run(WorkerJob::text(book, {}), [&](const WorkerProtocol::Frame& frame) {
            if (frame.type == WorkerProtocol::FrameType::Page) {
                QCOMPARE(frame.body.value(u"page"_s).toInteger(), pages.size());
                pages << frame.body.value(u"text"_s).toString();
            }
        });
        QCOMPARE(text.end, WorkerEnd::Done);
        QCOMPARE(pages.size(), 3);
        QVERIFY2(pages[1].contains(u"第2页"_s), qPrintable(pages[1]));
        QCOMPARE(worker.workerPid(), pid); // the same worker, still there

        const QString outlined = storeBook(dir, u"outlined"_s,
            onePage("", {}, { "<< /Type /Outlines /First 7 0 R /Last 7 0 R /Count 1 >>",
                                "<< /Title (Preface) /Parent 6 0 R /Dest [3 0 R /Fit] >>" },
                "/Outlines 6 0 R /Info << /Title (x) >>"));
        const WorkerResult outline = worker.run(WorkerJob::outline(outlined, {}));
        QCOMPARE(outline.end, WorkerEnd::Done);
        const QCborArray items = outline.body.value(u"items"_s).toArray();
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.at(0).toMap().value(u"title"_s).toString(), u"Preface"_s);
        QCOMPARE(items.at(0).toMap().value(u"page"_s).toInteger(), 0);

        const WorkerResult title = worker.run(WorkerJob::title(book));
        QCOMPARE(title.end, WorkerEnd::Done);

        // A store file that is not one is the worker's refusal, not a fault of the engine.
        QFile junk(dir.filePath(u"junk"_s));
        junk.open(QIODevice::WriteOnly);
        junk.write("not a store file");
        junk.close();
        const WorkerResult failed = worker.run(WorkerJob::check(junk.fileName(), {}));
        QCOMPARE(failed.end, WorkerEnd::Failed);
        QVERIFY(!failed.engineFault());
        QCOMPARE(worker.workerPid(), pid);
    }

    void loopingOutlineCostsTheWorkerOnly()
    {
        QTemporaryDir dir;
        const QString book = storeBook(dir, u"looping"_s, loopingOutlinePdf());
        PdfWorkerClient worker(settings());
        QCOMPARE(patiently(worker, WorkerJob::check(book, {})).result(), u"ok"_s);
        QElapsedTimer clock;
        clock.start();
        const WorkerResult outline = patiently(worker, WorkerJob::outline(book, {}));
        qInfo("looping outline: %s after %lld ms", qPrintable(outline.limitName()), clock.elapsed());
        // Either cut to a bounded list or the worker overran a limit: never endless.
        if (outline.end == WorkerEnd::Done)
            QVERIFY(outline.body.value(u"items"_s).toArray().size() <= 5000);
        else
            QVERIFY2(outline.engineFault(), qPrintable(outline.limitName()));
        // The next job gets a worker again.
        QCOMPARE(patiently(worker, WorkerJob::check(book, {})).result(), u"ok"_s);
    }

    void denseTextPageIsReadAndCancelledWithinThePage()
    {
        QTemporaryDir dir;
        const QString dense = storeBook(dir, u"dense"_s, denseTextPdf(40000));
        PdfWorkerClient worker(settings());
        qsizetype characters = 0;
        const WorkerResult text = patiently(worker, WorkerJob::text(dense, {}), [&](const WorkerProtocol::Frame& frame) {
            characters = frame.body.value(u"text"_s).toString().size();
        });
        QCOMPARE(text.end, WorkerEnd::Done);
        QVERIFY2(characters > 40000, qPrintable(QString::number(characters)));

        // A far denser page, cancelled while the engine is inside it.
        const QString denser = storeBook(dir, u"denser"_s, denseTextPdf(1500000));
        std::atomic<bool> cancel { false };
        std::thread canceller([&] {
            while (worker.workerPid() == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            cancel = true;
        });
        QElapsedTimer clock;
        clock.start();
        const WorkerResult cancelled = worker.run(WorkerJob::text(denser, {}), {}, [&] { return cancel.load(); });
        canceller.join();
        QCOMPARE(cancelled.end, WorkerEnd::Cancelled);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(worker.workerPid(), 0);
    }

    void nestedFormsEndAtALimitNamedInTheVerdict()
    {
        QTemporaryDir dir;
        const QByteArray pdf = nestedFormsPdf(12, 8);
        QVERIFY(pdf.size() < 4096);
        const QString book = storeBook(dir, u"nested"_s, pdf);
        WorkerSettings tight = settings();
        tight.addressSpaceBytes = qint64(768) * 1024 * 1024;
        PdfWorkerClient worker(tight);
        WorkerJob job = WorkerJob::text(book, {});
        job.stepMs = 4000;
        QElapsedTimer clock;
        clock.start();
        const WorkerResult text = worker.run(job);
        qInfo("nested forms: %s after %lld ms", qPrintable(text.limitName()), clock.elapsed());
        QVERIFY2(text.engineFault() || text.end == WorkerEnd::Busy, qPrintable(text.limitName()));
        QVERIFY(!text.limitName().isEmpty());
    }

    void killedOrStoppedWorkerIsNotTheBooksFault()
    {
        QTemporaryDir dir;
        const QString book = storeBook(dir, u"dense"_s, denseTextPdf(1500000));
        PdfWorkerClient worker(settings());
        for (const char* signal : { "-KILL", "-STOP" }) {
            std::thread outside([&] {
                while (worker.workerPid() == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                signalProcess(worker.workerPid(), signal);
            });
            WorkerJob job = WorkerJob::text(book, {});
            const bool killed = qstrcmp(signal, "-KILL") == 0;
            job.stepMs = killed ? 60000 : 3000;
            const WorkerResult result = worker.run(job);
            outside.join();
            QCOMPARE(result.end, killed ? WorkerEnd::KilledOutside : WorkerEnd::Busy);
            QVERIFY(!result.engineFault());
        }
        QCOMPARE(patiently(worker, WorkerJob::check(book, {})).result(), u"ok"_s);
    }

    void hundredThousandPagesAreChecked()
    {
        QTemporaryDir dir;
        const QString book = storeBook(dir, u"many"_s, manyPagesPdf(100000));
        PdfWorkerClient worker(settings());
        int progress = 0;
        QElapsedTimer clock;
        clock.start();
        const WorkerResult check
            = patiently(worker, WorkerJob::check(book, {}), [&](const WorkerProtocol::Frame&) { ++progress; });
        qInfo("100,000 pages checked in %lld ms", clock.elapsed());
        QCOMPARE(check.result(), u"ok"_s);
        QCOMPARE(check.body.value(u"pages"_s).toInteger(), 100000);
        QVERIFY(progress >= 99);
    }

    void passwordTooLongNeverReachesTheWorker()
    {
        PdfWorkerClient worker(settings());
        const WorkerResult result = worker.run(WorkerJob::check(u"/nonexistent"_s, QString(70000, u'p')));
        QCOMPARE(result.end, WorkerEnd::PasswordTooLong);
        QCOMPARE(worker.workerPid(), 0);
        WorkerSettings missing;
        missing.program = u"/nonexistent/qinghe"_s;
        QCOMPARE(PdfWorkerClient(missing).run(WorkerJob::check(u"/x"_s, {})).end, WorkerEnd::CannotStart);
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TestPdfWorker test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_pdfworker.moc"
