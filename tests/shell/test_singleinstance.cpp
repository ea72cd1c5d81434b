#include "platform/InstanceLock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QScopeGuard>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

// The program itself, started twice on one data folder: the second start hands over to
// the first and ends; a copy killed on the spot does not lock the family out.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    struct Program
    {
        QProcess process;
        QString channel; // the socket file a killed copy leaves behind
        explicit Program(const QString& home, const QString& runtime = {})
            : channel(InstanceLock(home).channelName())
        {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"QINGHE_HOME"_s, home);
            if (!runtime.isEmpty())
                env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
            env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
            process.setProcessEnvironment(env);
            process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process.start(QStringLiteral(QINGHE_PROGRAM), {});
            process.waitForStarted(5000);
        }
        ~Program()
        {
            if (process.state() != QProcess::NotRunning) {
                process.kill();
                process.waitForFinished(5000);
                QFile::remove(channel);
            }
        }
        // Running, with its lock taken and its login shown.
        bool settled(const QString& home)
        {
            QFile lock(home + u'/' + InstanceLock::fileName());
            for (int i = 0; i < 100 && process.state() == QProcess::Running; ++i) {
                if (lock.open(QIODevice::ReadOnly)) {
                    const bool ours = lock.readLine().trimmed() == QByteArray::number(process.processId());
                    lock.close();
                    if (ours) {
                        QTest::qWait(300); // from lock to listening is a moment
                        return process.state() == QProcess::Running;
                    }
                }
                QTest::qWait(100);
            }
            return false;
        }
    };

private slots:
    void secondStartHandsOverAndEnds()
    {
        QTemporaryDir home;
        Program first(home.path());
        QVERIFY(first.settled(home.path()));

        Program second(home.path());
        QVERIFY(second.process.waitForFinished(10000));
        QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process.exitCode(), 0); // the running copy answered
        QCOMPARE(first.process.state(), QProcess::Running);

        // Another data folder runs a copy of its own.
        QTemporaryDir otherHome;
        Program other(otherHome.path());
        QVERIFY(other.settled(otherHome.path()));
    }

    void channelIsPrivateAndBounded()
    {
        // The socket lives in the user's runtime folder, else in the data folder; never in /tmp.
        QTemporaryDir runtime;
        QTemporaryDir home;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        const QString channel = InstanceLock(home.path()).channelName();
        QCOMPARE(QFileInfo(channel).absolutePath(), QFileInfo(runtime.path()).canonicalFilePath());
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(InstanceLock(home.path()).channelName(), QFileInfo(home.path()).canonicalFilePath() + u"/qinghe.socket"_s);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        auto restore = qScopeGuard([] { qunsetenv("XDG_RUNTIME_DIR"); });

        Program first(home.path(), runtime.path());
        QVERIFY(first.settled(home.path()));
        QVERIFY(QFileInfo::exists(channel));
        QVERIFY(!QFileInfo::exists(QDir::tempPath() + u'/' + QFileInfo(channel).fileName()));

        // Many connections that say nothing, and one that sends 1 MB without a line's end.
        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < 200; ++i) {
            idle.push_back(std::make_unique<QLocalSocket>());
            idle.back()->connectToServer(channel);
            QVERIFY(idle.back()->waitForConnected(2000));
        }
        QLocalSocket flood;
        flood.connectToServer(channel);
        QVERIFY(flood.waitForConnected(2000));
        flood.write(QByteArray(1 << 20, 'x'));
        QElapsedTimer clock;
        clock.start();
        while (flood.state() == QLocalSocket::ConnectedState && clock.elapsed() < 5000)
            flood.waitForDisconnected(100);
        QCOMPARE(flood.state(), QLocalSocket::UnconnectedState); // cut off, not buffered
        // Idle ones are closed after a second.
        while (idle.back()->state() == QLocalSocket::ConnectedState && clock.elapsed() < 8000)
            idle.back()->waitForDisconnected(100);
        QCOMPARE(idle.back()->state(), QLocalSocket::UnconnectedState);

        // A later start still reaches the running copy and ends.
        Program second(home.path(), runtime.path());
        QVERIFY(second.process.waitForFinished(10000));
        QCOMPARE(second.process.exitCode(), 0);
        QCOMPARE(first.process.state(), QProcess::Running);
    }

    void killedCopyDoesNotLockTheFolder()
    {
        QTemporaryDir home;
        {
            Program crashed(home.path());
            QVERIFY(crashed.settled(home.path()));
            crashed.process.kill(); // its socket file stays: the next copy must cope
            QVERIFY(crashed.process.waitForFinished(5000));
        }
        QVERIFY(QFile::exists(home.filePath(InstanceLock::fileName())));
        Program next(home.path());
        QVERIFY(next.settled(home.path()));
        Program third(home.path());
        QVERIFY(third.process.waitForFinished(10000));
        QCOMPARE(third.process.exitCode(), 0);
        QCOMPARE(next.process.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_singleinstance.moc"
