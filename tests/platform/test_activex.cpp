#include "platform/ActiveX.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <dlfcn.h>

using namespace Qt::StringLiterals;

// The fixture libraries log each call and their own unloading to a file.
class TestActiveX : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { QDir::setCurrent(m_previousFolder); }
    void init();
    void registerFile_data();
    void registerFile();

private:
    QString readLog() const;
    static bool stillLoaded(const QString& path);

    QTemporaryDir m_dir;
    QString m_logPath;
    QString m_previousFolder = QDir::currentPath();
};

void TestActiveX::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_logPath = m_dir.filePath(u"calls.log"_s);
    qputenv("ACTIVEX_FIXTURE_LOG", QFile::encodeName(m_logPath));

    QFile text(m_dir.filePath(u"notalibrary.ocx"_s));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("MZ this is only text pretending to be a server\n");
    // A relative path is taken from the current folder.
    QVERIFY(QDir::setCurrent(QFileInfo(QStringLiteral(ACTIVEX_FIXTURE_OK)).absolutePath()));
}

void TestActiveX::init()
{
    QFile::remove(m_logPath);
}

QString TestActiveX::readLog() const
{
    QFile file(m_logPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool TestActiveX::stillLoaded(const QString& path)
{
    void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

void TestActiveX::registerFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("log");

    const QString ok = QStringLiteral(ACTIVEX_FIXTURE_OK);
    const QString failing = QStringLiteral(ACTIVEX_FIXTURE_FAIL);
    const QString bare = QStringLiteral(ACTIVEX_FIXTURE_NONE);

    QTest::newRow("register") << ok << 1 << true << u"register\nunload\n"_s;
    QTest::newRow("unregister") << ok << 0 << true << u"unregister\nunload\n"_s;
    QTest::newRow("any other mode unregisters") << ok << 7 << true << u"unregister\nunload\n"_s;
    QTest::newRow("negative status") << failing << 1 << false << u"register\nunload\n"_s;
    QTest::newRow("positive status is success") << failing << 0 << true << u"unregister\nunload\n"_s;
    QTest::newRow("no exports, still unloaded") << bare << 1 << false << u"unload\n"_s;
    QTest::newRow("relative path") << QFileInfo(ok).fileName() << 1 << true << u"register\nunload\n"_s;
    QTest::newRow("missing file") << m_dir.filePath(u"absent.ocx"_s) << 1 << false << QString();
    QTest::newRow("not a library") << m_dir.filePath(u"notalibrary.ocx"_s) << 1 << false << QString();
    QTest::newRow("folder") << m_dir.path() << 1 << false << QString();
    QTest::newRow("empty path") << QString() << 1 << false << QString();
}

void TestActiveX::registerFile()
{
    QFETCH(QString, path);
    QFETCH(int, mode);
    QFETCH(bool, expected);
    QFETCH(QString, log);

    QCOMPARE(RegisterActiveXFile(path, mode), expected);
    QCOMPARE(readLog(), log);
    if (!path.isEmpty())
        QVERIFY(!stillLoaded(path));
}

QTEST_GUILESS_MAIN(TestActiveX)
#include "test_activex.moc"
