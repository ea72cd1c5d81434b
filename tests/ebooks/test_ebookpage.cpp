// The e-book page in the main window, driven by objectName: layout, search,
// import through the dialog and by drops, reading with its keys and last page,
// export, details, drag-out, deletion, viewer calls.

#include "widgets/GuiFixture.h"
#include "TestPdf.h"

#include "crypto/ElAES.h"
#include "ebooks/DecryptProgress.h"
#include "widgets/LoopGaps.h"
#include "widgets/TaskProgress.h"
#include "ebooks/DragOut.h"
#include "ebooks/EbookGrid.h"
#include "ebooks/EbookPage.h"
#include "ebooks/EbookStore.h"
#include "platform/AppPaths.h"
#include "ebooks/ImportProgress.h"
#include "ebooks/LastPage.h"
#include "ebooks/OrphanBooks.h"
#include "ebooks/PdfFindBar.h"
#include "pdfworker/WorkerPdfs.h"
#include "ebooks/PdfGuard.h"
#include "pdfworker/WorkerMain.h"
#include "search/FullTextLibrary.h"
#include "ebooks/PdfViewer.h"
#include "ebooks/ureadbook.h"
#include "text/PageNames.h"
#include "shell/Unittest.h"
#include "widgets/SizeText.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <optional>
#include <QDrag>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPdfView>
#include <QPdfWriter>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QThread>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

struct PageFixture : GuiFixture
{
    // before: runs ahead of the main window's first show (files of an earlier run).
    explicit PageFixture(const std::function<void(PageFixture&)>& before = {})
    {
        QDir().mkpath(store.folder());
        if (before)
            before(*this);
        window.resize(1000, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        atStart = Prompt::takeShown();
    }
    template <typename T = QWidget> T* find(const QString& name) { return window.findChild<T*>(name); }
    // "阅读" waits, as a person would, until the PDF worker has checked the book.
    void click(const QString& name)
    {
        QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton);
        if (name == u"Button4"_s)
            QTRY_VERIFY_WITH_TIMEOUT(!page()->checkingBook(), 60000);
    }
    EbookPage* page() { return window.ebookPage(); }
    QString currentPage() { return find<QTabWidget>(u"PageControl2"_s)->currentWidget()->objectName(); }
    int rows() { return find<EbookGrid>(u"DBGrid2"_s)->model()->rowCount(); }
    // A file of an earlier run: last changed an hour ago.
    QString oldFile(const QString& name, const QByteArray& data) { return age(source(name, data)); }
    QString age(const QString& path)
    {
        QFile file(path);
        file.open(QIODevice::Append);
        file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
        return file.fileName();
    }
    QString source(const QString& name, const QByteArray& data)
    {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(data);
        return file.fileName();
    }
    // An e-book in the store and its row.
    void addBook(const QString& name, const QByteArray& pdf, const QString& place = {})
    {
        const QString stored = store.newStoredName();
        store.store(source(u"src.pdf"_s, pdf), stored);
        RecordSet& list = page()->list();
        list.append();
        list.setText(u"name"_s, name);
        list.setText(u"filename"_s, stored);
        list.setText(u"place"_s, place);
        list.post();
    }
    void importFiles(const QStringList& files)
    {
        Prompt::enqueueFileNames(files);
        click(u"Button2"_s);
        QTRY_VERIFY(!page()->importRunning());
    }
    QStringList folder(const char* name) { return QDir(dir.filePath(QLatin1String(name))).entryList(QDir::Files); }
    QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    }
    // Runs `answer` on the modal dialog a command opens, then runs the command.
    template <typename Fn> void withDialog(const QString& command, Fn answer)
    {
        QTimer::singleShot(0, [answer] { answer(qobject_cast<Tfmreadbook*>(QApplication::activeModalWidget())); });
        click(command);
    }

    TFormtest window;
    EbookStore store = EbookStore(AppPaths::path(u"corvina"_s));
    QList<Prompt::Shown> atStart; // what the first show asked
};

} // namespace

