// Export and drag copies: decrypted part by part, written safely, cancelled
// without a trace; the name rules; the clean-up of "temp"; the last-page memory.

#include "data/test_recordset_fixture.h"

#include "Exception.h"
#include "crypto/AES.h"
#include "ebooks/DragCopy.h"
#include "ebooks/EbookExport.h"
#include "ebooks/LastPage.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A store file of plain, as the import writes it.
QString stored(const QTemporaryDir& dir, const QByteArray& plain, const QString& name = u"store"_s)
{
    const QString source = dir.filePath(name + u".plain"_s);
    const QString store = dir.filePath(name);
    writeAll(source, plain);
    AesEncryptFile(source.toStdString(), store.toStdString(), kEbookKey, 2);
    return store;
}

mode_t modeOf(const QString& path)
{
    struct stat st
    {
    };
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

QStringList leftovers(const QString& folder)
{
    return QDir(folder).entryList({ u".qinghe-*"_s }, QDir::Files | QDir::Hidden);
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private slots:
    void decryptToStringMatchesTheFileForm();
    void names_data();
    void names();
    void fileNamesFromTitles();
    void exportWrites();
    void cancelledExportLeavesNothing();
    void failedExportKeepsTheOldFile();
    void linksPermissionsAndReadOnlyFolders();
    void dragCopies();
    void lastPage();
};

void TestExport::decryptToStringMatchesTheFileForm()
{
    QTemporaryDir dir;
    const QByteArray plain = QByteArray(100'003, 'x') + "%%EOF";
    QCOMPARE(QByteArray::fromStdString(AesDecryptFileToString(stored(dir, plain).toStdString(), kEbookKey, 2)), plain);
    // The file form's errors, and no destination of any kind.
    const auto error = [&](const QByteArray& content) -> QString {
        const QString path = dir.filePath(u"bad"_s);
        writeAll(path, content);
        try {
            AesDecryptFileToString(path.toStdString(), kEbookKey, 2);
        } catch (const EAESError& e) {
            return u"EAESError "_s + QString::fromStdString(e.message());
        } catch (const EReadError& e) {
            return u"EReadError "_s + QString::fromStdString(e.message());
        }
        return {};
    };
    QCOMPARE(error(QByteArray(8, '\0')), u"EAESError Invalid buffer size for decryption"_s);
    QCOMPARE(error(QByteArray(3, '\0')), u"EReadError Stream read error"_s);
    QCOMPARE(error(QByteArray(8 + 17, '\0')), u"EAESError Invalid buffer size for decryption"_s);
    QVERIFY_THROWS_EXCEPTION(EFOpenError, AesDecryptFileToString(dir.filePath(u"none"_s).toStdString(), kEbookKey, 2));
}

void TestExport::names_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("used");
    const QString longName = QString(300, u'书');
    QTest::newRow("no extension") << u"/d/abc"_s << u"/d/abc.pdf"_s;
    QTest::newRow("pdf") << u"/d/abc.pdf"_s << u"/d/abc.pdf"_s;
    QTest::newRow("other extension") << u"/d/abc.txt"_s << u"/d/abc.txt"_s;
    QTest::newRow("dot in the folder only") << u"/d.e/abc"_s << u"/d.e/abc.pdf"_s;
    QTest::newRow("long chinese") << u"/d/"_s + longName << u"/d/"_s + QString(83, u'书') + u".pdf"_s;
    QTest::newRow("long, own extension") << u"/d/"_s + longName + u".epub"_s
                                         << u"/d/"_s + QString(83, u'书') + u".epub"_s;
    QTest::newRow("long, emoji not split") << u"/d/"_s + QString(70, u'a') + u"😀"_s.repeated(60) << QString();
}

void TestExport::names()
{
    QFETCH(QString, chosen);
    QFETCH(QString, used);
    EbookExport exporter;
    QCOMPARE(exporter.lastPath(), QString());
    const QString result = exporter.choose(chosen);
    QCOMPARE(exporter.lastPath(), result);
    QVERIFY(result.mid(result.lastIndexOf(u'/') + 1).toUtf8().size() <= 255);
    if (used.isEmpty()) // whole characters only
        QVERIFY(!result.toUtf8().contains("\xEF\xBF\xBD") && result.endsWith(u"😀.pdf"_s));
    else
        QCOMPARE(result, used);
}

void TestExport::fileNamesFromTitles()
{
    QCOMPARE(EbookFileName::safeName(u"红楼梦 上/下册"_s), u"红楼梦 上／下册"_s);
    QCOMPARE(EbookFileName::safeName(u"a\\b:c*d?e\"f<g>h|i"_s), u"a＼b：c＊d？e＂f＜g＞h｜i"_s);
    QCOMPARE(EbookFileName::safeName(u"tab\there\nnew\x7f"_s), u"tab_here_new_"_s);
    QCOMPARE(EbookFileName::safeName(u"book (2). 第 1 卷"_s), u"book (2). 第 1 卷"_s);
    for (const QString& empty : { QString(), u"."_s, u".."_s })
        QCOMPARE(EbookFileName::safeName(empty), u"_"_s);

    // The export's suggestion: the last folder chosen and the title as a file name.
    EbookExport exporter;
    QCOMPARE(exporter.suggestion(u"红楼梦 上/下册"_s), u"红楼梦 上／下册.pdf"_s);
    exporter.choose(u"/home/me/书/old"_s);
    QCOMPARE(exporter.suggestion(u"a?.pdf"_s), u"/home/me/书/a？.pdf"_s);
}

void TestExport::exportWrites()
{
    QTemporaryDir dir;
    const QByteArray plain = "%PDF-1.4 the book\n%%EOF\n";
    const QString store = stored(dir, plain);
    EbookExport exporter;
    const QString target = exporter.choose(dir.filePath(u"导出"_s));
    QCOMPARE(target, dir.filePath(u"导出.pdf"_s));
    EbookExport::write(store, target);
    QCOMPARE(readAll(target), plain);
    // Onto an existing file, replaced without a question.
    writeAll(target, QByteArray(5000, 'o'));
    EbookExport::write(store, target);
    QCOMPARE(readAll(target), plain);
    QCOMPARE(modeOf(target), mode_t(0666 & ~[] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }()));
    QCOMPARE(leftovers(dir.path()), QStringList());
}

