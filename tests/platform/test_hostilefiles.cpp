// Files that are not what they seem: pipes and devices where a file is expected
// (refused at once, never waited on), and names that are not UTF-8 (opened by the
// bytes the system knows them by).

#include "catalogue/BookPictures.h"
#include "catalogue/Csv.h"
#include "crypto/AES.h"
#include "ebooks/EbookImport.h"
#include "ebooks/EbookStore.h"
#include "format/EncryptedPdfDevice.h"
#include "platform/AppPaths.h"
#include "platform/FileIo.h"
#include "platform/FileNames.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Should an open wait on the pipe after all, a writer comes along after a few
// seconds and lets it go, so the test fails instead of hanging.
class PipeWatch
{
public:
    explicit PipeWatch(QByteArray path)
        : m_path(std::move(path))
        , m_thread([this] {
            for (int i = 0; i < 50 && !m_done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (m_done)
                return;
            m_released = true;
            const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        })
    { }
    ~PipeWatch()
    {
        m_done = true;
        m_thread.join();
    }
    bool released() const { return m_released; }

private:
    QByteArray m_path;
    std::atomic<bool> m_done { false };
    std::atomic<bool> m_released { false };
    std::thread m_thread;
};

QByteArray writeRaw(const QByteArray& path, const QByteArray& bytes)
{
    QFile file;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    file.write(bytes);
    return path;
}

template <typename Fn> QString errorOf(Fn fn)
{
    try {
        fn();
    } catch (const Exception& error) {
        return QString::fromStdString(error.message());
    }
    return u"<no error>"_s;
}

} // namespace

class TestHostileFiles : public QObject
{
    Q_OBJECT

private slots:
    void pipesAreRefusedWithoutWaiting()
    {
        QTemporaryDir dir;
        const QString pipe = dir.filePath(u"book.pdf"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        PipeWatch watch(QFile::encodeName(pipe));
        const QString refused = FileIo::errorText(FileIo::NotRegularFile);

        QVERIFY(!FileIo::isRegularFile(pipe));
        QCOMPARE(FileIo::openForReading(pipe), -1);
        QCOMPARE(errno, FileIo::NotRegularFile);
        // Import: nothing is stored, the message says why.
        EbookStore store(dir.filePath(u"corvina"_s));
        QDir().mkpath(store.folder());
        QVERIFY(errorOf([&] { store.store(pipe, u"202601010000000001"_s); }).contains(refused));
        QVERIFY(QDir(store.folder()).isEmpty());
        // A store file that is a pipe: reading, export, drag and the PDF check all open it this way.
        QCOMPARE(::mkfifo(QFile::encodeName(store.path(u"202601010000000002"_s)).constData(), 0600), 0);
        PipeWatch storeWatch(QFile::encodeName(store.path(u"202601010000000002"_s)));
        QVERIFY(errorOf([&] { store.readOwned(u"202601010000000002"_s); }).contains(refused));
        QVERIFY(errorOf([&] { EncryptedPdfDevice reader(store.path(u"202601010000000002"_s)); }).contains(refused));
        // Picture upload and CSV import.
        const QString picture = dir.filePath(u"cover.jpg"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(picture).constData(), 0600), 0);
        PipeWatch pictureWatch(QFile::encodeName(picture));
        QVERIFY(errorOf([&] { BookPictures::loadFile(picture, QSize(240, 160)); }).contains(refused));
        const QString csv = dir.filePath(u"books.csv"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(csv).constData(), 0600), 0);
        PipeWatch csvWatch(QFile::encodeName(csv));
        QVERIFY(errorOf([&] { CsvReader reader(csv); }).contains(refused));
        // A device is no better.
        QCOMPARE(FileIo::openForReading(u"/dev/zero"_s), -1);
        QVERIFY(!watch.released() && !storeWatch.released() && !pictureWatch.released() && !csvWatch.released());
    }

    void namesThatAreNotUtf8()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path()) + "/d\xe9j\xe0";
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
        // QTemporaryDir cannot name what is inside: the folder goes by its bytes.
        const auto removeFolder
            = qScopeGuard([&folder] { std::filesystem::remove_all(std::filesystem::path(folder.toStdString())); });
        const QByteArray raw = folder + "/\xca\xe9.pdf"; // GBK bytes of a Chinese name
        const QByteArray content = "%PDF-1.4 not really";
        writeRaw(raw, content);
        // What the file dialog and drops hand on: the name with replacement characters.
        const QString shown = QFile::decodeName(raw);
        QVERIFY(!QFile::exists(shown));
        QCOMPARE(FileNames::native(shown), raw);
        QCOMPARE(FileNames::native(shown.toUtf8()), raw);
        QVERIFY(FileIo::isRegularFile(shown)); // what a drop on the e-book list checks

        // Import stores the file's own bytes, named as shown.
        EbookStore store(dir.filePath(u"corvina"_s));
        QDir().mkpath(store.folder());
        EbookImport import(store, { shown });
        QStringList rows;
        while (import.next()) {
            import.storeCurrent();
            rows << import.name() << import.storedName();
            import.commitCurrent();
        }
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.value(0), QFileInfo(shown).fileName());
        QCOMPARE(store.read(rows.value(1)), content);

        // Two names that look the same once decoded: neither is guessed.
        writeRaw(folder + "/\xcb\xe9.pdf", "other");
        QCOMPARE(FileNames::native(shown), QFile::encodeName(shown));

        // A portable copy in such a folder keeps its data beside it.
        const QString usable = FileNames::usableFolder(folder);
        QVERIFY(!usable.isEmpty());
        QCOMPARE(AppPaths::dataDirBeside(usable), usable);
        QFile beside(usable + u"/data.txt"_s);
        QVERIFY(beside.open(QIODevice::WriteOnly));
        beside.write("x");
        beside.close();
        QCOMPARE(::access((folder + "/data.txt").constData(), F_OK), 0);
        // A name that decodes as it is stays as it is.
        QCOMPARE(FileNames::usableFolder(QFile::encodeName(dir.path())), dir.path());
    }
};

QTEST_GUILESS_MAIN(TestHostileFiles)
#include "test_hostilefiles.moc"
