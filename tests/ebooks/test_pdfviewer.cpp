#include "ebooks/PdfThumbnailModel.h"
#include "ebooks/PdfViewer.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QListView>
#include <QPainter>
#include <QPdfBookmarkModel>
#include <QPdfDocument>
#include <QPdfView>
#include <QPdfWriter>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <array>
#include <numeric>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// ---- A small PDF writer for the fixtures --------------------------------
// Pages of 300 x 400 points, each filled mostly by a blue rectangle, an
// optional outline with one entry per page, and optional encryption by the
// standard security handler, revision 3, with a 128-bit RC4 key.

const QByteArray Padding = QByteArray::fromHex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A");
const QByteArray DocumentId = QByteArray::fromHex("0123456789ABCDEF0123456789ABCDEF");
constexpr qint32 Permissions = -4;

QByteArray md5(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5);
}

QByteArray rc4(const QByteArray& key, const QByteArray& data)
{
    std::array<quint8, 256> s;
    std::iota(s.begin(), s.end(), 0);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + quint8(key[i % key.size()])) & 0xff;
        std::swap(s[i], s[j]);
    }
    QByteArray out(data);
    for (int n = 0, i = 0, j = 0; n < out.size(); ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        std::swap(s[i], s[j]);
        out[n] = char(quint8(out[n]) ^ s[(s[i] + s[j]) & 0xff]);
    }
    return out;
}

QByteArray padded(const QByteArray& password)
{
    return (password + Padding).left(32);
}

// RC4 with the key, then 19 more times with the key's bytes xor-ed with 1..19.
QByteArray rc4Twenty(const QByteArray& key, QByteArray data)
{
    for (int round = 0; round < 20; ++round) {
        QByteArray roundKey(key);
        for (char& byte : roundKey)
            byte = char(quint8(byte) ^ round);
        data = rc4(roundKey, data);
    }
    return data;
}

struct Security
{
    QByteArray owner;
    QByteArray user;
    QByteArray fileKey;

    Security(const QByteArray& userPassword, const QByteArray& ownerPassword)
    {
        QByteArray ownerHash = md5(padded(ownerPassword));
        for (int i = 0; i < 50; ++i)
            ownerHash = md5(ownerHash);
        owner = rc4Twenty(ownerHash, padded(userPassword));

        const quint32 p = quint32(Permissions);
        QByteArray keyInput = padded(userPassword) + owner;
        for (int shift = 0; shift < 32; shift += 8)
            keyInput.append(char((p >> shift) & 0xff));
        fileKey = md5(keyInput + DocumentId);
        for (int i = 0; i < 50; ++i)
            fileKey = md5(fileKey);

        user = rc4Twenty(fileKey, md5(Padding + DocumentId)) + QByteArray(16, '\0');
    }

    QByteArray objectKey(int object) const
    {
        QByteArray input = fileKey;
        input.append(char(object & 0xff)).append(char((object >> 8) & 0xff)).append(char((object >> 16) & 0xff));
        input.append('\0').append('\0');
        return md5(input);
    }
};

