#include "widgets/GuiFixture.h"

#include "ebooks/ureadbook.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

class TestReadBook : public QObject
{
    Q_OBJECT

    // The e-book list as the page holds it, on its second row.
    struct Fixture : GuiFixture
    {
        Fixture()
            : list(db())
        {
            db().execute(u"insert into dzbook (name, filename, place, isread, readbiji) values "
                         "('第一本', 's1', '', '还没读', ''), ('It''s 第二本', 's2', 'pw', '正在读', '旧笔记')"_s);
            list.setSql(u"select * from dzbook"_s);
            list.open();
            list.moveTo(1);
        }
        QString stored(const char* column)
        {
            return db().scalar(u"select %1 from dzbook where filename='s2'"_s.arg(QLatin1String(column)));
        }
        RecordSet list;
    };

    struct Dialog
    {
        Tfmreadbook window;
        explicit Dialog(RecordSet& list)
            : window(list)
        {
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        }
        template <typename T> T* find(const char* name) { return window.findChild<T*>(QLatin1String(name)); }
        void press(const char* button) { QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton); }
    };

private slots:
    void okWritesEveryControl()
    {
        Fixture f;
        qApp->setStyleSheet(u"QLineEdit { border: 1px solid #c8b88a; }"_s); // as the skin has one
        const auto noSkin = qScopeGuard([] { qApp->setStyleSheet(QString()); });
        Dialog d(f.list);
        QCOMPARE(d.window.windowTitle(), u"电子书名→It's 第二本"_s);
        auto* password = d.find<QLineEdit>("DBEdit3");
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QCOMPARE(password->text(), u"pw"_s);
        QCOMPARE(password->displayText(), u"**"_s);
        QCOMPARE(password->toolTip(), u"有的文档是需要密码才能打开的 无密码的不用管它"_s);
        d.find<QLineEdit>("DBEdit1")->selectAll();
        typeText(d.find<QLineEdit>("DBEdit1"), u"新书名"_s);
        typeText(d.find<QLineEdit>("DBEdit2"), u"作者"_s);
        password->selectAll();
        typeText(password, u" 秘密 "_s);
        auto* status = d.find<QComboBox>("DBComboBox1");
        status->lineEdit()->selectAll();
        typeText(status->lineEdit(), u"读了一半"_s); // stored as typed
        typeText(d.find<QPlainTextEdit>("DBMemo2"), u"简介"_s);
        typeText(d.find<QPlainTextEdit>("DBMemo1"), u"新"_s);
        d.press("b1");
        QCOMPARE(d.window.result(), int(QDialog::Accepted));
        QCOMPARE(f.stored("name"), u"新书名"_s);
        QCOMPARE(f.stored("zuozhe"), u"作者"_s);
        QCOMPARE(f.stored("place"), u" 秘密 "_s);
        QCOMPARE(f.stored("isread"), u"读了一半"_s);
        QCOMPARE(f.stored("contentjj"), u"简介"_s);
        QCOMPARE(f.stored("readbiji"), u"新旧笔记"_s);
        QCOMPARE(f.count(u"select count(*) from dzbook"_s), u"2"_s);
    }

    void cancelAndCloseWriteNothing()
    {
        Fixture f;
        for (const bool byTitleBar : { false, true }) {
            Dialog d(f.list);
            typeText(d.find<QPlainTextEdit>("DBMemo1"), u"丢掉"_s);
            if (byTitleBar)
                d.window.close();
            else
                d.press("B2");
            QVERIFY(!d.window.isVisible());
        }
        QCOMPARE(f.stored("readbiji"), u"旧笔记"_s);
    }

    void emptyListWritesNothing()
    {
        Fixture f;
        f.db().execute(u"delete from dzbook"_s);
        f.list.refresh();
        Dialog d(f.list);
        QCOMPARE(d.window.windowTitle(), u"电子书"_s);
        QVERIFY(!Prompt::takeShown().isEmpty()); // the engine's error on "id="
        typeText(d.find<QLineEdit>("DBEdit1"), u"幽灵"_s);
        d.press("b1");
        QVERIFY(!d.window.isVisible());
        QCOMPARE(f.count(u"select count(*) from dzbook"_s), u"0"_s);
    }

    // On a 1366 x 768 screen (the dialog at its own size, and as small as
    // its layout lets it be) a whole date shows in each date field.
    void datesShowWhole()
    {
        Fixture f;
        Dialog d(f.list);
        for (const QSize size : { d.window.size(), QSize(1, 1) }) {
            d.window.resize(size);
            QVERIFY(d.window.width() <= 1366 && d.window.height() <= 768);
            for (const char* name : { "EdDateAdded", "EdDateStarted", "EdDateFinished" }) {
                auto* edit = d.find<QLineEdit>(name);
                edit->setText(u"2026-12-31"_s);
                const int needed = edit->fontMetrics().horizontalAdvance(edit->text());
                QVERIFY2(edit->width() - 12 >= needed, name); // the frame and the text margins
            }
        }
    }
};

QTEST_MAIN(TestReadBook)
#include "test_ureadbook.moc"
