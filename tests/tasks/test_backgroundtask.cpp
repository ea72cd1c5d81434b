// The background helper: steps, results and errors come to the thread that
// made the task; cancel reaches the work (a thread's token, a process killed);
// nothing waits on the caller's thread.

#include "Exception.h"
#include "tasks/BackgroundTask.h"
#include "tasks/ProcessTask.h"
#include "tasks/TaskLane.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace Qt::StringLiterals;

class TestBackgroundTask : public QObject
{
    Q_OBJECT

private slots:
    // A lane runs its jobs in the order posted, all on one thread that is not
    // the caller's; stop() runs its last job after them and ends the thread.
    void laneKeepsOrderAndThread()
    {
        QList<int> order;
        QSet<QThread*> threads;
        Tasks::TaskLane lane(u"test lane"_s);
        for (int i = 0; i < 20; ++i)
            lane.post([&, i] {
                order << i;
                threads.insert(QThread::currentThread());
            });
        lane.stop([&] {
            order << -1;
            threads.insert(QThread::currentThread());
        });
        lane.post([&] { order << 99; }); // too late: dropped
        QCOMPARE(order.size(), 21);
        QCOMPARE(order.last(), -1);
        QVERIFY(std::is_sorted(order.begin(), order.end() - 1));
        QCOMPARE(threads.size(), 1);
        QVERIFY(!threads.contains(QThread::currentThread()));
    }

    void stepsAndResultOnTheCallersThread()
    {
        QSemaphore go;
        int result = 0;
        QList<qint64> seen;
        QThread* stepThread = nullptr;
        QThread* endThread = nullptr;
        ThreadTask task([&](TaskControl& control) {
            go.acquire();
            for (int i = 1; i <= 50; ++i) {
                control.step(i, 50, u"第 %1 步"_s.arg(i));
                QThread::usleep(200);
            }
            result = 42;
        });
        connect(&task, &BackgroundTask::progressed, this, [&](qint64 done) {
            seen << done;
            stepThread = QThread::currentThread();
        });
        QSignalSpy finished(&task, &BackgroundTask::finished);
        connect(&task, &BackgroundTask::finished, this, [&] { endThread = QThread::currentThread(); });
        task.start();
        QVERIFY(task.isRunning()); // start() did not wait for the work, which has not begun
        go.release();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(task.state(), BackgroundTask::State::Succeeded);
        QCOMPARE(result, 42);
        QCOMPARE(stepThread, QThread::currentThread());
        QCOMPARE(endThread, QThread::currentThread());
        // Steps arrive merged but in order, and the last one always arrives.
        QVERIFY(!seen.isEmpty() && seen.size() <= 50);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QCOMPARE(seen.last(), 50);
        QCOMPARE(task.stepText(), u"第 50 步"_s);
        QTest::qWait(20);
        QCOMPARE(finished.count(), 1);
    }

    void errorsComeBackAsThrown()
    {
        ThreadTask task([](TaskControl&) { throw EReadError("文件已损坏"); });
        QSignalSpy finished(&task, &BackgroundTask::finished);
        task.start();
        QVERIFY(finished.wait(10000));
        QCOMPARE(task.state(), BackgroundTask::State::Failed);
        QCOMPARE(task.errorMessage(), u"文件已损坏"_s);
        QVERIFY_THROWS_EXCEPTION(EReadError, task.rethrow());

        ThreadTask odd([](TaskControl&) { throw 7; });
        QSignalSpy oddFinished(&odd, &BackgroundTask::finished);
        odd.start();
        QVERIFY(oddFinished.wait(10000));
        QCOMPARE(odd.state(), BackgroundTask::State::Failed);
        QVERIFY(!odd.errorMessage().isEmpty());
    }

    void cancelReachesTheWork()
    {
        // Running: the work sees the token and stops.
        std::atomic<bool> sawCancel { false };
        ThreadTask task([&](TaskControl& control) {
            while (control.step(0, 1))
                QThread::usleep(500);
            sawCancel = control.isCancelled();
        });
        QSignalSpy finished(&task, &BackgroundTask::finished);
        task.start();
        QTest::qWait(20);
        task.cancel();
        QVERIFY(task.wasCancelled());
        QVERIFY(finished.wait(10000));
        QCOMPARE(task.state(), BackgroundTask::State::Cancelled);
        QVERIFY(sawCancel);

        // Not started: ends at once, and its work never runs.
        bool ran = false;
        ThreadTask idle([&](TaskControl&) { ran = true; });
        QSignalSpy idleFinished(&idle, &BackgroundTask::finished);
        idle.cancel();
        QCOMPARE(idleFinished.count(), 1);
        idle.start();
        QTest::qWait(20);
        QVERIFY(!ran);

        // Work that ran to its end after the cancel still counts as cancelled.
        QSemaphore go;
        ThreadTask late([&](TaskControl&) { go.acquire(); });
        QSignalSpy lateFinished(&late, &BackgroundTask::finished);
        late.start();
        late.cancel();
        go.release();
        QVERIFY(lateFinished.wait(10000));
        QCOMPARE(late.state(), BackgroundTask::State::Cancelled);
    }