void TestExport::cancelledExportLeavesNothing()
{
    QTemporaryDir dir;
    const QByteArray plain(3 << 20, 'b');
    const QString store = stored(dir, plain);
    const QString target = dir.filePath(u"old.pdf"_s);
    writeAll(target, "the old file");
    qint64 seen = 0;
    const auto stopAfterOneMegabyte = [&](qint64 done, qint64 total) {
        seen = done;
        return total == plain.size() && done < (1 << 20);
    };
    QVERIFY(!EbookExport::write(store, target, stopAfterOneMegabyte));
    QCOMPARE(seen, qint64(1 << 20));
    QCOMPARE(readAll(target), QByteArray("the old file"));
    QVERIFY(!EbookExport::write(store, dir.filePath(u"new.pdf"_s), stopAfterOneMegabyte));
    QVERIFY(!QFile::exists(dir.filePath(u"new.pdf"_s)));
    QCOMPARE(leftovers(dir.path()), QStringList());
    QVERIFY(EbookExport::write(store, target, [](qint64, qint64) { return true; }));
    QCOMPARE(readAll(target), plain);
}

void TestExport::failedExportKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(u"old.pdf"_s);
    writeAll(target, "the old file");
    const QString empty = stored(dir, QByteArray(), u"empty"_s);
    QVERIFY_THROWS_EXCEPTION(EAESError, EbookExport::write(empty, target));
    QVERIFY_THROWS_EXCEPTION(EFOpenError, EbookExport::write(dir.filePath(u"missing"_s), target));
    QCOMPARE(readAll(target), QByteArray("the old file"));
    // Nothing at all where there was nothing.
    QVERIFY_THROWS_EXCEPTION(EAESError, EbookExport::write(empty, dir.filePath(u"new.pdf"_s)));
    QVERIFY(!QFile::exists(dir.filePath(u"new.pdf"_s)));
    QCOMPARE(leftovers(dir.path()), QStringList());
}

