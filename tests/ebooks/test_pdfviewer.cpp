#include "ebooks/BookChecks.h"
#include "ebooks/PdfFindBar.h"
#include "ebooks/PdfThumbnailModel.h"
#include "ebooks/PdfViewer.h"

#include "TestPdf.h"

#include "format/StoreFile.h"
#include "pdfworker/PdfWorkerClient.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfView>
#include <QPdfWriter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <array>
#include <numeric>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// A document as our own PDF writer makes it: compressed streams, which the
// PDF engine reads from its source only when it draws a page.
QByteArray writtenPdf(int pages)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    QPainter painter(&writer);
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.fillRect(QRect(QPoint(0, 0), QSize(writer.width(), writer.height())), QColor(25, 77, 230));
        painter.drawText(QPoint(100, 100), QString::number(page + 1));
    }
    painter.end();
    return buffer.data();
}

// Pages of Chinese text, each line one text of lines, drawn in a CJK font.
QByteArray chinesePdf(const QList<QStringList>& pages)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    QPainter painter(&writer);
    QFont font(u"WenQuanYi Micro Hei"_s);
    font.setPixelSize(24);
    painter.setFont(font);
    for (qsizetype page = 0; page < pages.size(); ++page) {
        if (page > 0)
            writer.newPage();
        for (qsizetype line = 0; line < pages[page].size(); ++line)
            painter.drawText(QPoint(60, 80 + 300 * int(line)), pages[page][line]);
    }
    painter.end();
    return buffer.data();
}

// The document as the store keeps it, where the PDF worker reads it for the
// find bar and the outline.
QString storeFileOf(const QByteArray& pdf, const QTemporaryDir& dir)
{
    const QString path = dir.filePath(u"book"_s);
    QFile file(path);
    const std::string bytes = StoreFile::enciphered(pdf.toStdString());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Opens pdf in the viewer with the page labels the PDF worker reads in it.
bool openLabelled(PdfViewer& viewer, const QByteArray& pdf)
{
    if (!viewer.OpenDocumentStream(pdf, QString()))
        return false;
    QTemporaryDir dir;
    PdfWorkerClient worker;
    viewer.setPageLabels(BookChecks::labelsOf(worker.run(WorkerJob::outline(storeFileOf(pdf, dir), QString()))));
    return true;
}

// Pixels of an image in the find bar's highlight of the current match (orange).
int orangePixels(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb p = rgb.pixel(x, y);
            count += qRed(p) > 200 && qGreen(p) > 120 && qGreen(p) < 200 && qBlue(p) < 150 ? 1 : 0;
        }
    return count;
}

// The share of an image's pixels in the fixture's blue.
double blueShare(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    qint64 blue = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            blue += qBlue(line[x]) > 180 && qRed(line[x]) < 80 ? 1 : 0;
    }
    return rgb.isNull() ? 0.0 : double(blue) / (double(rgb.width()) * rgb.height());
}

// A viewer on screen, ready for keys.
struct ShownViewer : PdfViewer
{
    ShownViewer(int width = 700, int height = 500)
    {
        resize(width, height);
        show();
        QVERIFY(QTest::qWaitForWindowActive(this));
    }
};

} // namespace

class TestPdfViewer : public QObject
{
    Q_OBJECT

private slots:
    void password_data();
    void password();
    void unreadableDocument_data();
    void unreadableDocument();
    void rendersAfterCallerFreesItsMemory();
    void viewerPartsAndReset();
    void pagingByKeysAndControls();
    void zoom();
    void thumbnailsRenderOnlyVisiblePages();
    void findChineseText();
    void noteFadesAndPageSignal();
    void placeKeptThroughEveryLayout();
    void pageNamesFollowTheBooksLabels();
};

void TestPdfViewer::password_data()
{
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("messagePart");

    QTest::newRow("right password") << true << u"reader-2024"_s << true << QString();
    QTest::newRow("wrong password") << true << u"reader-2025"_s << false << u"密码错误"_s;
    QTest::newRow("no password") << true << QString() << false << u"请在“简介笔记”中填写文档密码"_s;
    QTest::newRow("password for a plain file") << false << u"unused"_s << true << QString();
}

