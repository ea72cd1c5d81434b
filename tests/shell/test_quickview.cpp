#include "GuiFixture.h"

#include "shell/ShelfView.h"
#include "shell/Unittest.h"
#include "shell/uread.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>

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
        template<typename T>
        T* find(const char* name)
        {
            return window.findChild<T*>(QLatin1String(name));
        }
        void press(const char* button) { QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton); }
    };

    static QString stored(GuiFixture& f, qint64 id, const char* column)
    {
        return f.db().scalar(QStringLiteral("select %1 from baseshu where id=%2").arg(QLatin1String(column)).arg(id));
    }

private slots:
    void okWritesTheEditedColumns()
    {
        GuiFixture f;
        const qint64 id = f.addBook(QStringLiteral("It's 围城"), QStringLiteral("还没读"));
        Dialog d(id);
        QCOMPARE(d.window.windowTitle(), QStringLiteral("书名→It's 围城"));
        typeText(d.find<QLineEdit>("DBEdit2"), QStringLiteral("钱锺书"));
        typeText(d.find<QLineEdit>("DBEdit1"), QStringLiteral("书房'二层"));
        d.find<QComboBox>("DBComboBox1")->setCurrentIndex(2);
        typeText(d.find<QPlainTextEdit>("DBMemo1"), QStringLiteral("好书"));
        d.press("b1");
        QVERIFY(!d.window.isVisible());
        QCOMPARE(stored(f, id, "zuozhe"), QStringLiteral("钱锺书"));
        QCOMPARE(stored(f, id, "place"), QStringLiteral("书房'二层"));
        QCOMPARE(stored(f, id, "isread"), QStringLiteral("已读完"));
        QCOMPARE(stored(f, id, "readbiji"), QStringLiteral("好书"));
        QCOMPARE(stored(f, id, "name"), QStringLiteral("It's 围城"));
    }

    void typedStatusIsStoredAsTyped()
    {
        GuiFixture f;
        const qint64 id = f.addBook(QStringLiteral("书"), QStringLiteral("还没读"));
        Dialog d(id);
        auto* status = d.find<QComboBox>("DBComboBox1");
        status->lineEdit()->selectAll();
        typeText(status->lineEdit(), QStringLiteral("随便翻翻"));
        d.press("b1");
        QCOMPARE(stored(f, id, "isread"), QStringLiteral("随便翻翻"));
    }

    void okWithoutEditsAndCancelChangeNothing()
    {
        GuiFixture f;
        const qint64 id = f.addBook(QStringLiteral("书"), QStringLiteral("正在读"));
        f.db().execute(QStringLiteral("update baseshu set readbiji='旧笔记' where id=%1").arg(id));
        {
            Dialog d(id);
            typeText(d.find<QPlainTextEdit>("DBMemo1"), QStringLiteral("新的"));
            d.press("B2");
            QVERIFY(!d.window.isVisible());
        }
        QCOMPARE(stored(f, id, "readbiji"), QStringLiteral("旧笔记"));
        {
            Dialog d(id);
            d.press("b1");
        }
        QCOMPARE(stored(f, id, "readbiji"), QStringLiteral("旧笔记"));
        QCOMPARE(stored(f, id, "isread"), QStringLiteral("正在读"));
    }

    void vanishedBookWritesNothing()
    {
        GuiFixture f;
        const qint64 id = f.addBook(QStringLiteral("将被删除"), QStringLiteral("还没读"));
        f.db().execute(QStringLiteral("delete from baseshu where id=%1").arg(id));
        Dialog d(id);
        QVERIFY(d.window.windowTitle().isEmpty());
        typeText(d.find<QLineEdit>("DBEdit2"), QStringLiteral("某人"));
        d.press("b1");
        QVERIFY(!d.window.isVisible());
        QVERIFY(Prompt::lastShown().text.contains(QStringLiteral("已不在书库中")));
        QCOMPARE(f.db().scalar(QStringLiteral("select count(*) from baseshu")), QStringLiteral("0"));
    }

    void shelfClickOpensTheBook()
    {
        GuiFixture f;
        f.addBook(QStringLiteral("甲"), QStringLiteral("还没读"));
        const qint64 id = f.addBook(QStringLiteral("乙"), QStringLiteral("还没读"));
        TFormtest main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        main.dxNavBar1Item1Click();
        auto* shelf = main.findChild<ShelfView*>(QStringLiteral("ListView1"));
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
            typeText(dialog->findChild<QLineEdit*>(QStringLiteral("DBEdit2")), QStringLiteral("作者乙"));
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("b1")), Qt::LeftButton);
        });
        const QRect second = shelf->visualItemRect(shelf->item(1));
        QTest::mouseClick(shelf->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(title, QStringLiteral("书名→乙"));
        QCOMPARE(stored(f, id, "zuozhe"), QStringLiteral("作者乙"));

        // A click on empty space opens nothing.
        shelf->clearSelection();
        shelf->setCurrentItem(nullptr);
        QTest::mouseClick(shelf->viewport(), Qt::LeftButton, {}, QPoint(shelf->viewport()->width() - 5,
                                                                         shelf->viewport()->height() - 5));
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestQuickView)
#include "test_quickview.moc"
