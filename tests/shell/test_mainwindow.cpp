#include "widgets/GuiFixture.h"
#include "widgets/LoopGaps.h"
#include "tasks/BackgroundTask.h"

#include "widgets/ErrorHandler.h"
#include "widgets/NavBar.h"
#include "catalogue/LoansPage.h"
#include "shell/FindPanel.h"
#include "shell/ShelfView.h"
#include "shell/Unittest.h"

#include "ebooks/PdfViewer.h"

#include <QPainter>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QPdfWriter>
#include <QLineEdit>
#include <QTabWidget>
#include <QTreeView>
#include <QToolButton>

using namespace Qt::StringLiterals;

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    struct Window
    {
        TFormtest window;
        Window()
        {
            window.resize(1000, 700);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        }
        NavGroup* group(const char* name) { return window.findChild<NavGroup*>(QLatin1String(name)); }
        ShelfView* shelf() { return window.findChild<ShelfView*>(u"ListView1"_s); }
        void refresh()
        {
            QEvent event(MainRefreshEvent);
            QCoreApplication::sendEvent(&window, &event);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        void click(const char* item)
        {
            NavItem* link = window.findChild<NavItem*>(QLatin1String(item));
            QVERIFY(link);
            QTest::mouseClick(link, Qt::LeftButton);
            QTRY_VERIFY(!window.isListing()); // a shelf listing is read on a thread
        }
        void list(const QString& category)
        {
            window.itemsclick(category);
            QTRY_VERIFY(!window.isListing());
        }
        QStringList captions()
        {
            QStringList list;
            for (int i = 0; i < shelf()->count(); ++i)
                list << shelf()->item(i)->text();
            return list;
        }
    };

    static QStringList linkCaptions(NavGroup* group)
    {
        QStringList captions;
        for (NavItem* item : group->items())
            captions << item->text();
        return captions;
    }

private slots:
    void categoryLinksFollowTheTable()
    {
        GuiFixture f;
        f.db().execute(u"delete from tblei"_s);
        f.db().execute(u"insert into tblei (leib) values ('诗歌'), ('小说'), ('诗歌')"_s);
        Window w;
        NavGroup* categories = w.group("Group2");
        QCOMPARE(linkCaptions(categories), (QStringList { u"诗歌"_s, u"小说"_s, u"诗歌"_s }));
        QVERIFY(!categories->isExpanded());

        f.db().execute(u"delete from tblei where leib='小说'"_s);
        f.db().execute(u"insert into tblei (leib) values ('Tom''s')"_s);
        categories->setExpanded(true);
        w.refresh();
        QCOMPARE(linkCaptions(categories), (QStringList { u"诗歌"_s, u"诗歌"_s, u"Tom's"_s }));
        QVERIFY(!categories->isExpanded());
        QCOMPARE(w.window.findChildren<NavItem*>(QRegularExpression(u"^item\\d+$"_s)).size(), 3);

        f.db().execute(u"delete from tblei"_s);
        w.refresh();
        QVERIFY(categories->items().isEmpty());
    }

    void statusBarCountsBooksAndSplitsInHalves()
    {
        GuiFixture f;
        {
            Window w;
            QCOMPARE(w.window.statusText(0), u"        <青禾书屋>     图书总数：  0"_s);
        }
        f.addBook(u"甲"_s, u"还没读"_s);
        f.addBook(u"乙"_s, u"别的"_s);
        Window w;
        QCOMPARE(w.window.statusText(0), u"        <青禾书屋>     图书总数：  2"_s);
        w.window.resize(1300, 800);
        QTRY_VERIFY2(w.window.width() == 1300, qPrintable(QString::number(w.window.minimumSizeHint().width())));
        for (const char* name : { "StatusBar1Panel0", "StatusBar1Panel1" }) {
            const QLabel* panel = w.window.findChild<QLabel*>(QLatin1String(name));
            QTRY_VERIFY2(panel->width() > 640 && panel->width() <= 650, qPrintable(QString::number(panel->width())));
        }
        QVERIFY(QDir(f.dir.filePath(u"corvina"_s)).exists());
        QVERIFY(QDir(f.dir.filePath(u"temp"_s)).exists());
    }

    void shelfByReadingStatus()
    {
        GuiFixture f;
        f.addBook(u"红楼梦"_s, u"还没读"_s, {}, u"jpg"_s, picture(Qt::red));
        f.addBook(u"O'Brien"_s, u"还没读"_s);
        f.addBook(u"围城"_s, u"已读完"_s, {}, u"JPG"_s, picture(Qt::blue));
        f.addBook(u"无状态"_s, QString());
        f.addBook(u"坏JPEG"_s, u"正在读"_s, {}, u"Jpg"_s, QByteArray("not a jpeg"));
        f.addBook(u"坏BMP"_s, u"正在读"_s, {}, u"bmp"_s, QByteArray("BM garbage"));
        Window w;
        for (int round = 0; round < 2; ++round) {
            w.click("dxNavBar1Item1");
            QCOMPARE(w.captions(), (QStringList { u"红楼梦"_s, u"O'Brien"_s }));
            QCOMPARE(w.shelf()->images().size(), 2);
            QCOMPARE(w.shelf()->images().at(0).size(), QSize(100, 120));
            QCOMPARE(w.window.statusText(1), u"          [还没读]--数量：2"_s);
        }
        QVERIFY(Prompt::takeShown().isEmpty());

        // Damaged covers are named, one message each, and shown as placeholders.
        w.click("dxNavBar1Item2");
        QCOMPARE(w.shelf()->images().size(), 2);
        QCOMPARE(w.window.statusText(1), u"          [正在读]--数量：2"_s);
        const auto shown = Prompt::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(0).text, u"坏JPEG图片有误请修改"_s);
        QCOMPARE(shown.at(1).text, u"坏BMP图片有误请修改"_s);
        QCOMPARE(shown.at(0).caption, u"青禾家庭图书管理系统"_s);

        w.click("dxNavBar1Item3");
        QCOMPARE(w.captions(), QStringList { u"围城"_s });
        const QImage cover = w.shelf()->images().at(0).toImage();
        QVERIFY(qBlue(cover.pixel(50, 60)) > 200 && qRed(cover.pixel(50, 60)) < 60);
    }

    void shelfByCategory()
    {
        GuiFixture f;
        const qint64 toms = f.category(u"Tom's"_s);
        f.category(u"空类"_s);
        f.addBook(u"一"_s, u"正在读"_s, toms);
        f.addBook(u"二"_s, u"奇怪"_s, toms);
        f.addBook(u"三"_s, u"正在读"_s);
        Window w;
        w.list(u"Tom's"_s);
        QCOMPARE(w.captions(), (QStringList { u"一"_s, u"二"_s }));
        QCOMPARE(w.window.statusText(1), u"[Tom's]--数量：2"_s);

        w.list(u"空类"_s);
        QCOMPARE(w.shelf()->count(), 0);
        QCOMPARE(w.window.statusText(1), u"[空类]--数量：0"_s);

        w.list(u"Tom's"_s);
        w.list(u"不存在"_s);
        QCOMPARE(w.shelf()->count(), 0);
        QCOMPARE(w.window.statusText(1), u"[Tom's]--数量：2"_s);

        // A category link brings the paper-book page back from the e-book pages.
        w.click("dxNavBar1Item7");
        auto* pages = w.window.findChild<QTabWidget*>(u"PageControl1"_s);
        QCOMPARE(pages->currentWidget()->objectName(), u"TabSheet2"_s);
        w.list(u"Tom's"_s);
        QCOMPARE(pages->currentWidget()->objectName(), u"TabSheet1"_s);
    }

    // Covers are read and decoded off the window's thread: the window keeps turning,
    // and a listing asked for meanwhile replaces the one being read.
    void longListingsKeepTheWindowTurning()
    {
        GuiFixture f;
        QImage big(1600, 2400, QImage::Format_RGB32);
        big.fill(Qt::darkGreen);
        const QByteArray cover = encoded(big, "JPG");
        f.addBook(u"正读"_s, u"正在读"_s);
        f.db().execute(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 150) "
                       "insert into baseshu (name, isread, \"格式\", facepic) select '书' || i, '还没读', 'jpg', X'%1' from n"_s
                           .arg(QString::fromLatin1(cover.toHex())));
        Window w;
        LoopGaps gaps;
        QTest::mouseClick(w.window.findChild<NavItem*>(u"dxNavBar1Item1"_s), Qt::LeftButton);
        QVERIFY(w.window.isListing());
        QTRY_VERIFY_WITH_TIMEOUT(!w.window.isListing(), 60000);
        qInfo("150 covers of 1600 x 2400: longest time without the event loop %lld ms", gaps.longest());
        QVERIFY(gaps.longest() < 300);
        QCOMPARE(w.shelf()->count(), 151 - 1);

        f.db().execute(u"delete from qh_thumbs"_s);
        QTest::mouseClick(w.window.findChild<NavItem*>(u"dxNavBar1Item1"_s), Qt::LeftButton);
        w.click("dxNavBar1Item2");
        QTest::qWait(200); // the first listing would have shown by now had it not been dropped
        QCOMPARE(w.captions(), QStringList { u"正读"_s });
        QCOMPARE(w.window.statusText(1), u"          [正在读]--数量：1"_s);

        // 取消 leaves the shelf empty: no row without its cover, the status bar as it was.
        f.db().execute(u"delete from qh_thumbs"_s);
        QTest::mouseClick(w.window.findChild<NavItem*>(u"dxNavBar1Item1"_s), Qt::LeftButton);
        auto* task = w.window.findChild<ThreadTask*>(u"ShelfListing"_s);
        QVERIFY(task && task->isRunning());
        task->cancel();
        QTRY_VERIFY(!w.window.isListing());
        QTest::qWait(100);
        QCOMPARE(w.shelf()->count(), 0);
        QCOMPARE(w.window.statusText(1), u"          [正在读]--数量：1"_s);
    }

    void damagedCoversAreToldWithNoProgressOverTheMessage()
    {
        GuiFixture f;
        QByteArray noise(20000, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        f.addBook(u"坏封面"_s, u"正在读"_s, {}, u"jpg"_s, noise);
        f.addBook(u"坏位图"_s, u"正在读"_s, {}, u"bmp"_s, "BM" + noise);
        Window w;
        // The message must be answerable: no progress box may stand over it.
        int progressBoxes = 0;
        Prompt::setOnShown([&](const Prompt::Shown&) { progressBoxes += int(w.window.findChildren<QProgressDialog*>().size()); });
        w.click("dxNavBar1Item2");
        Prompt::setOnShown({});
        QCOMPARE(Prompt::takeShown().size(), 2);
        QCOMPARE(progressBoxes, 0);
        QCOMPARE(w.shelf()->count(), 2);
    }

    void navigationPaneScrollsInsideTheWindow()
    {
        GuiFixture f;
        for (int i = 1; i <= 40; ++i)
            f.category(u"类别%1"_s.arg(i));
        Window w;
        w.window.resize(1366, 740);
        QTRY_COMPARE(w.window.height(), 740);
        NavGroup* categories = w.group("Group2");
        QTest::mouseClick(categories->header(), Qt::LeftButton);
        QVERIFY(categories->isExpanded());
        QTest::qWait(50);
        QCOMPARE(w.window.height(), 740);
        QVERIFY(w.window.minimumSizeHint().height() <= 740);
        auto* status = w.window.findChild<QStatusBar*>(u"StatusBar1"_s);
        QVERIFY(status->isVisible() && status->geometry().bottom() < w.window.height());

        // Every link can be scrolled into view, and the last one lists its books.
        auto* pane = w.window.findChild<QScrollArea*>(u"navScroll"_s);
        const QList<NavItem*> links = categories->items();
        QVERIFY(links.size() >= 40);
        for (NavItem* link : links) {
            pane->ensureWidgetVisible(link, 0, 0);
            const QRect shown(link->mapTo(pane->viewport(), QPoint(0, 0)), link->size());
            QVERIFY2(pane->viewport()->rect().contains(shown), qPrintable(link->text()));
        }
        QTest::mouseClick(links.last(), Qt::LeftButton);
        QTRY_VERIFY(!w.window.isListing());
        QCOMPARE(w.window.statusText(1), u"[类别40]--数量：0"_s);
    }

    void closingTheEditorCountsTheBooksAgain()
    {
        GuiFixture f;
        f.addBook(u"甲"_s, u"还没读"_s);
        Window w;
        w.click("dxNavBar1Item1");
        QCOMPARE(w.window.statusText(0), u"        <青禾书屋>     图书总数：  1"_s);
        // While the editor is open, a book and a category are added (as an import would).
        QTimer::singleShot(0, &w.window, [&] {
            f.addBook(u"乙"_s, u"还没读"_s);
            f.category(u"新类"_s);
            if (auto* editor = w.window.findChild<QDialog*>(u"TForm2"_s))
                editor->reject();
        });
        w.click("dxNavBar1Item4");
        QCOMPARE(w.window.statusText(0), u"        <青禾书屋>     图书总数：  2"_s);
        QVERIFY(linkCaptions(w.group("Group2")).contains(u"新类"_s));
        QCOMPARE(w.captions(), QStringList { u"甲"_s }); // the shelf shown stays
        QCOMPARE(w.window.statusText(1), u"          [还没读]--数量：1"_s);
    }

    void ebookPagesKeepTheViewersDocument()
    {
        GuiFixture f;
        Window w;
        auto* viewer = w.window.findChild<PdfViewer*>(u"FoxitPDFSDK1"_s);
        auto* inner = w.window.findChild<QTabWidget*>(u"PageControl2"_s);
        auto* backBar = w.window.findChild<QWidget*>(u"Panel2"_s);
        QByteArray pdf;
        {
            QBuffer buffer(&pdf);
            buffer.open(QIODevice::WriteOnly);
            QPdfWriter writer(&buffer);
            QPainter painter(&writer);
            painter.drawText(100, 100, u"一页"_s);
        }
        QVERIFY(viewer->OpenDocumentStream(pdf, QString()));

        w.click("dxNavBar1Item8");
        QCOMPARE(inner->currentWidget()->objectName(), u"TabSheet5"_s);
        // One reader however it is reached: the back bar, the toolbar and the side pane.
        QVERIFY(viewer->isPartShown(0) && viewer->isPartShown(1) && backBar->isVisible());
        QVERIFY(viewer->hasDocument());

        w.click("dxNavBar1Item7");
        QCOMPARE(inner->currentWidget()->objectName(), u"TabSheet4"_s);
        QVERIFY(viewer->isPartShown(0) && viewer->isPartShown(1));
        w.refresh();
        QVERIFY(viewer->hasDocument());
    }

    void handlerErrorsAreShownAndTheWindowGoesOn()
    {
        GuiFixture f;
        f.addBook(u"甲"_s, u"还没读"_s);
        Window w;
        Prompt::takeShown();
        f.db().execute(u"alter table baseshu rename to baseshu_away"_s);
        w.click("dxNavBar1Item1");
        const Prompt::Shown shown = Prompt::lastShown();
        QCOMPARE(shown.caption, u"青禾家庭图书管理系统"_s);
        QVERIFY2(shown.text.contains(u"baseshu"_s), qPrintable(shown.text));

        f.db().execute(u"alter table baseshu_away rename to baseshu"_s);
        w.click("dxNavBar1Item1");
        QCOMPARE(w.captions(), QStringList { u"甲"_s });
    }

    void compactionFromTheGroupHeader()
    {
        GuiFixture f;
        f.addBook(u"甲"_s, u"还没读"_s);
        Window w;
        auto* ebooks = w.window.findChild<RecordSet*>(u"qydzbook"_s);
        auto header = [&] { QTest::mouseClick(w.group("Group5")->header(), Qt::LeftButton); };
        auto shown = [] {
            QStringList texts;
            for (const Prompt::Shown& s : Prompt::takeShown())
                texts << s.caption + u'|' + s.text;
            return texts;
        };
        // What the window does once at its start is over before a user can reach the menu.
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        QTest::qWait(300);
        Prompt::takeShown();
        Prompt::enqueueAnswer(QMessageBox::Cancel);
        header();
        QCOMPARE(shown(), QStringList { u"青禾图书管理系统|要压缩数据库?"_s });
        QVERIFY(ebooks->isOpen());

        Prompt::enqueueAnswer(QMessageBox::Ok);
        header();
        QTRY_VERIFY(!w.window.isBackingUp()); // compacted on a thread
        QCOMPARE(shown(), (QStringList { u"青禾图书管理系统|要压缩数据库?"_s, u"青禾家庭图书管理系统|压库成功"_s }));
        QVERIFY(ebooks->isOpen() && f.db().isOpen());
        QCOMPARE(f.count(u"select name from baseshu"_s), u"甲"_s);

        QDir().mkpath(f.dir.filePath(u"Temp.mdb/busy"_s));
        Prompt::enqueueAnswer(QMessageBox::Ok);
        header();
        QTRY_VERIFY(!w.window.isBackingUp());
        const QStringList failed = shown();
        QCOMPARE(failed.size(), 2);
        QVERIFY2(failed.at(1).startsWith(u"青禾图书管理系统|压缩失败：无法删除旧的临时文件"_s), qPrintable(failed.at(1)));
        QVERIFY(ebooks->isOpen() && f.db().isOpen());
    }

    void searchResultsGiveWayToAnotherPage()
    {
        GuiFixture f;
        f.addBook(u"红楼梦"_s, u"还没读"_s);
        Window w;
        FindPanel* find = w.window.findPanel();
        find->box()->setText(u"红楼"_s);
        find->search();
        find->waitForResults();
        QVERIFY(find->list()->isVisible());
        w.click("dxNavBar1Item14"); // 借阅
        QVERIFY(!find->list()->isVisible());

        find->box()->setText(u"红"_s);
        find->search();
        find->waitForResults();
        QVERIFY(find->list()->isVisible());
        w.window.dxNavBar1Item15Click(); // another page by any way: 统计
        QVERIFY(!find->list()->isVisible());
    }

    void tabWalksSearchPaneAndShelf()
    {
        GuiFixture f;
        f.addBook(u"甲"_s, u"还没读"_s);
        Window w;
        w.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        w.group("Group3")->setExpanded(true);
        w.window.findPanel()->focusBox();
        QStringList reached { QApplication::focusWidget()->objectName() };
        for (int i = 0; i < 30 && reached.last() != u"ListView1"_s; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            reached << QApplication::focusWidget()->objectName();
        }
        const QStringList expected { u"EdtFind"_s, u"ChkFullText"_s, u"Group1Header"_s, u"dxNavBar1Item1"_s,
            u"dxNavBar1Item2"_s, u"dxNavBar1Item3"_s, u"Group2Header"_s, u"Group3Header"_s, u"dxNavBar1Item4"_s,
            u"dxNavBar1Item5"_s, u"dxNavBar1Item14"_s, u"dxNavBar1Item16"_s, u"group4Header"_s, u"dxNavBar1Item8"_s,
            u"dxNavBar1Item7"_s, u"Group5Header"_s, u"dxNavBar1Item6"_s, u"dxNavBar1Item9"_s, u"dxNavBar1Item10"_s,
            u"dxNavBar1Item18"_s, u"Group6Header"_s, u"dxNavBar1Item15"_s, u"Group7Header"_s, u"dxNavBar1Item17"_s,
            u"ListView1"_s };
        QCOMPARE(reached, expected);
        // The categories, once open, are reached between their header and the next group.
        w.group("Group2")->setExpanded(true);
        w.window.findChild<QWidget*>(u"Group2Header"_s)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(w.group("Group2")->items().contains(QApplication::focusWidget()));

        // Enter on a focused link opens it, and the focused link is marked apart from the others.
        auto* link = w.window.findChild<NavItem*>(u"dxNavBar1Item14"_s);
        auto* other = w.window.findChild<NavItem*>(u"dxNavBar1Item5"_s);
        link->setFocus(Qt::TabFocusReason);
        const QImage focused = link->grab().toImage();
        other->setFocus(Qt::TabFocusReason);
        link->setFocus(Qt::TabFocusReason);
        other->setFocus(Qt::TabFocusReason);
        QVERIFY(focused.pixelColor(2, link->height() / 2) != link->grab().toImage().pixelColor(2, link->height() / 2));
        link->setFocus(Qt::TabFocusReason);
        QTest::keyClick(link, Qt::Key_Return);
        QVERIFY(w.window.loansPage() && w.window.loansPage()->isVisible());
    }
};

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_mainwindow.moc"