void TestPdfViewer::password()
{
    QFETCH(bool, encrypted);
    QFETCH(QString, password);
    QFETCH(bool, opens);
    QFETCH(QString, messagePart);

    PdfViewer viewer;
    const QByteArray pdf = makePdf(2, encrypted ? std::optional<QByteArray>("reader-2024") : std::nullopt);
    QCOMPARE(viewer.OpenDocumentStream(pdf, password), opens);
    QCOMPARE(viewer.hasDocument(), opens);
    QCOMPARE(viewer.pageCount(), opens ? 2 : 0);
    if (opens) {
        QCOMPARE(viewer.message(), QString());
        QVERIFY(blueShare(viewer.document()->render(1, QSize(150, 200))) > 0.5); // the pages read as written
    } else {
        QVERIFY2(viewer.message().contains(messagePart), qPrintable(viewer.message()));
    }
}

void TestPdfViewer::unreadableDocument_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = makePdf(3);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a pdf") << QByteArray("just some text, nothing like a document\n");
    QByteArray scrambled = good;
    for (qsizetype i = 9; i < scrambled.size(); i += 3)
        scrambled[i] = char(scrambled[i] ^ 0x5a);
    QTest::newRow("scrambled") << scrambled;
}

void TestPdfViewer::unreadableDocument()
{
    QFETCH(QByteArray, bytes);

    ShownViewer viewer;
    QVERIFY(viewer.OpenDocumentStream(makePdf(2), QString()));
    QVERIFY(!viewer.OpenDocumentStream(bytes, QString()));
    QVERIFY(!viewer.hasDocument());
    QCOMPARE(viewer.pageCount(), 0);
    QVERIFY(viewer.message().startsWith(u"无法打开此文档"_s));
    QVERIFY(viewer.findChild<QWidget*>(u"messageLabel"_s)->isVisible());
    viewer.grab();

    // The viewer recovers with the next good document.
    QVERIFY(viewer.OpenDocumentStream(makePdf(3), QString()));
    QCOMPARE(viewer.pageCount(), 3);
    QCOMPARE(viewer.message(), QString());
}

void TestPdfViewer::rendersAfterCallerFreesItsMemory()
{
    ShownViewer viewer(500, 700);
    viewer.SetViewerPart(PdfViewer::SidePanePart, false);

    // The caller's memory wrapped without a copy, then wiped right after the call.
    const QByteArray pdf = writtenPdf(60);
    std::vector<char> memory(pdf.begin(), pdf.end());
    QVERIFY(viewer.OpenDocumentStream(QByteArray::fromRawData(memory.data(), qsizetype(memory.size())), QString()));
    std::fill(memory.begin(), memory.end(), '\0');
    memory.clear();
    memory.shrink_to_fit();

    QTRY_VERIFY2(blueShare(viewer.grab().toImage()) > 0.3, "the page is not drawn");
    const QImage thumbnail = viewer.thumbnailModel()->index(50).data(Qt::DecorationRole).value<QImage>();
    QVERIFY(blueShare(thumbnail) > 0.3);
    viewer.lastPage();
    QCOMPARE(viewer.currentPage(), 59);
    QTRY_VERIFY2(blueShare(viewer.grab().toImage()) > 0.3, "the last page is not drawn");

    // Bytes handed over are kept, not copied, for as long as the document is open.
    QVERIFY(viewer.OpenOwnedDocument(writtenPdf(3).toStdString(), QString()));
    QCOMPARE(viewer.pageCount(), 3);
    QTRY_VERIFY2(blueShare(viewer.grab().toImage()) > 0.3, "the handed-over document is not drawn");
    QVERIFY(!viewer.OpenOwnedDocument(std::string(), QString()));
    QVERIFY(viewer.message().contains(u"空"_s));
}

void TestPdfViewer::viewerPartsAndReset()
{
    PdfViewer viewer;
    viewer.show();
    viewer.SetViewerPart(0, false);
    viewer.SetViewerPart(1, false);
    viewer.SetViewerPart(1, true);
    viewer.SetViewerPart(2, false); // not a part: ignored
    QVERIFY(!viewer.findChild<QToolBar*>(u"viewerToolBar"_s)->isVisible() && !viewer.isPartShown(0));
    QVERIFY(viewer.findChild<QTabWidget*>(u"sidePane"_s)->isVisible() && viewer.isPartShown(1));

    QVERIFY(viewer.OpenDocumentStream(makePdf(2), QString()));
    viewer.SetViewerFlag(true);
    QCOMPARE(viewer.pageCount(), 2);
    viewer.SetViewerFlag(false);
    QVERIFY(viewer.hasDocument());
    QCOMPARE(viewer.pageCount(), 2);

    // A reset clears a message left by a failed open.
    QVERIFY(!viewer.OpenDocumentStream("broken", QString()));
    QVERIFY(!viewer.message().isEmpty());
    viewer.SetViewerFlag(false);
    QCOMPARE(viewer.message(), QString());
}

