// The one progress policy: no dialog for work shorter than 300 ms; past that a
// dialog with the task's steps, and 取消 that cancels when the task may be cancelled.

#include "tasks/BackgroundTask.h"
#include "widgets/TaskProgress.h"

#include <QApplication>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

class TestTaskProgress : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { TaskProgress::setClock({}); }

    void showsOnlyAfterTheDelay()
    {
        qint64 clock = 1000;
        TaskProgress::setClock([&] { return clock; });
        QWidget window;
        QSemaphore stepped;
        ThreadTask task([&](TaskControl& control) {
            control.step(25, 100, u"一半之前"_s);
            stepped.release();
            while (!control.isCancelled())
                QThread::usleep(500);
        });
        auto* progress = new TaskProgress(&task, &window, u"导出电子书"_s);
        progress->setLabel([](qint64 done, qint64 total, const QString& text) {
            return u"%1：%2/%3"_s.arg(text).arg(done).arg(total);
        });
        task.start();
        stepped.acquire();
        QTRY_COMPARE(task.done(), 25);
        clock += TaskProgress::ShowAfterMs - 1;
        progress->poll();
        QVERIFY(!progress->dialog()->isVisible());
        clock += 1;
        progress->poll();
        QProgressDialog* dialog = progress->dialog();
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), u"导出电子书"_s);
        QCOMPARE(dialog->labelText(), u"一半之前：25/100"_s);
        QCOMPARE(dialog->findChild<QProgressBar*>()->value(), 250);

        auto* cancel = dialog->findChild<QPushButton*>();
        QVERIFY(cancel && cancel->text() == u"取消"_s);
        QSignalSpy finished(&task, &BackgroundTask::finished);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(finished.wait(10000));
        QCOMPARE(task.state(), BackgroundTask::State::Cancelled);
        QVERIFY(!dialog->isVisible());
    }

    void quickWorkShowsNothing()
    {
        QWidget window;
        int shown = 0;
        TaskProgress::setDialogHook([&](QProgressDialog*) { ++shown; });
        ThreadTask task([](TaskControl& control) { control.step(1, 1); });
        task.setCancellable(false);
        auto* progress = new TaskProgress(&task, &window, QString());
        QSignalSpy finished(&task, &BackgroundTask::finished);
        task.start();
        QVERIFY(finished.wait(10000));
        QTest::qWait(TaskProgress::ShowAfterMs + 2 * TaskProgress::UpdateMs);
        QCOMPARE(shown, 0);
        QVERIFY(!progress->dialog()->isVisible());

        // Work that lasts: shown by the timer, without a cancel button when it cannot be cancelled.
        QSemaphore go;
        ThreadTask slow([&](TaskControl&) { go.acquire(); });
        slow.setCancellable(false);
        auto* slowProgress = new TaskProgress(&slow, &window, QString());
        QSignalSpy slowFinished(&slow, &BackgroundTask::finished);
        slow.start();
        QTRY_COMPARE(shown, 1);
        QVERIFY(!slowProgress->dialog()->findChild<QPushButton*>());
        go.release();
        QVERIFY(slowFinished.wait(10000));
        QVERIFY(!slowProgress->dialog()->isVisible());
        TaskProgress::setDialogHook({});
    }
};

QTEST_MAIN(TestTaskProgress)
#include "test_taskprogress.moc"
