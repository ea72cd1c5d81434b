#include "widgets/GuiFixture.h"

#include "shell/ShelfView.h"
#include "shell/Unittest.h"
#include "shell/uread.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

class TestQuickView : public QObject
{
    Q_OBJECT

private:
    struct Dialog
    {
        Tfmread window;
        explicit Dialog(qint64 id)
        {
            window.openBook(id);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        }
        template <typename T> T* find(const char* name) { return window.findChild<T*>(QLatin1String(name)); }
        void press(const char* button) { QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton); }
    };

    static QString stored(GuiFixture& f, qint64 id, const char* column)
    {
        return f.db().scalar(u"select %1 from baseshu where id=%2"_s.arg(QLatin1String(column)).arg(id));
    }

private slots:
    void tabFollowsTheWindow()
    {
        GuiFixture f;
        Dialog d(f.addBook(u"书"_s, u"正在读"_s));
        d.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&d.window));
        QStringList reached { QApplication::focusWidget()->objectName() };
        for (int i = 0; i < 7; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* at = QApplication::focusWidget();
            reached << (at->objectName().isEmpty() ? at->parentWidget()->objectName() : at->objectName());
        }
        // Left to right along the bottom row: 借出, 归还, then 确定 and 取消.
        QCOMPARE(reached, (QStringList { u"DBEdit2"_s, u"DBEdit1"_s, u"DBComboBox1"_s, u"DBMemo2"_s, u"DBMemo1"_s,
                              u"BtnLend"_s, u"b1"_s, u"B2"_s })); // 归还 is off: the book is at home
    }

    void okWritesTheEditedColumns()
    {
        GuiFixture f;
        const qint64 id = f.addBook(u"It's 围城"_s, u"还没读"_s);
        Dialog d(id);
        QCOMPARE(d.window.windowTitle(), u"书名→It's 围城"_s);
        typeText(d.find<QLineEdit>("DBEdit2"), u"钱锺书"_s);
        typeText(d.find<QLineEdit>("DBEdit1"), u"书房'二层"_s);
        auto* status = d.find<QComboBox>("DBComboBox1");
        status->lineEdit()->selectAll();
        typeText(status->lineEdit(), u"随便翻翻"_s); // a status of the user's own
        typeText(d.find<QPlainTextEdit>("DBMemo1"), u"好书"_s);
        d.press("b1");
        QVERIFY(!d.window.isVisible());
        QCOMPARE(stored(f, id, "zuozhe"), u"钱锺书"_s);
        QCOMPARE(stored(f, id, "place"), u"书房'二层"_s);
        QCOMPARE(stored(f, id, "isread"), u"随便翻翻"_s);
        QCOMPARE(stored(f, id, "readbiji"), u"好书"_s);
        QCOMPARE(stored(f, id, "name"), u"It's 围城"_s);
    }

    void okWithoutEditsAndCancelChangeNothing()
    {
        GuiFixture f;
        const qint64 id = f.addBook(u"书"_s, u"正在读"_s);
        f.db().execute(u"update baseshu set readbiji='旧笔记' where id=%1"_s.arg(id));
        {
            Dialog d(id);
            typeText(d.find<QPlainTextEdit>("DBMemo1"), u"新的"_s);
            d.press("B2");
            QVERIFY(!d.window.isVisible());
        }
        QCOMPARE(stored(f, id, "readbiji"), u"旧笔记"_s);
        {
            Dialog d(id);
            d.press("b1");
        }
        QCOMPARE(stored(f, id, "readbiji"), u"旧笔记"_s);
        QCOMPARE(stored(f, id, "isread"), u"正在读"_s);
    }

    void vanishedBookWritesNothing()
    {
        GuiFixture f;
        const qint64 id = f.addBook(u"将被删除"_s, u"还没读"_s);
        f.db().execute(u"delete from baseshu where id=%1"_s.arg(id));
        Dialog d(id);
        QVERIFY(d.window.windowTitle().isEmpty());
        typeText(d.find<QLineEdit>("DBEdit2"), u"某人"_s);
        d.press("b1");
        QVERIFY(!d.window.isVisible());
        QVERIFY(Prompt::lastShown().text.contains(u"已不在书库中"_s));
        QCOMPARE(f.db().scalar(u"select count(*) from baseshu"_s), u"0"_s);
    }

    void shelfClickOpensTheBook()
    {
        GuiFixture f;
        f.addBook(u"甲"_s, u"还没读"_s);
        const qint64 id = f.addBook(u"乙"_s, u"还没读"_s);
        TFormtest main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        main.dxNavBar1Item1Click();
        QTRY_VERIFY(!main.isListing()); // the shelf is read on a thread
        auto* shelf = main.findChild<ShelfView*>(u"ListView1"_s);
        QCOMPARE(shelf->count(), 2);

        QString title;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<Tfmread*>(QApplication::activeModalWidget());
            auto closer = qScopeGuard([dialog] {
                if (dialog)
                    dialog->reject();
            });
            QVERIFY(dialog);
            title = dialog->windowTitle();
            typeText(dialog->findChild<QLineEdit*>(u"DBEdit2"_s), u"作者乙"_s);
            QTest::mouseClick(dialog->findChild<QPushButton*>(u"b1"_s), Qt::LeftButton);
        });
        const QRect second = shelf->visualItemRect(shelf->item(1));
        QTest::mouseClick(shelf->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(title, u"书名→乙"_s);
        QCOMPARE(stored(f, id, "zuozhe"), u"作者乙"_s);

        // A click on empty space opens nothing.
        shelf->clearSelection();
        shelf->setCurrentItem(nullptr);
        QTest::mouseClick(shelf->viewport(), Qt::LeftButton, {},
            QPoint(shelf->viewport()->width() - 5, shelf->viewport()->height() - 5));
        QVERIFY(!QApplication::activeModalWidget());
    }

    // On styles where one click activates an item, the click still opens the quick view once.
    void oneClickOpensTheQuickViewOnce()
    {
        struct SingleClickStyle : QProxyStyle
        {
            int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override
            {
                return hint == SH_ItemView_ActivateItemOnSingleClick
                    ? 1
                    : QProxyStyle::styleHint(hint, option, widget, data);
            }
        };
        GuiFixture f;
        f.addBook(u"甲"_s, u"还没读"_s);
        TFormtest main;
        main.show();
        main.dxNavBar1Item1Click();
        QTRY_VERIFY(!main.isListing()); // the shelf is read on a thread
        auto* shelf = main.findChild<ShelfView*>(u"ListView1"_s);
        SingleClickStyle style;
        shelf->setStyle(&style);
        int opened = 0;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (auto* dialog = qobject_cast<Tfmread*>(QApplication::activeModalWidget())) {
                ++opened;
                dialog->reject();
            }
        });
        closer.start(0);
        QTest::mouseClick(shelf->viewport(), Qt::LeftButton, {}, shelf->visualItemRect(shelf->item(0)).center());
        QTest::qWait(100);
        QCOMPARE(opened, 1);
        shelf->setStyle(nullptr);
    }
};

QTEST_MAIN(TestQuickView)
#include "test_quickview.moc"