void TestPdfViewer::pagingByKeysAndControls()
{
    ShownViewer viewer;
    const QByteArray pdf = makePdf(10);
    QVERIFY(viewer.OpenDocumentStream(pdf, QString()));
    auto* view = viewer.findChild<QPdfView*>(u"pageView"_s);
    view->setFocus();
    QCOMPARE(viewer.currentPage(), 0);

    QTest::keyClick(view, Qt::Key_PageDown);
    QCOMPARE(viewer.currentPage(), 1);
    QTest::keyClick(view, Qt::Key_End);
    QCOMPARE(viewer.currentPage(), 9);
    QTest::keyClick(view, Qt::Key_PageDown);
    QCOMPARE(viewer.currentPage(), 9);
    QTest::keyClick(view, Qt::Key_Home);
    QTest::keyClick(view, Qt::Key_PageUp);
    QCOMPARE(viewer.currentPage(), 0);

    // The outline as the PDF worker reads it, one entry a page, and the thumbnails.
    QCOMPARE(viewer.outlineCount(), 0); // the viewer never reads it itself
    {
        QTemporaryDir dir;
        PdfWorkerClient worker;
        viewer.setOutline(BookChecks::outlineOf(worker.run(WorkerJob::outline(storeFileOf(pdf, dir), QString()))));
    }
    auto* outline = viewer.findChild<QTreeView*>(u"outlineView"_s);
    QAbstractItemModelTester outlineTester(outline->model());
    QAbstractItemModelTester thumbnailTester(viewer.thumbnailModel());
    QCOMPARE(outline->model()->rowCount(), 10);
    QCOMPARE(viewer.thumbnailModel()->rowCount(), 10);
    const QModelIndex chapter = outline->model()->index(6, 0);
    QCOMPARE(chapter.data().toString(), u"Chapter 7"_s);
    QTest::mouseClick(outline->viewport(), Qt::LeftButton, {}, outline->visualRect(chapter).center());
    QCOMPARE(viewer.currentPage(), 6);

    viewer.findChild<QTabWidget*>(u"sidePane"_s)->setCurrentIndex(1);
    auto* thumbnails = viewer.findChild<QListView*>(u"thumbnailView"_s);
    const QModelIndex second = thumbnails->model()->index(1, 0);
    thumbnails->scrollTo(second);
    QTest::mouseClick(thumbnails->viewport(), Qt::LeftButton, {}, thumbnails->visualRect(second).center());
    QCOMPARE(viewer.currentPage(), 1);

    auto* pageBox = viewer.findChild<QAbstractSpinBox*>(u"pageBox"_s);
    QCOMPARE(pageBox->text(), u"第 2 / 10 页"_s);
    pageBox->setFocus();
    pageBox->selectAll();
    QTest::keyClicks(pageBox, u"5"_s);
    QTest::keyClick(pageBox, Qt::Key_Return);
    QCOMPARE(viewer.currentPage(), 4);
}

void TestPdfViewer::zoom()
{
    ShownViewer viewer;
    QVERIFY(viewer.OpenDocumentStream(makePdf(2), QString()));
    auto* view = viewer.findChild<QPdfView*>(u"pageView"_s);
    view->setFocus();

    viewer.setZoom(1.0);
    QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(view->zoomFactor(), 1.25);
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(view->zoomFactor(), 0.75);

    // Reading mode: the page width fills the view whatever the zoom was.
    viewer.RunViewerCommand();
    QCOMPARE(view->zoomMode(), QPdfView::ZoomMode::FitToWidth);
    const qreal fitted = viewer.effectiveZoom();
    QVERIFY(fitted > 0.75);
    // Zooming in from a fitted width continues from the fitted scale.
    viewer.zoomIn();
    QCOMPARE(view->zoomMode(), QPdfView::ZoomMode::Custom);
    QVERIFY(view->zoomFactor() > fitted);
}