// Encrypted when given a user password; the owner password is "owner-secret".
QByteArray makePdf(int pages, bool outline = false, const std::optional<QByteArray>& userPassword = std::nullopt)
{
    const std::optional<Security> security
        = userPassword ? std::optional<Security>(std::in_place, *userPassword, "owner-secret") : std::nullopt;
    // Strings and streams of an encrypted file are encrypted with their object's key.
    auto protect
        = [&](int object, const QByteArray& data) { return security ? rc4(security->objectKey(object), data) : data; };
    auto text = [&](int object, const QByteArray& data) { return '<' + protect(object, data).toHex() + '>'; };

    // Objects: 1 catalogue, 2 page tree, 3 outline root, then per page: page,
    // contents, outline entry; finally the encryption dictionary.
    const int firstPage = 4;
    auto pageObject = [&](int page) { return firstPage + 3 * page; };
    const int encryptObject = firstPage + 3 * pages;

    std::vector<QByteArray> objects(encryptObject + 1);
    objects[1] = "<< /Type /Catalog /Pages 2 0 R" + QByteArray(outline ? " /Outlines 3 0 R" : "") + " >>";
    QByteArray kids;
    for (int page = 0; page < pages; ++page)
        kids += QByteArray::number(pageObject(page)) + " 0 R ";
    objects[2] = "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>";
    objects[3] = "<< /Type /Outlines /First " + QByteArray::number(pageObject(0) + 2) + " 0 R /Last "
        + QByteArray::number(pageObject(pages - 1) + 2) + " 0 R /Count " + QByteArray::number(pages) + " >>";
    for (int page = 0; page < pages; ++page) {
        const int object = pageObject(page);
        objects[object] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Contents "
            + QByteArray::number(object + 1) + " 0 R >>";
        const QByteArray content = protect(object + 1, "0.1 0.3 0.9 rg 20 20 260 360 re f\n");
        objects[object + 1]
            = "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
        QByteArray entry = "<< /Title " + text(object + 2, "Chapter " + QByteArray::number(page + 1))
            + " /Parent 3 0 R /Dest [" + QByteArray::number(object) + " 0 R /XYZ 0 400 0]";
        if (page > 0)
            entry += " /Prev " + QByteArray::number(object - 1) + " 0 R";
        if (page + 1 < pages)
            entry += " /Next " + QByteArray::number(object + 5) + " 0 R";
        objects[object + 2] = entry + " >>";
    }
    objects[encryptObject] = security
        ? "<< /Filter /Standard /V 2 /R 3 /Length 128 /P " + QByteArray::number(Permissions) + " /O <"
            + security->owner.toHex() + "> /U <" + security->user.toHex() + "> >>"
        : "<< >>";

    QByteArray pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    std::vector<qsizetype> offsets(objects.size(), 0);
    for (size_t object = 1; object < objects.size(); ++object) {
        offsets[object] = pdf.size();
        pdf += QByteArray::number(qsizetype(object)) + " 0 obj\n" + objects[object] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(qsizetype(objects.size())) + "\n0000000000 65535 f \n";
    for (size_t object = 1; object < objects.size(); ++object)
        pdf += QByteArray::number(offsets[object]).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(qsizetype(objects.size())) + " /Root 1 0 R";
    if (security)
        pdf += " /Encrypt " + QByteArray::number(encryptObject) + " 0 R";
    pdf += " /ID [<" + DocumentId.toHex() + "> <" + DocumentId.toHex() + ">] >>\nstartxref\n" + QByteArray::number(xref)
        + "\n%%EOF\n";
    return pdf;
}

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

} // namespace

class TestPdfViewer : public QObject
{
    Q_OBJECT

private slots:
    void opensDocumentWithOutline();
    void password_data();
    void password();
    void unreadableDocument_data();
    void unreadableDocument();
    void rendersAfterCallerFreesItsMemory();
    void viewerParts();
    void flagResetsViewer();
    void pagingByKeysAndControls();
    void zoom();
    void thumbnailsRenderOnlyVisiblePages();
};

void TestPdfViewer::opensDocumentWithOutline()
{
    PdfViewer viewer;
    QVERIFY(viewer.OpenDocumentStream(makePdf(4, true), QString()));
    QVERIFY(viewer.hasDocument());
    QCOMPARE(viewer.pageCount(), 4);
    QCOMPARE(viewer.message(), QString());

    auto* outline = viewer.findChild<QTreeView*>(u"outlineView"_s);
    QVERIFY(outline);
    QAbstractItemModelTester outlineTester(outline->model());
    QCOMPARE(outline->model()->rowCount(), 4);
    const QModelIndex third = outline->model()->index(2, 0);
    QCOMPARE(third.data(int(QPdfBookmarkModel::Role::Title)).toString(), u"Chapter 3"_s);
    QCOMPARE(third.data(int(QPdfBookmarkModel::Role::Page)).toInt(), 2);
    QAbstractItemModelTester thumbnailTester(viewer.thumbnailModel());
    QCOMPARE(viewer.thumbnailModel()->rowCount(), 4);
}

void TestPdfViewer::password_data()
{
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("messagePart");

    QTest::newRow("right password") << true << u"reader-2024"_s << true << QString();
    QTest::newRow("owner password") << true << u"owner-secret"_s << true << QString();
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
    const QByteArray pdf = makePdf(2, false, encrypted ? std::optional<QByteArray>("reader-2024") : std::nullopt);
    QCOMPARE(viewer.OpenDocumentStream(pdf, password), opens);
    QCOMPARE(viewer.hasDocument(), opens);
    QCOMPARE(viewer.pageCount(), opens ? 2 : 0);
    if (opens)
        QCOMPARE(viewer.message(), QString());
    else
        QVERIFY2(viewer.message().contains(messagePart), qPrintable(viewer.message()));
}

