#include "GuiFixture.h"

#include "shell/NavBar.h"
#include "shell/ShelfView.h"
#include "shell/Unittest.h"
#include "shell/uread.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

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
        ShelfView* shelf() { return window.findChild<ShelfView*>(QStringLiteral("ListView1")); }
        void click(const char* item)
        {
            NavItem* link = window.findChild<NavItem*>(QLatin1String(item));
            QVERIFY(link);
            QTest::mouseClick(link, Qt::LeftButton);
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
        f.db().execute(QStringLiteral("delete from tblei"));
        f.db().execute(QStringLiteral("insert into tblei (leib) values ('诗歌'), ('小说'), ('诗歌')"));
        Window w;
        NavGroup* categories = w.group("Group2");
        QCOMPARE(linkCaptions(categories), (QStringList{QStringLiteral("诗歌"), QStringLiteral("小说"), QStringLiteral("诗歌")}));
        QVERIFY(!categories->isExpanded());

        f.db().execute(QStringLiteral("delete from tblei where leib='小说'"));
        f.db().execute(QStringLiteral("insert into tblei (leib) values ('Tom''s')"));
        categories->setExpanded(true);
        QEvent refresh(MainRefreshEvent);
        QCoreApplication::sendEvent(&w.window, &refresh);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(linkCaptions(categories), (QStringList{QStringLiteral("诗歌"), QStringLiteral("诗歌"), QStringLiteral("Tom's")}));
        QVERIFY(!categories->isExpanded());
        QCOMPARE(w.window.findChildren<NavItem*>(QRegularExpression(QStringLiteral("^item\\d+$"))).size(), 3);

        f.db().execute(QStringLiteral("delete from tblei"));
        QCoreApplication::sendEvent(&w.window, &refresh);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(categories->items().isEmpty());
    }

    void statusBarCountsBooksAndSplitsInHalves()
    {
        GuiFixture f;
        {
            Window w;
            QCOMPARE(w.window.statusText(0), QStringLiteral("        <青禾书屋>     图书总数：  0"));
        }
        f.addBook(QStringLiteral("甲"), QStringLiteral("还没读"));
        f.addBook(QStringLiteral("乙"), QStringLiteral("别的"));
        Window w;
        QCOMPARE(w.window.statusText(0), QStringLiteral("        <青禾书屋>     图书总数：  2"));
        w.window.resize(1300, 800);
        QTRY_VERIFY2(w.window.width() == 1300, qPrintable(QString::number(w.window.minimumSizeHint().width())));
        for (const char* name : {"StatusBar1Panel0", "StatusBar1Panel1"}) {
            const QLabel* panel = w.window.findChild<QLabel*>(QLatin1String(name));
            QTRY_VERIFY2(panel->width() > 640 && panel->width() <= 650, qPrintable(QString::number(panel->width())));
        }
        QVERIFY(QDir(f.home.filePath(QStringLiteral("corvina"))).exists());
        QVERIFY(QDir(f.home.filePath(QStringLiteral("temp"))).exists());
    }

    void shelfByReadingStatus()
    {
        GuiFixture f;
        f.addBook(QStringLiteral("红楼梦"), QStringLiteral("还没读"), {}, QStringLiteral("jpg"), jpegOf(Qt::red));
        f.addBook(QStringLiteral("O'Brien"), QStringLiteral("还没读"));
        f.addBook(QStringLiteral("围城"), QStringLiteral("已读完"), {}, QStringLiteral("JPG"), jpegOf(Qt::blue));
        f.addBook(QStringLiteral("无状态"), QString());
        Window w;
        for (int round = 0; round < 2; ++round) {
            w.click("dxNavBar1Item1");
            QCOMPARE(w.captions(), (QStringList{QStringLiteral("红楼梦"), QStringLiteral("O'Brien")}));
            QCOMPARE(w.shelf()->images().size(), 2);
            QCOMPARE(w.shelf()->images().at(0).size(), QSize(100, 120));
            QCOMPARE(w.window.statusText(1), QStringLiteral("          [还没读]--数量：2"));
        }
        w.click("dxNavBar1Item2");
        QCOMPARE(w.shelf()->count(), 0);
        QCOMPARE(w.window.statusText(1), QStringLiteral("          [正在读]--数量：0"));
        w.click("dxNavBar1Item3");
        QCOMPARE(w.captions(), QStringList{QStringLiteral("围城")});
        const QImage cover = w.shelf()->images().at(0).toImage();
        QVERIFY(qBlue(cover.pixel(50, 60)) > 200 && qRed(cover.pixel(50, 60)) < 60);
        QVERIFY(Prompt::takeShown().isEmpty());
    }

    void shelfByCategory()
    {
        GuiFixture f;
        f.db().execute(QStringLiteral("insert into tblei (leib) values ('Tom''s'), ('空类')"));
        const qint64 toms = f.categoryId(QStringLiteral("Tom''s"));
        f.addBook(QStringLiteral("一"), QStringLiteral("正在读"), toms);
        f.addBook(QStringLiteral("二"), QStringLiteral("奇怪"), toms);
        f.addBook(QStringLiteral("三"), QStringLiteral("正在读"));
        Window w;
        w.window.itemsclick(QStringLiteral("Tom's"));
        QCOMPARE(w.captions(), (QStringList{QStringLiteral("一"), QStringLiteral("二")}));
        QCOMPARE(w.window.statusText(1), QStringLiteral("[Tom's]--数量：2"));

        w.window.itemsclick(QStringLiteral("空类"));
        QCOMPARE(w.shelf()->count(), 0);
        QCOMPARE(w.window.statusText(1), QStringLiteral("[空类]--数量：0"));

        w.window.itemsclick(QStringLiteral("Tom's"));
        w.window.itemsclick(QStringLiteral("不存在"));
        QCOMPARE(w.shelf()->count(), 0);
        QCOMPARE(w.window.statusText(1), QStringLiteral("[Tom's]--数量：2"));

        // A category link brings the paper-book page back from the e-book pages.
        w.click("dxNavBar1Item7");
        auto* pages = w.window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("TabSheet2"));
        w.window.itemsclick(QStringLiteral("Tom's"));
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("TabSheet1"));
    }

    void damagedCoversAreNamedAndSkipped()
    {
        GuiFixture f;
        f.addBook(QStringLiteral("好一"), QStringLiteral("正在读"), {}, QStringLiteral("jpg"), jpegOf(Qt::green));
        f.addBook(QStringLiteral("坏JPEG"), QStringLiteral("正在读"), {}, QStringLiteral("Jpg"), QByteArray("not a jpeg"));
        f.addBook(QStringLiteral("坏BMP"), QStringLiteral("正在读"), {}, QStringLiteral("bmp"), QByteArray("BM garbage"));
        f.addBook(QStringLiteral("好二"), QStringLiteral("正在读"), {}, QStringLiteral("jpg"), jpegOf(Qt::yellow));
        Window w;
        w.click("dxNavBar1Item2");
        QCOMPARE(w.shelf()->count(), 4);
        QCOMPARE(w.shelf()->images().size(), 4);
        QCOMPARE(w.window.statusText(1), QStringLiteral("          [正在读]--数量：4"));
        const auto shown = Prompt::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(0).text, QStringLiteral("坏JPEG图片有误请修改"));
        QCOMPARE(shown.at(1).text, QStringLiteral("坏BMP图片有误请修改"));
        QCOMPARE(shown.at(0).caption, QStringLiteral("青禾家庭图书管理系统"));
    }

    void handlerErrorsAreShownAndTheWindowGoesOn()
    {
        GuiFixture f;
        f.addBook(QStringLiteral("甲"), QStringLiteral("还没读"));
        Window w;
        Prompt::takeShown();
        f.db().execute(QStringLiteral("alter table baseshu rename to baseshu_away"));
        w.click("dxNavBar1Item1");
        const Prompt::Shown shown = Prompt::lastShown();
        QCOMPARE(shown.caption, QStringLiteral("青禾家庭图书管理系统"));
        QVERIFY2(shown.text.contains(QStringLiteral("baseshu")), qPrintable(shown.text));

        f.db().execute(QStringLiteral("alter table baseshu_away rename to baseshu"));
        w.click("dxNavBar1Item1");
        QCOMPARE(w.captions(), QStringList{QStringLiteral("甲")});
    }

    void bannersAlternate()
    {
        GuiFixture f;
        Window w;
        auto* first = w.window.findChild<QLabel*>(QStringLiteral("Image5"));
        auto* second = w.window.findChild<QLabel*>(QStringLiteral("Image6"));
        QVERIFY(first->isVisible() && !second->isVisible());
        w.window.Timer2Timer();
        QVERIFY(first->isVisible() && !second->isVisible());
        w.window.Timer2Timer();
        QVERIFY(!first->isVisible() && second->isVisible());
        w.window.Timer2Timer();
        QVERIFY(first->isVisible() && !second->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