    // The owner may go while the work runs: the work is stopped and has returned
    // before the owner's things it uses go.
    void destroyingCancelsAndWaits()
    {
        std::atomic<bool> returned { false };
        auto* task = new ThreadTask([&](TaskControl& control) {
            while (!control.isCancelled())
                QThread::usleep(500);
            QThread::msleep(20);
            returned = true;
        });
        task->start();
        QTest::qWait(10);
        delete task;
        QVERIFY(returned);

        bool deleted = false;
        auto* once = new ThreadTask([](TaskControl&) { });
        once->setAutoDelete(true);
        connect(once, &QObject::destroyed, this, [&] { deleted = true; });
        once->start();
        QTRY_VERIFY(deleted);
    }

    void processOutputAndExitCode()
    {
        // The input, then the source fed through the pipe, comes back on standard output.
        QByteArray big(3 * 1024 * 1024 + 17, 'x');
        for (int i = 0; i < big.size(); i += 4096)
            big[i] = char('a' + i % 26);
        QBuffer source(&big);
        source.open(QIODevice::ReadOnly);
        ProcessTask cat(u"/bin/sh"_s, { u"-c"_s, u"cat; exit 3"_s });
        cat.setInput("head:");
        cat.setSource(&source);
        QSignalSpy steps(&cat, &BackgroundTask::progressed);
        QSignalSpy finished(&cat, &BackgroundTask::finished);
        cat.start();
        QVERIFY(finished.wait(20000));
        QCOMPARE(cat.state(), BackgroundTask::State::Succeeded);
        QCOMPARE(cat.exitCode(), 3);
        QVERIFY(cat.output() == "head:" + big);
        QVERIFY(!steps.isEmpty());
        QCOMPARE(cat.done(), big.size());
        QCOMPARE(cat.total(), big.size());
    }

    void processFailures()
    {
        // A crash.
        ProcessTask crash(u"/bin/sh"_s, { u"-c"_s, u"kill -9 $$"_s });
        QSignalSpy crashed(&crash, &BackgroundTask::finished);
        crash.start();
        QVERIFY(crashed.wait(10000));
        QCOMPARE(crash.state(), BackgroundTask::State::Failed);
        QVERIFY(crash.crashed());

        // No such program.
        ProcessTask missing(u"/nonexistent/helper"_s, {});
        QSignalSpy missingEnd(&missing, &BackgroundTask::finished);
        missing.start();
        QVERIFY(missingEnd.count() == 1 || missingEnd.wait(10000));
        QCOMPARE(missing.state(), BackgroundTask::State::Failed);
        QVERIFY(missing.startFailed());
        QCOMPARE(missingEnd.count(), 1);

        // Past its time limit: killed.
        ProcessTask slow(u"/bin/sh"_s, { u"-c"_s, u"exec sleep 30"_s });
        slow.setTimeLimitMs(200);
        QSignalSpy slowEnd(&slow, &BackgroundTask::finished);
        slow.start();
        QVERIFY(slowEnd.wait(10000));
        QCOMPARE(slow.state(), BackgroundTask::State::Failed);
        QVERIFY(slow.timedOut());
    }

    void processCancelKills()
    {
        ProcessTask sleeper(u"/bin/sh"_s, { u"-c"_s, u"exec sleep 30"_s });
        QSignalSpy finished(&sleeper, &BackgroundTask::finished);
        sleeper.start();
        QTRY_COMPARE(sleeper.process()->state(), QProcess::Running);
        QElapsedTimer clock;
        clock.start();
        sleeper.cancel();
        QVERIFY(finished.wait(10000));
        QCOMPARE(sleeper.state(), BackgroundTask::State::Cancelled);
        QCOMPARE(sleeper.process()->state(), QProcess::NotRunning);
        QVERIFY(clock.elapsed() < 10000); // killed, not waited out
    }
};

QTEST_GUILESS_MAIN(TestBackgroundTask)
#include "test_backgroundtask.moc"