void TestPdfViewer::thumbnailsRenderOnlyVisiblePages()
{
    ShownViewer viewer(900, 600);
    QVERIFY(viewer.OpenDocumentStream(makePdf(300), QString()));
    viewer.findChild<QTabWidget*>(u"sidePane"_s)->setCurrentIndex(1);
    QTRY_VERIFY(viewer.thumbnailModel()->renderCount() > 0);
    QTest::qWait(50);
    QVERIFY2(viewer.thumbnailModel()->renderCount() < 20,
        qPrintable(QString::number(viewer.thumbnailModel()->renderCount())));
}

void TestPdfViewer::findChineseText()
{
    ShownViewer viewer(600, 500);
    viewer.SetViewerPart(0, false); // as on the reading page: built-in parts off
    viewer.SetViewerPart(1, false);
    const QString word = u"红楼梦"_s;
    const QByteArray pdf = chinesePdf({ { u"第一页 "_s + word }, { u"没有"_s }, { word + u" 第三页"_s, u"又是"_s + word } });
    QVERIFY(viewer.OpenDocumentStream(pdf, QString()));
    // The places come from the PDF worker reading the store file.
    QTemporaryDir dir;
    viewer.setFindSource(storeFileOf(pdf, dir), QString());
    auto* view = viewer.pageView();
    view->setFocus();
    auto* bar = viewer.findChild<PdfFindBar*>(u"FindBar"_s);
    QVERIFY(!bar->isVisible());
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(bar->isVisible());
    auto* edit = bar->findChild<QLineEdit*>(u"FindEdit"_s);
    QVERIFY(edit->hasFocus());
    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, word, Qt::NoModifier);
    // While the pages are searched the bar says so; then the count stands alone.
    QVERIFY2(bar->statusText().startsWith(u"正在查找"_s), qPrintable(bar->statusText()));
    QTRY_COMPARE_WITH_TIMEOUT(bar->statusText(), u"共 3 处"_s, 60000);

    // Enter, F3 and Shift+F3 walk the matches, round the document.
    struct Step
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int page, index;
    };
    for (const Step& step : { Step { Qt::Key_Return, {}, 0, 0 }, Step { Qt::Key_F3, {}, 2, 0 },
             Step { Qt::Key_F3, {}, 2, 1 }, Step { Qt::Key_F3, {}, 0, 0 }, Step { Qt::Key_F3, Qt::ShiftModifier, 2, 1 } }) {
        QTest::keyClick(edit, step.key, step.modifiers);
        QCOMPARE(bar->matchPage(), step.page);
        QCOMPARE(bar->matchIndexOnPage(), step.index);
        QCOMPARE(viewer.currentPage(), step.page);
    }
    QTRY_COMPARE(bar->statusText(), u"第 3 处，共 3 处"_s);

    // The current match is highlighted where its text is drawn.
    const QRect page = viewer.pageRect(2);
    const qreal scale = page.width() / viewer.document()->pagePointSize(2).width();
    const QRectF match = bar->matchRectangles().value(0);
    const QRect shown = QRectF(page.topLeft() + match.topLeft() * scale, match.size() * scale).toAlignedRect();
    QVERIFY2(view->viewport()->rect().contains(shown), "the match is not in view");
    QTRY_VERIFY(orangePixels(view->viewport()->grab(shown).toImage()) > shown.width() * shown.height() / 3);

    edit->selectAll();
    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, u"不存在"_s, Qt::NoModifier);
    QTest::keyClick(edit, Qt::Key_Return); // taken once the worker has looked through the pages
    QTRY_COMPARE_WITH_TIMEOUT(bar->statusText(), u"找不到"_s, 60000);
    QTest::keyClick(edit, Qt::Key_Escape);
    QVERIFY(!bar->isVisible());
    QTRY_COMPARE(orangePixels(view->viewport()->grab().toImage()), 0);

    // Ctrl+0: back to the page width after a zoom.
    viewer.setZoom(2.0);
    QTest::keyClick(view, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(view->zoomMode(), QPdfView::ZoomMode::FitToWidth);
}