void TestExport::linksPermissionsAndReadOnlyFolders()
{
    QTemporaryDir dir;
    const QString store = stored(dir, "new bytes");
    const QString real = dir.filePath(u"real.pdf"_s);
    const QString link = dir.filePath(u"link.pdf"_s);
    writeAll(real, "old");
    QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    QVERIFY(QFile::link(real, link));
    EbookExport::write(store, link);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readAll(real), QByteArray("new bytes"));
    QCOMPARE(modeOf(real), mode_t(0640));
    // Never over the store file itself.
    QVERIFY(QFile::link(store, dir.filePath(u"to-store.pdf"_s)));
    QVERIFY_THROWS_EXCEPTION(EFCreateError, EbookExport::write(store, dir.filePath(u"to-store.pdf"_s)));
    QCOMPARE(AesDecryptFileToString(store.toStdString(), kEbookKey, 2), std::string("new bytes"));

    // A folder where the file may be replaced but nothing created: written in place.
    if (::geteuid() != 0) {
        const QString locked = dir.filePath(u"locked"_s);
        QVERIFY(QDir().mkdir(locked));
        writeAll(locked + u"/book.pdf"_s, QByteArray(100, 'o'));
        ::chmod(QFile::encodeName(locked).constData(), 0555);
        EbookExport::write(store, locked + u"/book.pdf"_s);
        QCOMPARE(readAll(locked + u"/book.pdf"_s), QByteArray("new bytes"));
        QVERIFY_THROWS_EXCEPTION(EFCreateError, EbookExport::write(store, locked + u"/other.pdf"_s));
        ::chmod(QFile::encodeName(locked).constData(), 0755);
    }
}

void TestExport::dragCopies()
{
    QTemporaryDir home;
    qputenv("QINGHE_HOME", home.path().toUtf8());
    QDir(home.path()).mkdir(u"temp"_s);
    const QString temp = home.filePath(u"temp/"_s);
    DragCopy copies(home.filePath(u"temp"_s));
    QCOMPARE(copies.path(u"abc"_s), temp + u"abc.pdf"_s);
    QCOMPARE(copies.path(u"abc.pdf"_s), temp + u"abc.pdf"_s);

    const QString store = stored(home, "decrypted");
    const QString copy = copies.make(store, u"第一本"_s);
    QCOMPARE(copy, temp + u"第一本.pdf"_s);
    QCOMPARE(readAll(copy), QByteArray("decrypted"));
    const QString moved = copies.make(store, u"moved"_s);
    QVERIFY(QFile::rename(moved, home.filePath(u"desktop.pdf"_s))); // a completed drop
    writeAll(moved, "someone else's file of that name");
    // A title that is no file name still makes a copy, in "temp" and nowhere else.
    QCOMPARE(copies.make(store, u"../escape"_s), temp + u"..／escape"_s); // an "extension" of its own
    QVERIFY(!QFile::exists(home.filePath(u"escape.pdf"_s)));
    QCOMPARE(copies.make(store, u"红楼梦 上/下册"_s), temp + u"红楼梦 上／下册.pdf"_s);
    // A drag no one took: its copy goes at once; a later file of that name is not ours.
    copies.discard(temp + u"..／escape"_s);
    QVERIFY(!QFile::exists(temp + u"..／escape"_s));
    QVERIFY(QFile::rename(temp + u"红楼梦 上／下册.pdf"_s, home.filePath(u"taken.pdf"_s)));
    writeAll(temp + u"红楼梦 上／下册.pdf"_s, "someone else's");
    copies.discard(temp + u"红楼梦 上／下册.pdf"_s);
    QVERIFY(QFile::exists(temp + u"红楼梦 上／下册.pdf"_s));
    QFile::remove(temp + u"红楼梦 上／下册.pdf"_s);

    // Old files of a crashed run go at start; recent ones stay.
    writeAll(temp + u"old.pdf"_s, "old");
    QFile old(temp + u"old.pdf"_s);
    QVERIFY(old.open(QIODevice::ReadWrite));
    QVERIFY(old.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    old.close();
    copies.cleanAtStart();
    QVERIFY(!QFile::exists(temp + u"old.pdf"_s));
    QVERIFY(QFile::exists(copy));

    copies.removeThisRunsCopies();
    QCOMPARE(QDir(temp).entryList(QDir::Files | QDir::Hidden), QStringList { u"moved.pdf"_s });
    qunsetenv("QINGHE_HOME");
}

void TestExport::lastPage()
{
    LibraryFixture f;
    LastPage pages(f.db());
    QCOMPARE(pages.page(7), 0);
    pages.remember(7, 12);
    pages.remember(8, 3);
    pages.remember(7, 40);
    QCOMPARE(pages.page(7), 40);
    pages.forget(7);
    QCOMPARE(pages.page(7), 0);
    QCOMPARE(LastPage(f.db()).page(8), 3); // kept in the file
}

QTEST_GUILESS_MAIN(TestExport)
#include "test_export.moc"