void TestPdfViewer::unreadableDocument_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = makePdf(3);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a pdf") << QByteArray("just some text, nothing like a document\n");
    QTest::newRow("header only") << good.left(9);
    QByteArray scrambled = good;
    for (qsizetype i = 9; i < scrambled.size(); i += 3)
        scrambled[i] = char(scrambled[i] ^ 0x5a);
    QTest::newRow("scrambled") << scrambled;
}

void TestPdfViewer::unreadableDocument()
{
    QFETCH(QByteArray, bytes);

    PdfViewer viewer;
    viewer.resize(600, 400);
    viewer.show();
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
    PdfViewer viewer;
    viewer.SetViewerPart(PdfViewer::SidePanePart, false);
    viewer.resize(500, 700);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));

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
}

void TestPdfViewer::viewerParts()
{
    PdfViewer viewer;
    viewer.show();
    auto* toolBar = viewer.findChild<QToolBar*>(u"viewerToolBar"_s);
    auto* sidePane = viewer.findChild<QTabWidget*>(u"sidePane"_s);
    QVERIFY(toolBar && sidePane);

    viewer.SetViewerPart(0, false);
    viewer.SetViewerPart(1, false);
    QVERIFY(!toolBar->isVisible());
    QVERIFY(!sidePane->isVisible());
    QVERIFY(!viewer.isPartShown(0) && !viewer.isPartShown(1));

    viewer.SetViewerPart(1, true);
    QVERIFY(!toolBar->isVisible());
    QVERIFY(sidePane->isVisible());

    viewer.SetViewerPart(0, true);
    viewer.SetViewerPart(2, false);
    viewer.SetViewerPart(-1, false);
    QVERIFY(toolBar->isVisible());
    QVERIFY(sidePane->isVisible());
}

void TestPdfViewer::flagResetsViewer()
{
    PdfViewer viewer;
    QVERIFY(viewer.OpenDocumentStream(makePdf(2), QString()));
    viewer.SetViewerFlag(true);
    QCOMPARE(viewer.pageCount(), 2);

    viewer.SetViewerFlag(false);
    QVERIFY(!viewer.hasDocument());
    QCOMPARE(viewer.thumbnailModel()->rowCount(), 0);

    // A reset also clears a message left by a failed open.
    QVERIFY(!viewer.OpenDocumentStream("broken", QString()));
    QVERIFY(!viewer.message().isEmpty());
    viewer.SetViewerFlag(false);
    QCOMPARE(viewer.message(), QString());
}

void TestPdfViewer::pagingByKeysAndControls()
{
    PdfViewer viewer;
    viewer.resize(700, 500);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowActive(&viewer));
    QVERIFY(viewer.OpenDocumentStream(makePdf(10, true), QString()));
    auto* view = viewer.findChild<QPdfView*>(u"pageView"_s);
    view->setFocus();
    QCOMPARE(viewer.currentPage(), 0);

    QTest::keyClick(view, Qt::Key_PageDown);
    QCOMPARE(viewer.currentPage(), 1);
    QTest::keyClick(view, Qt::Key_End);
    QCOMPARE(viewer.currentPage(), 9);
    QTest::keyClick(view, Qt::Key_PageDown);
    QCOMPARE(viewer.currentPage(), 9);
    QTest::keyClick(view, Qt::Key_PageUp);
    QCOMPARE(viewer.currentPage(), 8);
    QTest::keyClick(view, Qt::Key_Home);
    QCOMPARE(viewer.currentPage(), 0);
    QTest::keyClick(view, Qt::Key_PageUp);
    QCOMPARE(viewer.currentPage(), 0);

    auto* outline = viewer.findChild<QTreeView*>(u"outlineView"_s);
    const QModelIndex chapter = outline->model()->index(6, 0);
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
    PdfViewer viewer;
    viewer.resize(700, 500);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowActive(&viewer));
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
    PdfViewer viewer;
    viewer.resize(900, 600);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QVERIFY(viewer.OpenDocumentStream(makePdf(300), QString()));
    viewer.findChild<QTabWidget*>(u"sidePane"_s)->setCurrentIndex(1);
    QTRY_VERIFY(viewer.thumbnailModel()->renderCount() > 0);
    QTest::qWait(50);
    QVERIFY2(viewer.thumbnailModel()->renderCount() < 20,
        qPrintable(QString::number(viewer.thumbnailModel()->renderCount())));
}

QTEST_MAIN(TestPdfViewer)
#include "test_pdfviewer.moc"
