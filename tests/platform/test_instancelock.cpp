#include "platform/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QSysInfo>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

// The lock of a data folder between real processes: the holder is a small program of
// its own, started, killed and started again as a family's copies would be.
class TestInstanceLock : public QObject
{
    Q_OBJECT

private:
    struct Holder
    {
        QProcess process;
        QString answer;

        explicit Holder(const QString& folder)
        {
            process.start(QStringLiteral(INSTANCE_LOCK_HOLDER), { folder });
            if (process.waitForStarted(5000) && process.waitForReadyRead(10000))
                answer = QString::fromUtf8(process.readLine()).trimmed();
        }
        ~Holder()
        {
            process.closeWriteChannel();
            if (!process.waitForFinished(5000))
                process.kill();
            process.waitForFinished(5000);
        }
    };

private slots:
    void oneHolderPerFolder()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"数据"_s);
        Holder first(folder);
        QCOMPARE(first.answer, u"held"_s);
        QVERIFY(QFile::exists(QDir(folder).filePath(InstanceLock::fileName())));

        // Another process, and this one, through another path to the same folder.
        Holder second(folder);
        QCOMPARE(second.answer, u"busy %1"_s.arg(first.process.processId()));
        QVERIFY(QFile::link(folder, dir.filePath(u"link"_s)));
        InstanceLock here(dir.filePath(u"link/../数据/"_s));
        QCOMPARE(here.acquire(), InstanceLock::State::HeldElsewhere);
        QCOMPARE(here.holderPid(), first.process.processId());
        QVERIFY(!here.isHeld());
        QCOMPARE(InstanceLock(dir.filePath(u"link"_s)).channelName(), InstanceLock(folder).channelName());

        // Another folder is free.
        const QString other = dir.filePath(u"别处"_s);
        QVERIFY(InstanceLock(other).channelName() != InstanceLock(folder).channelName());
        Holder elsewhere(other);
        QCOMPARE(elsewhere.answer, u"held"_s);

        // A holder that ends normally gives the folder back.
        first.process.closeWriteChannel();
        QVERIFY(first.process.waitForFinished(5000));
        QCOMPARE(here.acquire(), InstanceLock::State::Held);
        Holder after(folder);
        QCOMPARE(after.answer, u"busy %1"_s.arg(QCoreApplication::applicationPid()));
    }

    void lockOfAKilledProgramIsTakenOver()
    {
        QTemporaryDir dir;
        qint64 killedPid = 0;
        {
            Holder crashed(dir.path());
            QCOMPARE(crashed.answer, u"held"_s);
            killedPid = crashed.process.processId();
            crashed.process.kill(); // SIGKILL: no clean-up, the lock file stays
            QVERIFY(crashed.process.waitForFinished(5000));
        }
        QFile lockFile(dir.filePath(InstanceLock::fileName()));
        QVERIFY(lockFile.open(QIODevice::ReadOnly));
        QCOMPARE(lockFile.readLine().trimmed(), QByteArray::number(killedPid));
        lockFile.close();

        Holder next(dir.path());
        QCOMPARE(next.answer, u"held"_s);
        InstanceLock here(dir.path());
        QCOMPARE(here.acquire(), InstanceLock::State::HeldElsewhere);
        QCOMPARE(here.holderPid(), next.process.processId());
    }

    void locksOfNoRunningCopyAreTakenOver()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(InstanceLock::fileName());
        QProcess other; // a live process of another program
        other.start(u"sleep"_s, { u"30"_s });
        QVERIFY(other.waitForStarted(5000));
        const QByteArray host = QSysInfo::machineHostName().toUtf8();
        const QList<QByteArray> planted { "", "garbled\n\x01\x02\xff", "0\nqinghe\n" + host + "\n",
            QByteArray::number(QCoreApplication::applicationPid()) + "\ntest_instancelock\nanother-computer\n",
            QByteArray::number(other.processId()) + "\nqinghe\n" + host + "\n" };
        const mode_t usual = ::umask(022);
        for (const QByteArray& bytes : planted) {
            QFile lock(path);
            QVERIFY(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
            lock.write(bytes);
            lock.close();
            {
                Holder next(dir.path());
                QVERIFY2(next.answer == u"held"_s, bytes.constData());
                struct stat info
                {
                };
                QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
                QCOMPARE(info.st_mode & 0777, mode_t(0600)); // the user's alone from the start
            }
            QVERIFY(!QFile::exists(path)); // given back when the holder ended
        }
        ::umask(usual);
        other.kill();
        other.waitForFinished(5000);
    }

    void unwritableFolderIsReported()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(u"file"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        InstanceLock lock(dir.filePath(u"file/data"_s)); // a folder cannot be made under a file
        QCOMPARE(lock.acquire(), InstanceLock::State::Failed);
        QVERIFY(lock.errorText().contains(u"数据文件夹"_s));
    }
};

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "test_instancelock.moc"
