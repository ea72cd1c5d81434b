// Reading costs memory while a book is open and no more: opening and closing
// a book over and over (as a family does in an afternoon) leaves the program
// about as large as the first reading made it.

#include "widgets/GuiFixture.h"
#include "TestPdf.h"

#include "ebooks/EbookPage.h"
#include "ebooks/EbookStore.h"
#include "ebooks/PdfFindBar.h"
#include "ebooks/PdfViewer.h"
#include "shell/Unittest.h"

#include <QFile>

#include <malloc.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The resident size of this process, from /proc.
qint64 residentBytes()
{
    malloc_trim(0); // what the allocator keeps but does not use is no part of a leak
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

} // namespace

class TestReadingMemory : public QObject
{
    Q_OBJECT
private slots:
    void openAndCloseTwentyTimes();
};

void TestReadingMemory::openAndCloseTwentyTimes()
{
    GuiFixture f;
    const EbookStore store = EbookStore(AppPaths::path(u"corvina"_s));
    QDir().mkpath(store.folder());
    // A long book with a contents entry for every page: the PDF engine's
    // outline loads every page it points at, and keeps them (Qt 6.4).
    const QString source = f.dir.filePath(u"长.pdf"_s);
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(makePdf(600));
    }
    const QString stored = store.newStoredName();
    store.store(source, stored);
    f.db().execute(u"insert into dzbook (name, filename) values ('长', '%1')"_s.arg(stored));
    TFormtest window;
    window.resize(1200, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    EbookPage* page = window.ebookPage();
    PdfViewer* viewer = page->viewer();
    window.dxNavBar1Item7Click();

    // A reading: the book opened, pages turned, zoomed, searched, closed.
    auto read = [&](int turnTo) {
        page->list().moveTo(0);
        page->Button4Click();
        QTRY_VERIFY_WITH_TIMEOUT(viewer->hasDocument(), 60000); // checked by the PDF worker the first time
        QCOMPARE(viewer->currentPage(), turnTo == 0 ? 0 : turnTo - 1); // where it was left
        viewer->goToPage(turnTo);
        QTest::qWait(10);
        viewer->zoomIn();
        viewer->findFrom(u"Chapter"_s, turnTo);
        viewer->findBar()->close();
        viewer->fitWidth();
        QTest::qWait(10);
        page->BitBtn3Click();
        QCoreApplication::processEvents();
    };
    read(0);
    read(1);
    const qint64 settled = residentBytes();
    for (int i = 2; i < 22; ++i)
        read(i);
    const qint64 grown = residentBytes() - settled;
    qInfo("resident after settling %lld KB, grown by %lld KB over 20 readings", settled / 1024, grown / 1024);
    // Generous: allocator slack, far below what loading the book each time keeps.
    QVERIFY2(grown < 8 * 1024 * 1024, qPrintable(QString::number(grown / 1024) + u" KB"_s));
}

QTEST_MAIN(TestReadingMemory)
#include "test_readingmemory.moc"
#include "platform/AppPaths.h"