class TestEbookPage : public QObject
{
    Q_OBJECT

private slots:
    void layoutAndCaptions()
    {
        PageFixture f;
        const std::pair<const char*, const char*> captions[] = { { "Label2", "书名" }, { "Label3", "阅读状态" },
            { "Button8", "检索" }, { "Button4", "阅读" }, { "Button5", "简介笔记" }, { "Button6", "删除" },
            { "Button2", "导入电子书" }, { "Button3", "导出电子书" }, { "BitBtn3", "返回" } };
        for (const auto& [name, caption] : captions) {
            QWidget* w = f.find(QLatin1String(name));
            QVERIFY2(w, name);
            const QString text = w->property("text").toString();
            QCOMPARE(text, QString::fromUtf8(caption));
        }
        QCOMPARE(f.find(u"Button3"_s)->toolTip(), u"可直接拖动选中的电子书到电脑任何地方"_s);
        auto* status = f.find<QComboBox>(u"ComboBoxEx1"_s);
        QCOMPARE(status->count(), 4);
        QVERIFY(status->itemText(0).isEmpty() && status->isEditable());
        QStringList menu;
        for (QAction* action : f.find<QMenu>(u"PopupMenu1"_s)->actions())
            menu << action->objectName() + u'=' + action->text();
        QCOMPARE(menu, (QStringList { u"N1=阅读"_s, u"N2=简介笔记"_s, u"N3=删除"_s, u"N4=导出电子书"_s }));
        QCOMPARE(f.window.findChild<QAction*>(u"N4"_s)->toolTip(), u"可直接拖出想导出的到电脑任何地方"_s);
        auto* grid = f.find<EbookGrid>(u"DBGrid2"_s);
        QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), u"阅读情况"_s);
        QCOMPARE((QList<int> { grid->columnWidth(0), grid->columnWidth(1), grid->columnWidth(2) }),
            (QList<int> { 200, 121, 96 }));
        QCOMPARE(f.find(u"Panel1"_s)->height(), 65);
        QVERIFY(f.folder("corvina").isEmpty());
    }

    void searchAndImportUnderASearch()
    {
        PageFixture f;
        f.db().execute(u"insert into dzbook (name, isread) values ('Tom''s.pdf', '正在读'), ('other.pdf', NULL), "
                       "('红楼梦.pdf', NULL)"_s);
        typeText(f.find(u"Edbkname"_s), u"hlm"_s); // by the title's pinyin
        f.click(u"Button8"_s);
        QCOMPARE(f.rows(), 1);
        QCOMPARE(f.page()->list().textAt(0, f.page()->list().fieldIndex(u"name"_s)), u"红楼梦.pdf"_s);
        f.find<QLineEdit>(u"Edbkname"_s)->clear();
        typeText(f.find(u"Edbkname"_s), u"Tom's"_s);
        f.find<QComboBox>(u"ComboBoxEx1"_s)->setCurrentText(u"正在读"_s);
        f.click(u"Button8"_s);
        QCOMPARE(f.page()->list().sql(), u" select *  from dzbook where name like '%Tom''s%' and isread='正在读'"_s);
        QCOMPARE(f.rows(), 1);

        // Imported rows stand at the end of the list in force; duplicates in one selection are skipped.
        f.importFiles(
            { f.source(u"new.pdf"_s, "%PDF a"), f.source(u"NEW.PDF"_s, "%PDF b"), f.source(u"tom's.PDF"_s, "c") });
        QCOMPARE(f.rows(), 2);
        QCOMPARE(f.page()->list().textAt(1, f.page()->list().fieldIndex(u"name"_s)), u"new"_s); // no ".pdf"
        const auto shown = Prompt::takeShown(); // the file dialog alone: no closing message
        QVERIFY(shown.size() == 1 && shown[0].text.isEmpty());

        // Dropped from a file manager: imported; the program's own drag-out: ignored.
        f.window.dxNavBar1Item7Click();
        auto drop = [&](const QString& file, bool own) {
            QMimeData data;
            data.setUrls({ QUrl::fromLocalFile(file) });
            if (own)
                data.setData(QLatin1String(EbookGrid::ownDragFormat), "1");
            QWidget* target = f.find<EbookGrid>(u"DBGrid2"_s)->viewport();
            QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(target, &enter);
            QDropEvent event(QPointF(20, 20), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(target, &event);
            QCOMPARE(event.isAccepted(), !own);
            QCOMPARE(EbookGrid::droppedFiles(&data).size(), own ? 0 : 1);
            QTRY_VERIFY(!f.page()->importRunning());
        };
        drop(f.source(u"own.pdf"_s, "x"), true);
        drop(f.source(u"dropped.pdf"_s, "x"), false);
        QCOMPARE(f.rows(), 3);
        QCOMPARE(f.folder("corvina").size(), 2);
    }

    void commandsWaitWhileImporting()
    {
        PageFixture f;
        QByteArray big(48 << 20, 'p');
        Prompt::enqueueFileNames({ f.source(u"big.pdf"_s, big), f.source(u"small.pdf"_s, "s") });
        f.click(u"Button2"_s);
        QVERIFY(f.page()->importRunning() && !f.find(u"Button8"_s)->isEnabled());
        f.page()->Button6Click();
        QCOMPARE(Prompt::lastShown().text, u"正在导入电子书，请稍候。"_s);
        f.page()->runningImport()->cancel();
        QTRY_VERIFY(!f.page()->importRunning());
        QVERIFY(f.find(u"Button8"_s)->isEnabled());
        QVERIFY(f.rows() <= 1); // the file in hand finished or undone, the next one never started
        QCOMPARE(f.folder("corvina").size(), f.rows());
    }

    // An imported PDF is titled as it titles itself, else by its file name without ".pdf".
    void importedBookTakesItsOwnTitle()
    {
        PageFixture f;
        {
            QPdfWriter writer(f.dir.filePath(u"scan0001.pdf"_s));
            writer.setTitle(u"红楼梦 上册"_s);
            QPainter(&writer).drawText(100, 100, u"第一回"_s);
        }
        f.importFiles({ f.dir.filePath(u"scan0001.pdf"_s), f.source(u"西游记.pdf"_s, makePdf(1)) });
        RecordSet& list = f.page()->list();
        QCOMPARE(list.textAt(0, list.fieldIndex(u"name"_s)), u"红楼梦 上册"_s);
        QCOMPARE(list.textAt(1, list.fieldIndex(u"name"_s)), u"西游记"_s);
    }

    void viewerCallsOfThePageSwitches()
    {
        PageFixture f;
        f.addBook(u"书.pdf"_s, makePdf(2));
        QStringList log;
        f.page()->setViewerCallLog(&log);
        auto* backBar = f.find(u"Panel2"_s);
        PdfViewer* viewer = f.page()->viewer();
        f.window.dxNavBar1Item8Click();
        QCOMPARE(log, (QStringList { u"RunViewerCommand()"_s, u"SetViewerFlag(false)"_s }));
        QVERIFY(f.currentPage() == u"TabSheet5"_s);
        log.clear();
        f.window.dxNavBar1Item7Click();
        QCOMPARE(log, (QStringList { u"SetViewerFlag(false)"_s }));
        QVERIFY(f.currentPage() == u"TabSheet4"_s);
        log.clear();
        f.click(u"Button4"_s);
        QCOMPARE(log, QStringList { u"OpenDocumentDevice()"_s });
        QCOMPARE(f.currentPage(), u"TabSheet5"_s);
        // One reader from the list and from the navigation: back bar, toolbar, side pane.
        QVERIFY(!backBar->isHidden() && viewer->isPartShown(PdfViewer::ToolBarPart)
            && viewer->isPartShown(PdfViewer::SidePanePart));
        f.window.dxNavBar1Item8Click();
        QVERIFY(!backBar->isHidden() && viewer->isPartShown(PdfViewer::ToolBarPart)
            && viewer->isPartShown(PdfViewer::SidePanePart));
        // Keys and find with the reading page focused.
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.find(u"TabSheet5"_s)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
        QCOMPARE(viewer->currentPage(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(viewer->findBar()->isVisible());
        f.click(u"BitBtn3"_s);
        QVERIFY(f.currentPage() == u"TabSheet4"_s && f.page()->viewer()->hasDocument());
    }

    // The page left in one book is the one remembered, whatever the next
    // book's opening and the zoom do to the layout; the note names it as the
    // toolbar does, by the book's own page number.
    void rememberedPageSurvivesLayoutsAndNamesTheBooksPage()
    {
        PageFixture f;
        f.addBook(u"长.pdf"_s, makePdf(60, std::nullopt, "/PageLabels << /Nums [0 << /S /r >> 6 << /S /D >>] >>"));
        f.addBook(u"短.pdf"_s, makePdf(3));
        PdfViewer* viewer = f.page()->viewer();
        f.page()->list().moveTo(0);
        const qint64 id = f.page()->list().asText(u"id"_s).toLongLong();
        f.click(u"Button4"_s);
        // The book's own labels come from the PDF worker with the outline.
        QTRY_VERIFY_WITH_TIMEOUT(!f.page()->readingOutline(), 60000);
        QCOMPARE(viewer->pageName(40), u"第 35 页（PDF 第 41 页）"_s);
        viewer->goToPage(40);
        viewer->pageView()->setFocus();
        QTest::keyClick(viewer->pageView(), Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(viewer->currentPage(), 40);
        QTest::keyClick(viewer->pageView(), Qt::Key_Minus, Qt::ControlModifier);
        QTest::keyClick(viewer->pageView(), Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(viewer->currentPage(), 40);
        f.click(u"BitBtn3"_s);
        f.window.dxNavBar1Item7Click();
        f.page()->list().moveTo(1);
        f.click(u"Button4"_s);
        QTest::qWait(50);
        QCOMPARE(LastPage(f.db()).page(id), 40);
        f.click(u"BitBtn3"_s);
        f.page()->list().moveTo(0);
        f.click(u"Button4"_s);
        QCOMPARE(viewer->currentPage(), 40);
        QCOMPARE(viewer->note(), u"上次读到第 35 页（PDF 第 41 页）"_s);
        QCOMPARE(f.find<QLabel>(u"pageNameLabel"_s)->text(), u"第 35 页（PDF 第 41 页）"_s);
        // Kept for the search, which names its hits the same way.
        const QString stored = f.page()->list().asText(u"filename"_s);
        QCOMPARE(PageNames::stored(f.db().handle(), stored).value(40), u"35"_s);
    }

    void reading_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QByteArray>("stored"); // "" a real store file; else the store file's bytes
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("error");
        QTest::newRow("right password, blanks around it") << u"  pw-1 \t"_s << QByteArray() << true << QString();
        QTest::newRow("wrong password") << u"pw-2"_s << QByteArray() << false << QString();
        QTest::newRow("empty store file")
            << QString() << QByteArray(8, '\0') << false << u"Invalid buffer size for decryption"_s;
        QTest::newRow("damaged store file")
            << QString() << QByteArray(8, '\0') + "abc" << false << u"Invalid buffer size for decryption"_s;
        QTest::newRow("missing store file") << QString() << "<none>"_ba << false << u"Cannot open file"_s;
    }
    void reading()
    {
        QFETCH(QString, place);
        QFETCH(QByteArray, stored);
        QFETCH(bool, opens);
        QFETCH(QString, error);
        PageFixture f;
        f.addBook(u"密.pdf"_s, makePdf(2, "pw-1"), place);
        const QString file = f.store.path(f.page()->list().asText(u"filename"_s));
        if (stored == "<none>")
            QFile::remove(file);
        else if (!stored.isEmpty())
            f.source(u"corvina/"_s + QFileInfo(file).fileName(), stored);
        f.window.dxNavBar1Item7Click();
        f.click(u"Button4"_s);
        QCOMPARE(f.page()->viewer()->hasDocument(), opens);
        QCOMPARE(f.currentPage(), error.isEmpty() ? u"TabSheet5"_s : u"TabSheet4"_s);
        if (!error.isEmpty())
            QVERIFY2(Prompt::lastShown().text.contains(error), qPrintable(Prompt::lastShown().text));
        // Nothing decrypted is ever written.
        QVERIFY(f.folder("temp").isEmpty());
        QCOMPARE(f.folder("corvina").size(), stored == "<none>" ? 0 : 1);
    }

    void exportAndDragFromThePage()
    {
        PageFixture f;
        const QByteArray pdf = makePdf(1);
        f.addBook(u"abc"_s, pdf);
        Prompt::enqueueFileNames({ f.dir.filePath(u"导出"_s) });
        f.click(u"Button3"_s);
        QTRY_VERIFY(f.contents(f.dir.filePath(u"导出.pdf"_s)) == pdf); // written in the background
        QTRY_COMPARE(Prompt::lastShown().text,
            u"导出完成：\n%1"_s.arg(QDir::toNativeSeparators(f.dir.filePath(u"导出.pdf"_s))));
        QTRY_VERIFY(f.window.findChildren<DecryptProgress*>().isEmpty()); // until then the window takes no clicks
        // A file already there, named with or without ".pdf": replaced only when the user says so.
        Prompt::takeShown();
        f.source(u"old.pdf"_s, "old");
        Prompt::enqueueFileNames({ f.dir.filePath(u"old"_s) });
        Prompt::enqueueAnswer(QMessageBox::No);
        f.window.findChild<QAction*>(u"N4"_s)->trigger();
        QCOMPARE(f.contents(f.dir.filePath(u"old.pdf"_s)), QByteArray("old"));
        const QList<Prompt::Shown> asked = Prompt::takeShown();
        QVERIFY(std::any_of(asked.begin(), asked.end(), [](const Prompt::Shown& s) { return s.text.contains(u"已存在"_s); }));
        Prompt::enqueueFileNames({ f.dir.filePath(u"old.pdf"_s) });
        Prompt::enqueueAnswer(QMessageBox::Yes);
        f.window.findChild<QAction*>(u"N4"_s)->trigger();
        QTRY_VERIFY(f.contents(f.dir.filePath(u"old.pdf"_s)) == pdf);
        QTRY_VERIFY(Prompt::lastShown().text.startsWith(u"导出完成"_s));
        QTRY_VERIFY(f.window.findChildren<DecryptProgress*>().isEmpty());

        // Dragged from the grid: 4 and 4 pixels start nothing, 5 start the move-only drag.
        QCOMPARE(QLatin1String(EbookGrid::ownDragFormat), DragOut::ownDragFormat());
        QList<QUrl> urls;
        bool moveOfTheDecrypted = false;
        DragOut::setExecFunction([&](QDrag* drag, Qt::DropActions supported, Qt::DropAction) {
            urls = drag->mimeData()->urls();
            moveOfTheDecrypted = supported == Qt::MoveAction && f.contents(urls[0].toLocalFile()) == pdf;
            return Qt::MoveAction;
        });
        QWidget* viewport = f.find<EbookGrid>(u"DBGrid2"_s)->viewport();
        auto send = [&](QEvent::Type type, QPoint at) {
            QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
            QApplication::sendEvent(viewport, &event);
        };
        send(QEvent::MouseButtonPress, QPoint(40, 10));
        send(QEvent::MouseMove, QPoint(44, 14));
        QVERIFY(urls.isEmpty());
        send(QEvent::MouseMove, QPoint(40, 15));
        QTRY_COMPARE(urls, QList<QUrl> { QUrl::fromLocalFile(f.dir.filePath(u"temp/abc.pdf"_s)) });
        QVERIFY(moveOfTheDecrypted);

        // A title no file name can hold still drags; a drag no one took leaves nothing behind.
        f.addBook(u"红楼梦 上/下册"_s, pdf);
        DragOut::setExecFunction([&](QDrag* drag, Qt::DropActions, Qt::DropAction) {
            urls = drag->mimeData()->urls();
            moveOfTheDecrypted = f.contents(urls[0].toLocalFile()) == pdf;
            return Qt::IgnoreAction;
        });
        const QPoint second = f.find<EbookGrid>(u"DBGrid2"_s)->visualRect(f.find<EbookGrid>(u"DBGrid2"_s)->model()->index(1, 0)).center();
        send(QEvent::MouseButtonPress, second);
        send(QEvent::MouseMove, second + QPoint(0, 5));
        QTRY_COMPARE(urls, QList<QUrl> { QUrl::fromLocalFile(f.dir.filePath(u"temp/红楼梦 上／下册.pdf"_s)) });
        DragOut::setExecFunction({});
        QVERIFY(moveOfTheDecrypted);
        QCOMPARE(f.folder("temp"), QStringList { u"abc.pdf"_s });
        QCOMPARE(Prompt::takeShown().size(), 3); // the last save dialog, its question and 导出完成; no error
    }

    // Export off the user-interface thread: past a moment a dialog names the
    // book and counts megabytes; its 取消 stops the work; errors come back here.
    void decryptProgress()
    {
        PageFixture f;
        QString label;
        bool cancellable = false;
        TaskProgress::setDialogHook([&](QProgressDialog* dialog) {
            label = dialog->labelText();
            auto* cancel = dialog->findChild<QPushButton*>();
            cancellable = cancel && cancel->text() == u"取消"_s;
            // Through the dialog's window, as a real click comes (the rest of the program takes none).
            if (cancel && dialog->windowHandle())
                QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {}, cancel->mapTo(dialog, cancel->rect().center()));
        });
        const auto slow = [](const DecryptProgress::Report& report) { // 2 s unless cancelled
            for (qint64 done = 0; done < 50'000'000; done += 125'000) {
                if (!report(done, 50'000'000))
                    return false;
                QThread::msleep(5);
            }
            return true;
        };
        // Runs work to its end, answering what completed() said and whether it threw EAESError.
        const auto run = [&](const QString& name, bool canCancel, const DecryptProgress::Work& work) {
            std::optional<std::pair<bool, bool>> outcome;
            DecryptProgress* progress = DecryptProgress::start(&f.window, u"导出电子书"_s, name, canCancel, work);
            connect(progress, &DecryptProgress::finished, this, [&outcome, progress] {
                bool threw = false;
                try {
                    progress->rethrow();
                } catch (const EAESError&) {
                    threw = true;
                }
                outcome = std::pair { progress->completed(), threw };
            });
            return QTest::qWaitFor([&] { return outcome.has_value(); }, 20000) ? *outcome : std::pair { true, true };
        };
        QCOMPARE(run(u"红楼梦.pdf"_s, true, slow), std::pair(false, false));
        QVERIFY(label.startsWith(u"红楼梦.pdf\n"_s) && label.endsWith(u" / "_s + sizeText(50'000'000)));
        QVERIFY(cancellable);
        TaskProgress::setDialogHook({});
        QCOMPARE(run(QString(), false, [](auto&) -> bool { throw EAESError("Invalid buffer size for decryption"); }),
            std::pair(false, true));
    }

    // The window's thread keeps turning while a big book is exported: no gap
    // in its event loop longer than a moment.
    void exportKeepsTheWindowResponsive()
    {
        PageFixture f;
        constexpr qint64 size = 100 * 1024 * 1024;
        f.addBook(u"大"_s, QByteArray(size, 'x'));
        Prompt::enqueueFileNames({ f.dir.filePath(u"大.pdf"_s) });
        LoopGaps gaps;
        QElapsedTimer clock;
        clock.start();
        f.click(u"Button3"_s);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(f.dir.filePath(u"大.pdf"_s)).size() == size, 120000);
        qInfo("export of 100 MiB: %lld ms; longest time without the event loop: %lld ms", clock.elapsed(), gaps.longest());
        QVERIFY(gaps.longest() < 300);
    }

    void detailsRefreshTheListKeepingTheRow()
    {
        PageFixture f;
        for (const char* name : { "A", "B", "C" })
            f.addBook(QLatin1String(name), "%PDF");
        f.page()->list().moveTo(1);
        for (const QString& button : { u"B2"_s, u"b1"_s }) {
            f.db().execute(u"update dzbook set zuozhe = '%1' where name = 'B'"_s.arg(button)); // changed elsewhere
            f.withDialog(u"Button5"_s, [button](Tfmreadbook* dialog) {
                typeText(dialog->findChild<QLineEdit*>(u"DBEdit1"_s), u"改"_s);
                QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
            });
            const QAbstractItemModel* grid = f.find<EbookGrid>(u"DBGrid2"_s)->model();
            QCOMPARE(f.page()->list().recNo(), 1);
            QCOMPARE(grid->index(1, 0).data().toString(), button == u"b1"_s ? u"改"_s : u"B"_s);
            QCOMPARE(grid->index(1, 2).data().toString(), button);
        }
    }

    void lastPageReopened()
    {
        PageFixture f;
        f.addBook(u"长.pdf"_s, makePdf(5));
        f.addBook(u"短.pdf"_s, makePdf(2, "pw"), u"pw"_s); // opened after an open document, with its password
        PdfViewer* viewer = f.page()->viewer();
        auto read = [&](int row) {
            f.click(u"BitBtn3"_s);
            f.page()->list().moveTo(row);
            f.click(u"Button4"_s);
            return viewer->hasDocument() ? viewer->currentPage() : -1;
        };
        QCOMPARE(read(0), 0);
        viewer->goToPage(3);
        QVERIFY(read(1) == 0 && viewer->note().isEmpty());
        QCOMPARE(read(0), 3);
        QCOMPARE(viewer->note(), u"上次读到第 4 页"_s);
    }

    // The first read of a run: the remembered page opens with its top at the top of the view.
    void rememberedPageAtTheTop()
    {
        PageFixture f;
        f.addBook(u"长.pdf"_s, makePdf(6));
        LastPage(f.db()).remember(f.page()->list().asText(u"id"_s).toLongLong(), 3);
        f.click(u"Button4"_s);
        PdfViewer* viewer = f.page()->viewer();
        QCOMPARE(viewer->currentPage(), 3);
        QTest::qWait(100); // the reading page laid out for the first time
        QCOMPARE(viewer->pageRect(3).top(), 0);
        QCOMPARE(viewer->currentPage(), 3);
    }

    void setAsideBookIsNeverLoaded()
    {
        PageFixture f;
        f.addBook(u"环.pdf"_s, makeLoopingPdf());
        f.addBook(u"好.pdf"_s, makePdf(2));
        RecordSet& list = f.page()->list();
        const QString looping = f.db().scalar(u"select filename from dzbook where name = '环.pdf'"_s);
        // What two failed checks left: the book is set aside without a worker.
        f.db().execute(u"insert into qh_pdfverdict values ('%1', 'check', %2, %3, 'bad', 'time', 'now')"_s.arg(looping,
            QString::number(QFileInfo(f.store.path(looping)).size()), QString::number(PdfWorker::EngineVersion)));
        f.window.dxNavBar1Item7Click();
        for (int time = 0; time < 2; ++time) {
            list.moveTo(0);
            f.click(u"Button4"_s);
            QCOMPARE(f.currentPage(), u"TabSheet5"_s);
            QVERIFY(!f.page()->viewer()->hasDocument());
            QCOMPARE(f.page()->viewer()->message(), u"无法打开此文档：文件结构有误"_s);
            f.click(u"BitBtn3"_s);
            // Checked by the worker the first time, answered from the table the second.
            list.moveTo(1);
            f.click(u"Button4"_s);
            QVERIFY(f.page()->viewer()->hasDocument());
            QCOMPARE(f.page()->viewer()->pageCount(), 2);
            QCOMPARE(f.db().scalar(u"select verdict from qh_pdfverdict where filename = '%1'"_s.arg(
                         list.asText(u"filename"_s))),
                u"ok"_s);
            // The outline comes from the worker after the pages show.
            QTRY_COMPARE(f.page()->viewer()->outlineCount(), 2);
            f.click(u"BitBtn3"_s);
        }
        // Deleting the book forgets its verdict.
        list.moveTo(0);
        Prompt::enqueueAnswer(QMessageBox::Ok);
        f.click(u"Button6"_s);
        QCOMPARE(f.db().scalar(u"select count(*) from qh_pdfverdict where filename = '%1'"_s.arg(looping)), u"0"_s);
    }

    // The first reading checks the book in the worker while the window goes
    // on: "正在检查这本电子书…" with 取消 in the reading page. The window's
    // thread is watched with a 20 ms timer while the text builder reads a
    // dense page in its own worker, a book whose outline entries point at each
    // other is read, and a check is cancelled (its worker killed).
    void windowKeepsGoingWhileTheWorkerWorks()
    {
        PageFixture f;
        f.addBook(u"密集.pdf"_s, denseTextPdf(200000));
        f.addBook(u"手册.pdf"_s, makePdf(30));
        f.addBook(u"环目录.pdf"_s, loopingOutlinePdf());
        RecordSet& list = f.page()->list();
        f.window.dxNavBar1Item7Click();

        LoopGaps gaps;
        FullTextLibrary* builder = f.window.fullText();
        builder->refresh(); // the builder reads in its own worker meanwhile
        list.moveTo(1);
        QElapsedTimer opening;
        opening.start();
        QTest::mouseClick(f.find<QPushButton>(u"Button4"_s), Qt::LeftButton);
        if (f.page()->checkingBook()) // unless the builder checked it first
            QCOMPARE(f.find<QLabel>(u"checkingText"_s)->text(), u"正在检查这本电子书…"_s);
        QTRY_VERIFY_WITH_TIMEOUT(f.page()->viewer()->hasDocument(), 60000);
        qInfo("a manual opened in %lld ms while the dense page was read", opening.elapsed());
        QCOMPARE(f.page()->viewer()->pageCount(), 30);

        // The looping outline costs the outline's worker only: the book reads, without an outline.
        f.click(u"BitBtn3"_s);
        list.moveTo(2);
        f.click(u"Button4"_s);
        QVERIFY(f.page()->viewer()->hasDocument());
        QTRY_VERIFY_WITH_TIMEOUT(!f.page()->readingOutline(), 60000);
        QVERIFY(f.page()->viewer()->outlineCount() <= 5000);
        QCOMPARE(f.page()->viewer()->pageCount(), 1);

        // 取消 while a check runs: back to the list, no document, the worker ended.
        f.click(u"BitBtn3"_s);
        f.db().execute(u"delete from qh_pdfverdict"_s);
        list.moveTo(0);
        QTest::mouseClick(f.find<QPushButton>(u"Button4"_s), Qt::LeftButton);
        QVERIFY(f.page()->checkingBook());
        QTest::mouseClick(f.find<QPushButton>(u"cancelCheckButton"_s), Qt::LeftButton);
        QVERIFY(!f.page()->checkingBook());
        QCOMPARE(f.currentPage(), u"TabSheet4"_s);
        QVERIFY(!f.page()->viewer()->hasDocument());
        QTest::qWait(200);
        qInfo("longest wait of the window's thread: %lld ms", gaps.longest());
        QVERIFY2(gaps.longest() <= 300, qPrintable(QString::number(gaps.longest())));
    }

    void deletion()
    {
        PageFixture f;
        for (const char* name : { "A", "B", "C" })
            f.addBook(QLatin1String(name), "%PDF");
        f.db().execute(u"create table qh_lastpage (id integer primary key, page integer)"_s);
        f.db().execute(u"insert into qh_lastpage values (1, 3), (2, 7)"_s);
        RecordSet& list = f.page()->list();
        list.moveTo(1);
        Prompt::enqueueAnswer(QMessageBox::Cancel);
        f.click(u"Button6"_s);
        QCOMPARE(Prompt::lastShown().text, u"确定删除当前PDF文档"_s);
        QCOMPARE(Prompt::lastShown().caption, u"青禾图书管理系统"_s);
        QCOMPARE(f.rows(), 3);

        Prompt::enqueueAnswer(QMessageBox::Ok);
        f.window.findChild<QAction*>(u"N3"_s)->trigger();
        QCOMPARE(f.rows(), 2);
        QCOMPARE(list.asText(u"name"_s), u"C"_s);
        QCOMPARE(f.folder("corvina").size(), 2);
        // B waits in the recycle bin, its file as it was stored.
        QCOMPARE(f.folder("corvina/trash").size(), 1);
        QCOMPARE(f.db().scalar(u"select name from qh_trash_ebooks"_s), u"B"_s);
        QCOMPARE(f.db().scalar(u"select group_concat(id) from qh_lastpage"_s), u"1"_s);

        // The last row, its file already gone; then the empty list still asks, and says it is empty.
        QFile::remove(f.store.path(list.asText(u"filename"_s)));
        Prompt::enqueueAnswer(QMessageBox::Ok);
        f.click(u"Button6"_s);
        QCOMPARE(list.asText(u"name"_s), u"A"_s);
        Prompt::enqueueAnswer(QMessageBox::Ok);
        f.click(u"Button6"_s);
        QVERIFY(list.isEmpty() && f.folder("corvina").isEmpty());
        QCOMPARE(f.folder("corvina/trash").size(), 2); // C's file was gone already
        QCOMPARE(f.db().scalar(u"select count(*) from qh_trash_ebooks"_s), u"3"_s);
    }

    // Deleting the book on the reading page empties the viewer; another book stays.
    void deletingTheShownBook()
    {
        PageFixture f;
        f.addBook(u"A"_s, makePdf(2));
        f.addBook(u"B"_s, makePdf(2));
        RecordSet& list = f.page()->list();
        list.moveTo(0);
        f.click(u"Button4"_s);
        f.click(u"BitBtn3"_s);
        list.moveTo(1);
        Prompt::enqueueAnswer(QMessageBox::Ok);
        f.click(u"Button6"_s);
        QVERIFY(f.page()->viewer()->hasDocument());
        list.moveTo(0);
        Prompt::enqueueAnswer(QMessageBox::Ok);
        f.click(u"Button6"_s);
        QVERIFY(!f.page()->viewer()->hasDocument() && f.page()->viewer()->message().isEmpty());
        f.window.dxNavBar1Item8Click();
        QCOMPARE(f.page()->viewer()->pageCount(), 0);
    }

    // With no current e-book the commands say so, and do nothing else.
    void commandsOnAnEmptyList()
    {
        PageFixture f;
        QStringList log;
        f.page()->setViewerCallLog(&log);
        for (const QString& command : { u"Button4"_s, u"Button3"_s, u"Button5"_s, u"Button6"_s }) {
            f.click(command);
            const auto shown = Prompt::takeShown();
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].text, u"请先选中一本电子书"_s);
            QCOMPARE(shown[0].caption, u"提示"_s);
        }
        QVERIFY(log.isEmpty() && f.currentPage() == u"TabSheet4"_s);
        QVERIFY(f.folder("temp").isEmpty());
    }

    void keyboard()
    {
        PageFixture f;
        f.addBook(u"红楼梦.pdf"_s, makePdf(2));
        f.addBook(u"西游记.pdf"_s, makePdf(1));
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        // Enter in either search box searches.
        typeText(f.find(u"Edbkname"_s), u"西游"_s);
        QTest::keyClick(f.find(u"Edbkname"_s), Qt::Key_Return);
        QCOMPARE(f.rows(), 1);
        f.find<QLineEdit>(u"Edbkname"_s)->clear();
        auto* status = f.find<QComboBox>(u"ComboBoxEx1"_s);
        status->setFocus();
        QTest::keyClick(status->lineEdit(), Qt::Key_Enter);
        QCOMPARE(f.rows(), 2);
        // Enter or a double-click on a row reads it; Delete deletes it, after the question.
        auto* grid = f.find<EbookGrid>(u"DBGrid2"_s);
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(1, 0));
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(f.currentPage(), u"TabSheet5"_s);
        QTRY_COMPARE_WITH_TIMEOUT(f.page()->viewer()->pageCount(), 1, 60000);
        f.click(u"BitBtn3"_s);
        const QRect first = grid->visualRect(grid->model()->index(0, 0));
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(f.currentPage(), u"TabSheet5"_s);
        QTRY_COMPARE_WITH_TIMEOUT(f.page()->viewer()->pageCount(), 2, 60000);
        f.click(u"BitBtn3"_s);
        Prompt::enqueueAnswer(QMessageBox::Cancel);
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(Prompt::lastShown().text, u"确定删除当前PDF文档"_s);
        QCOMPARE(f.rows(), 2);
    }

    // Store files no row names (an older database put back by hand) are offered back, never deleted.
    void storeFilesWithoutRowsOfferedBack()
    {
        QString titled, untitled;
        bool exposedWhenAsked = false;
        PageFixture f([&](PageFixture& f) {
            f.oldFile(u"corvina/202601011200000001234.part"_s, "half"); // an interrupted import
            f.source(u"corvina/202601011200000005678.part"_s, "still being written");
            f.source(u"corvina/20260101120000000999"_s, "too young to tell");
            {
                QPdfWriter writer(f.dir.filePath(u"titled.pdf"_s));
                writer.setTitle(u"红楼梦 上册"_s);
                QPainter(&writer).drawText(100, 100, u"第一回"_s);
            }
            titled = u"20250101120000000111"_s;
            untitled = u"20250101120000000222"_s;
            f.store.store(f.dir.filePath(u"titled.pdf"_s), titled);
            f.store.store(f.source(u"plain.pdf"_s, makePdf(1)), untitled);
            for (const QString& name : { titled, untitled })
                f.age(f.store.path(name));
            Prompt::enqueueAnswer(QMessageBox::Cancel);
            Prompt::setOnShown([&f, &exposedWhenAsked](const Prompt::Shown&) {
                exposedWhenAsked = f.window.windowHandle() && f.window.windowHandle()->isExposed();
            });
        });
        // Asked over the main window once it shows, naming the files behind 显示详情.
        QList<Prompt::Shown> asked = f.atStart;
        QTRY_VERIFY((asked += Prompt::takeShown(), !asked.isEmpty()));
        Prompt::setOnShown({});
        QVERIFY(exposedWhenAsked);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text, u"发现 2 个没有记录的电子书文件，是否恢复？"_s);
        QCOMPARE(asked[0].caption, u"提示"_s);
        for (const QString& name : { titled, untitled }) {
            const QString line = name + u"    "_s + sizeText(QFileInfo(f.store.path(name)).size());
            QVERIFY2(asked[0].details.contains(line), qPrintable(asked[0].details));
        }
        QCOMPARE(f.rows(), 0);
        QCOMPARE(f.folder("corvina").size(), 4);
        QVERIFY(!f.folder("corvina").contains(u"202601011200000001234.part"_s));

        // The next start asks again; OK brings them back under their titles.
        Prompt::enqueueAnswer(QMessageBox::Ok);
        QSignalSpy takenBack(f.page(), &EbookPage::unlistedTakenBack);
        f.page()->takeBackUnlisted(); // titled by the PDF worker, the window going on meanwhile
        QCOMPARE(Prompt::takeShown().size(), 1);
        QVERIFY(takenBack.wait(60000));
        QCOMPARE(f.rows(), 2);
        RecordSet& list = f.page()->list();
        QCOMPARE(list.textAt(0, list.fieldIndex(u"name"_s)), u"红楼梦 上册"_s);
        QCOMPARE(list.textAt(0, list.fieldIndex(u"filename"_s)), titled);
        QCOMPARE(list.textAt(1, list.fieldIndex(u"name"_s)), u"找回的电子书 1"_s);
        list.moveTo(1);
        f.click(u"Button4"_s);
        QCOMPARE(f.page()->viewer()->pageCount(), 1);
        QVERIFY(OrphanBooks::ask(&f.window, list, f.store).isEmpty()); // nothing more to ask
        QVERIFY(Prompt::takeShown().isEmpty());
    }
};

QTEST_MAIN(TestEbookPage)
#include "test_ebookpage.moc"
