#include "widgets/GuiFixture.h"

#include "catalogue/ufenlei.h"
#include "widgets/NavBar.h"
#include "shell/Unittest.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

using namespace Qt::StringLiterals;

class TestCategoryManager : public QObject
{
    Q_OBJECT

    struct Fixture : GuiFixture
    {
        TFormtest main;
        std::unique_ptr<TFmfenlei> manager;
        Fixture()
        {
            db().execute(u"delete from tblei; insert into tblei (leib) values ('小说'), ('历史')"_s);
            main.show();
            manager = std::make_unique<TFmfenlei>(&main);
            manager->show();
        }
        template <typename T> T* find(const char* name) { return manager->findChild<T*>(QLatin1String(name)); }
        void press(const char* name) { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }
        QTableView* grid() { return find<QTableView>("DBGrid1"); }
        QStringList links()
        {
            QStringList captions;
            for (NavItem* item : main.findChild<NavGroup*>(u"Group2"_s)->items())
                captions << item->text();
            return captions;
        }
        QString names()
        {
            return db().scalar(u"select group_concat(leib, ',') from (select leib from tblei order by id)"_s);
        }
    };

private slots:
    void addRenameDeleteAndTheLinksFollow()
    {
        Fixture f;
        QCOMPARE(f.grid()->model()->headerData(0, Qt::Horizontal).toString(), u"图书分类"_s);
        QCOMPARE(f.grid()->model()->rowCount(), 2);

        f.press("Button1"); // 增加
        typeText(f.find<QLineEdit>("DBEdit1"), u"诗歌"_s);
        f.press("Button3"); // 保存
        QCOMPARE(f.names(), u"小说,历史,诗歌"_s);

        // In place: the grid's cell of the first row, ended by moving to another row.
        f.grid()->setCurrentIndex(f.grid()->model()->index(0, 0));
        QTest::keyClick(f.grid(), Qt::Key_F2);
        auto* editor = f.grid()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->selectAll();
        typeText(editor, u"长篇小说"_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(f.manager->query()->state(), RecordSet::State::Edit);
        QTest::keyClick(f.grid(), Qt::Key_Down);
        QCOMPARE(f.names(), u"长篇小说,历史,诗歌"_s);

        // Ctrl+Delete asks first; Cancel keeps the row, OK deletes it. "删除" asks nothing.
        Prompt::enqueueAnswer(QMessageBox::Cancel);
        QTest::keyClick(f.grid(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(Prompt::lastShown().text, u"删除这条记录吗？"_s);
        QCOMPARE(f.names(), u"长篇小说,历史,诗歌"_s);
        Prompt::enqueueAnswer(QMessageBox::Ok);
        QTest::keyClick(f.grid(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(f.names(), u"长篇小说,诗歌"_s);
        f.press("Button5");
        QCOMPARE(f.names(), u"长篇小说"_s);

        // An unsaved new name is dropped at the close, and the links are rebuilt before it ends.
        f.press("Button1");
        typeText(f.find<QLineEdit>("DBEdit1"), u"未保存"_s);
        QCOMPARE(f.links(), (QStringList { u"小说"_s, u"历史"_s }));
        f.manager->reject();
        QCOMPARE(f.links(), QStringList { u"长篇小说"_s });
        QCOMPARE(f.names(), u"长篇小说"_s);
    }

    void deletingAUsedCategoryAsksAndMovesItsBooks()
    {
        Fixture f;
        const qint64 novels = f.category(u"小说"_s);
        for (int i = 0; i < 5; ++i)
            f.addBook(u"书%1"_s.arg(i), u"还没读"_s, novels);
        f.addBook(u"别的书"_s, u"还没读"_s, f.category(u"历史"_s));
        RecordSet* query = f.manager->query();
        QVERIFY(query->locate(u"leib"_s, u"小说"_s));

        // Asked with the count and the name; Cancel keeps all as it was.
        Prompt::takeShown();
        Prompt::enqueueAnswer(QMessageBox::Cancel);
        f.press("Button5");
        QCOMPARE(Prompt::lastShown().text, u"有 5 本书属于“小说”，删除后它们将归入“未分类”。确定删除？"_s);
        QCOMPARE(f.names(), u"小说,历史"_s);

        // OK: the books go to 未分类, made for them, and no book names a category that is gone.
        Prompt::enqueueAnswer(QMessageBox::Ok);
        f.press("Button5");
        QCOMPARE(f.names(), u"历史,未分类"_s);
        QCOMPARE(f.count(u"select count(*) from baseshu b join tblei t on t.id = b.leibie where t.leib = '未分类'"_s),
            u"5"_s);
        QCOMPARE(f.count(u"select count(*) from baseshu where leibie not in (select id from tblei)"_s), u"0"_s);
        QCOMPARE(f.manager->query()->recordCount(), 2);

        // An empty category goes without a question, as before; 未分类 in use is kept.
        f.db().execute(u"insert into tblei (leib) values ('空的')"_s);
        query->refresh();
        QVERIFY(query->locate(u"leib"_s, u"空的"_s));
        Prompt::takeShown();
        f.press("Button5");
        QVERIFY(Prompt::takeShown().isEmpty());
        QCOMPARE(f.names(), u"历史,未分类"_s);
        QVERIFY(query->locate(u"leib"_s, u"未分类"_s));
        f.press("Button5");
        QCOMPARE(Prompt::lastShown().text, u"有 5 本书属于“未分类”，不能删除它。"_s);
        QCOMPARE(f.names(), u"历史,未分类"_s);
    }

    void refusedSaveSaysWhyAndReverts()
    {
        Fixture f;
        f.press("Button2"); // 编缉 the first row
        typeText(f.find<QLineEdit>("DBEdit1"), QString(300, u'长'));
        f.press("Button3");
        const Prompt::Shown shown = Prompt::lastShown();
        QCOMPARE(shown.caption, u"提示"_s);
        QVERIFY2(shown.text.startsWith(u"保存失败："_s) && shown.text.contains(u"最多 255 个字符"_s),
            qPrintable(shown.text));
        QCOMPARE(f.find<QLineEdit>("DBEdit1")->text(), u"小说"_s);
        QCOMPARE(f.manager->query()->state(), RecordSet::State::Browse);

        f.press("Button1");
        typeText(f.find<QLineEdit>("DBEdit1"), QString(300, u'新'));
        f.press("Button3");
        QCOMPARE(f.grid()->model()->rowCount(), 2);
        QCOMPARE(f.names(), u"小说,历史"_s);
    }

    void enterSavesAndNamesAreStoredTrimmed()
    {
        Fixture f;
        f.addBook(u"红楼梦"_s, u"还没读"_s, f.db().scalar(u"select id from tblei where leib = '小说'"_s).toLongLong());
        f.press("Button2"); // 编缉 "小说", as typed with blanks around
        auto* edit = f.find<QLineEdit>("DBEdit1");
        edit->selectAll();
        typeText(edit, u"  古典小说\u3000"_s);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(f.manager->query()->state(), RecordSet::State::Browse);
        QCOMPARE(f.names(), u"古典小说,历史"_s);

        // In place in the grid, moved away from: trimmed as well.
        f.press("Button1");
        typeText(edit, u" 诗歌 "_s);
        QTest::keyClick(f.grid(), Qt::Key_Up);
        QCOMPARE(f.names(), u"古典小说,历史,诗歌"_s);

        // The link lists the category's books.
        f.manager->reject();
        NavItem* link = nullptr;
        for (NavItem* item : f.main.findChild<NavGroup*>(u"Group2"_s)->items())
            link = item->text() == u"古典小说"_s ? item : link;
        QVERIFY(link);
        QTest::mouseClick(link, Qt::LeftButton);
        QTRY_VERIFY(!f.main.isListing()); // the shelf is read on a thread
        QCOMPARE(f.main.statusText(1), u"[古典小说]--数量：1"_s);
    }
};

QTEST_MAIN(TestCategoryManager)
#include "test_ufenlei.moc"
