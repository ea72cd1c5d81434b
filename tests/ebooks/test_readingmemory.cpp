// Reading costs memory while a book is open and no more: opening and closing
// a book over and over, or going from one book to another (as a family does in
// an afternoon), leaves the program about as large as the first readings made it.

#include "widgets/GuiFixture.h"
#include "ListedBook.h"
#include "TestPdf.h"

#include "ebooks/EbookPage.h"
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

// The main window on the e-book list, over the books listed before it.
struct ReadingFixture : GuiFixture
{
    void show()
    {
        window = std::make_unique<TFormtest>();
        window->resize(1200, 800);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        page = window->ebookPage();
        viewer = page->viewer();
        window->dxNavBar1Item7Click();
    }

    // Runs `reading` `times` times after `settling` readings, and bounds what
    // the later ones leave behind.
    void bound(const char* what, int settling, int times, const std::function<void(int)>& reading)
    {
        for (int i = 0; i < settling; ++i)
            reading(i);
        const qint64 settled = residentBytes();
        for (int i = settling; i < settling + times; ++i)
            reading(i);
        const qint64 grown = residentBytes() - settled;
        qInfo("resident after settling %lld KB, grown by %lld KB over %d %s", settled / 1024, grown / 1024, times, what);
        // Generous: allocator slack, far below what loading a book each time keeps.
        QVERIFY2(grown < 8 * 1024 * 1024, qPrintable(QString::number(grown / 1024) + u" KB"_s));
    }

    std::unique_ptr<TFormtest> window;
    EbookPage* page = nullptr;
    PdfViewer* viewer = nullptr;
};

} // namespace

class TestReadingMemory : public QObject
{
    Q_OBJECT
private slots:
    void openAndCloseTwentyTimes();
    void switchBetweenBooksTwentyTimes();
};

void TestReadingMemory::openAndCloseTwentyTimes()
{
    ReadingFixture f;
    // A long book with a contents entry for every page: the PDF engine's
    // outline loads every page it points at, and keeps them (Qt 6.4).
    listBook(f, u"长"_s, makePdf(600));
    f.show();
    // A reading: the book opened, pages turned, zoomed, searched, closed.
    f.bound("readings", 2, 20, [&](int turnTo) {
        f.page->list().moveTo(0);
        f.page->Button4Click();
        QTRY_VERIFY_WITH_TIMEOUT(f.viewer->hasDocument(), 60000); // checked by the PDF worker the first time
        QCOMPARE(f.viewer->currentPage(), turnTo == 0 ? 0 : turnTo - 1); // where it was left
        f.viewer->goToPage(turnTo);
        QTest::qWait(10);
        f.viewer->zoomIn();
        f.viewer->findFrom(u"Chapter"_s, turnTo);
        f.viewer->findBar()->close();
        f.viewer->fitWidth();
        QTest::qWait(10);
        f.page->BitBtn3Click();
        QCoreApplication::processEvents();
    });
}

// One book after another, each with its contents: every switch loads another
// document and outline, and none of them may stay behind.
void TestReadingMemory::switchBetweenBooksTwentyTimes()
{
    ReadingFixture f;
    const int pages[] = { 600, 400, 500 };
    for (const int count : pages)
        listBook(f, u"书%1"_s.arg(count), makePdf(count));
    f.show();
    // The first two dozen switches fill bounded caches (the rendered pages,
    // the engine's fonts): about 9 MB, flat from then on.
    f.bound("switches", 24, 20, [&](int switchNumber) {
        const int row = switchNumber % 3;
        f.page->list().moveTo(row);
        f.page->Button4Click();
        QTRY_VERIFY_WITH_TIMEOUT(f.viewer->hasDocument(), 60000);
        QCOMPARE(f.viewer->pageCount(), pages[row]);
        QTRY_COMPARE_WITH_TIMEOUT(f.viewer->outlineCount(), pages[row], 60000); // from the PDF worker
        f.viewer->goToPage(switchNumber + 5);
        QTest::qWait(10);
        f.viewer->findFrom(u"Chapter"_s, switchNumber);
        f.viewer->findBar()->close();
        f.page->BitBtn3Click();
        QCoreApplication::processEvents();
    });
}

QTEST_MAIN(TestReadingMemory)
#include "test_readingmemory.moc"
