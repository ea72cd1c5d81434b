// Reading costs memory while a book is open, and gives it back: opening and
// closing books over and over (as a family does in an afternoon) leaves the
// program about as large as the first reading made it.

#include "widgets/GuiFixture.h"

#include "ebooks/EbookPage.h"
#include "ebooks/EbookStore.h"
#include "ebooks/PdfFindBar.h"
#include "ebooks/PdfViewer.h"
#include "shell/Unittest.h"

#include <QFile>
#include <QPainter>
#include <QPdfView>
#include <QPdfWriter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>

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

// About half a megabyte: pages of text over a photograph-like picture, which
// the PDF engine decodes whenever it draws them.
QByteArray halfMegabyteBook(int pages)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    QPainter painter(&writer);
    painter.setFont(QFont(u"WenQuanYi Micro Hei"_s, 14));
    QRandomGenerator random(4);
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        if (page % 8 == 0) { // a picture of its own, which no compression makes smaller
            QImage noise(220, 220, QImage::Format_RGB32);
            for (int y = 0; y < noise.height(); ++y)
                for (int x = 0; x < noise.width(); ++x)
                    noise.setPixel(x, y, random.generate());
            painter.drawImage(QRect(40, 200, 300, 300), noise);
        }
        for (int line = 0; line < 30; ++line)
            painter.drawText(40, 60 + 20 * line, u"第%1页 第%2行 家里的书架上有很多书 the reader"_s.arg(page + 1).arg(line));
    }
    painter.end();
    return bytes;
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
    const EbookStore store = EbookStore::standard();
    QDir().mkpath(store.folder());
    const QByteArray pdf = halfMegabyteBook(40);
    QVERIFY2(pdf.size() > 300'000, qPrintable(QString::number(pdf.size())));
    for (const QString& name : { u"甲"_s, u"乙"_s }) {
        const QString source = f.dir.filePath(name + u".pdf"_s);
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(pdf);
        file.close();
        const QString stored = store.newStoredName();
        store.store(source, stored);
        f.db().execute(u"insert into dzbook (name, filename) values ('%1', '%2')"_s.arg(name, stored));
    }
    TFormtest window;
    window.resize(1200, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    EbookPage* page = window.ebookPage();
    PdfViewer* viewer = page->viewer();
    window.dxNavBar1Item7Click();

    // A reading: the book opened, a few pages turned, zoomed, searched, closed.
    auto read = [&](int row) {
        page->list().moveTo(row);
        page->Button4Click();
        QVERIFY(viewer->hasDocument());
        for (int step = 0; step < 6; ++step) {
            viewer->goToPage(step * 6);
            QCoreApplication::processEvents();
            QTest::qWait(5);
        }
        viewer->zoomIn();
        QTest::qWait(20);
        viewer->findFrom(u"书架"_s, 3);
        QTRY_VERIFY(!viewer->findBar()->isSearching());
        viewer->findBar()->close();
        viewer->fitWidth();
        QTest::qWait(20);
        page->BitBtn3Click();
        QCoreApplication::processEvents();
    };
    for (int i = 0; i < 4; ++i) // the caches and the engine settle in
        read(i % 2);
    const qint64 settled = residentBytes();
    for (int i = 0; i < 20; ++i)
        read(i % 2);
    const qint64 grown = residentBytes() - settled;
    qInfo("resident after settling %lld KB, grown by %lld KB over 20 readings", settled / 1024, grown / 1024);
    // Generous: a few readings' worth of allocator slack, far below 10 MB a reading.
    QVERIFY2(grown < 40 * 1024 * 1024, qPrintable(QString::number(grown / 1024) + u" KB"_s));
}

QTEST_MAIN(TestReadingMemory)
#include "test_readingmemory.moc"