void TestPdfViewer::noteFadesAndPageSignal()
{
    ShownViewer viewer;
    QSignalSpy pages(&viewer, &PdfViewer::currentPageChanged);
    QVERIFY(viewer.OpenDocumentStream(makePdf(10), QString()));
    viewer.goToPage(6);
    QCOMPARE(pages.last().at(0).toInt(), 6);
    viewer.findChild<QPdfView*>(u"pageView"_s)->setFocus();
    QTest::keyClick(viewer.pageView(), Qt::Key_PageUp);
    QCOMPARE(pages.last().at(0).toInt(), 5);

    viewer.showNote(u"上次读到第 7 页"_s);
    QCOMPARE(viewer.note(), u"上次读到第 7 页"_s);
    QVERIFY(viewer.findChild<QLabel*>(u"NoteLabel"_s)->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(viewer.note().isEmpty(), 8000);
}

void TestPdfViewer::placeKeptThroughEveryLayout()
{
    ShownViewer viewer(800, 600);
    QVERIFY(viewer.OpenDocumentStream(makePdf(60), QString()));
    QPdfView* view = viewer.pageView();
    QScrollBar* bar = view->verticalScrollBar();
    viewer.goToPage(40);
    // A third of the way down page 41: the line read.
    bar->setValue(bar->value() + viewer.pageRect(40).height() / 3);
    const auto share = [&] {
        const QRect page = viewer.pageRect(viewer.currentPage());
        return -page.top() / qreal(page.height());
    };
    QSignalSpy pages(&viewer, &PdfViewer::currentPageChanged);
    const std::pair<const char*, std::function<void()>> changes[] = {
        { "zoom in", [&] { QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier); } },
        { "zoom in again", [&] { viewer.zoomIn(); } },
        { "zoom out", [&] { QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier); } },
        { "zoom out far", [&] { viewer.setZoom(0.5); } },
        { "fit page", [&] { viewer.fitPage(); } },
        { "fit width", [&] { QTest::keyClick(view, Qt::Key_0, Qt::ControlModifier); } },
        { "side pane hidden", [&] { viewer.SetViewerPart(PdfViewer::SidePanePart, false); } },
        { "toolbar hidden", [&] { viewer.SetViewerPart(PdfViewer::ToolBarPart, false); } },
        { "narrower", [&] { viewer.resize(500, 600); } },
        { "parts back", [&] {
             viewer.SetViewerPart(PdfViewer::SidePanePart, true);
             viewer.SetViewerPart(PdfViewer::ToolBarPart, true);
         } },
        { "wider", [&] { viewer.resize(1000, 700); } },
    };
    view->setFocus();
    for (const auto& [name, change] : changes) {
        change();
        QTest::qWait(30); // the layouts that follow a resize
        const QString where = u"%1: page %2, %3 down"_s.arg(QLatin1String(name)).arg(viewer.currentPage()).arg(share());
        QVERIFY2(viewer.currentPage() == 40 && std::abs(share() - 1.0 / 3) < 0.02, qPrintable(where));
        for (const QList<QVariant>& signal : std::as_const(pages))
            QVERIFY2(signal.at(0).toInt() == 40, name); // never a passing page to be remembered
    }
}

void TestPdfViewer::pageNamesFollowTheBooksLabels()
{
    ShownViewer viewer;
    // Six pages of front matter numbered i to vi, then the book's own 1, 2, ...
    const QByteArray labelled = makePdf(20, std::nullopt, "/PageLabels << /Nums [0 << /S /r >> 6 << /S /D >>] >>");
    QVERIFY(viewer.OpenDocumentStream(labelled, QString()));
    QCOMPARE(viewer.pageName(9), u"第 10 页"_s); // until the worker has read the labels
    QVERIFY(openLabelled(viewer, labelled));
    QCOMPARE(viewer.pageName(9), u"第 4 页（PDF 第 10 页）"_s);
    QCOMPARE(viewer.pageName(1), u"第 ii 页（PDF 第 2 页）"_s);
    viewer.goToPage(9);
    auto* name = viewer.findChild<QLabel*>(u"pageNameLabel"_s);
    QCOMPARE(name->text(), u"第 4 页（PDF 第 10 页）"_s);
    QTRY_VERIFY(name->isVisible());
    // A book whose labels merely count from 1 names its pages by their number alone.
    QVERIFY(openLabelled(viewer, makePdf(12, std::nullopt, "/PageLabels << /Nums [0 << /S /D >>] >>")));
    QCOMPARE(viewer.pageName(9), u"第 10 页"_s);
    QTRY_VERIFY(!name->isVisible());
    QVERIFY(openLabelled(viewer, makePdf(3)));
    QCOMPARE(viewer.pageName(2), u"第 3 页"_s);
}

QTEST_MAIN(TestPdfViewer)
#include "test_pdfviewer.moc"
