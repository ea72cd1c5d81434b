#include "widgets/GuiFixture.h"
#include "widgets/LoopGaps.h"

#include "ebooks/EbookPage.h"
#include "ebooks/EbookStore.h"
#include "ebooks/LastPage.h"
#include "platform/AppPaths.h"
#include "ebooks/PdfFindBar.h"
#include "ebooks/PdfViewer.h"
#include "search/FullTextLibrary.h"
#include "shell/FindList.h"
#include "shell/FindPanel.h"
#include "shell/Unittest.h"
#include "shell/uread.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

// A PDF whose page `phrasePage` (from 0) alone says phrase.
QByteArray textPdf(int pages, int phrasePage, const QString& phrase)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    QPainter painter(&writer);
    painter.setFont(QFont(u"WenQuanYi Micro Hei"_s, 14));
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.drawText(40, 60, u"第%1页"_s.arg(page + 1));
        if (page == phrasePage)
            painter.drawText(40, 300, phrase);
    }
    painter.end();
    return bytes;
}

struct Window
{
    TFormtest window;
    Window()
    {
        window.resize(1200, 740);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    FindPanel* panel() { return window.findPanel(); }
    QLineEdit* box() { return window.findChild<QLineEdit*>(u"EdtFind"_s); }
    QTreeView* list() { return window.findChild<QTreeView*>(u"LstFind"_s); }
    FindListModel* model() { return panel()->model(); }

    void find(const QString& text)
    {
        box()->clear();
        typeText(box(), text);
        QTRY_VERIFY(!panel()->findChild<QTimer*>(u"FindPause"_s)->isActive()); // the pause after typing
        panel()->waitForResults();
    }
    // The top-level captions and, under each, the display texts of its rows.
    QStringList rows()
    {
        QStringList texts;
        for (int g = 0; g < model()->rowCount(); ++g) {
            const QModelIndex group = model()->index(g, 0);
            texts << group.data().toString();
            for (int r = 0; r < model()->rowCount(group); ++r)
                texts << u"  "_s + model()->index(r, 0, group).data().toString();
        }
        return texts;
    }
    QModelIndex hit(int group, int row) { return model()->index(row, 0, model()->index(group, 0)); }
};

} // namespace

class TestFindPanel : public QObject
{
    Q_OBJECT
private slots:
    void typingListsGroupedResults();
    void enterOpensQuickView();
    void enterInTheBoxNeverWaits();
    void moreRowsOnRequest();
    void fullTextHitOpensItsPage();
    void hitInTheBooksOwnFormLeavesWithTheBook();
};

void TestFindPanel::typingListsGroupedResults()
{
    GuiFixture f;
    f.db().execute(
        u"insert into baseshu (name, zuozhe, place) values ('活着', '余华', '书房'), ('兄弟', '余华', '')"_s);
    f.db().execute(u"insert into dzbook (name, readbiji, filename) values ('许三观卖血记.pdf', '余华的小说', 'x')"_s);
    Window w;
    QVERIFY(w.box());
    QCOMPARE(w.box()->placeholderText(), u"搜索书名、作者、出版社、ISBN、存放位置、借书人、笔记…"_s);
    QVERIFY(w.window.findChild<QCheckBox*>(u"ChkFullText"_s));
    QVERIFY(!w.list()->isVisible());

    QTest::keyClick(&w.window, Qt::Key_K, Qt::ControlModifier);
    QTRY_VERIFY(w.box()->hasFocus());
    w.find(u"余华"_s);
    QVERIFY(w.list()->isVisible());
    QCOMPARE(w.rows(),
        (QStringList { u"纸书（2）"_s, u"  活着"_s, u"  兄弟"_s, u"电子书（1）"_s, u"  许三观卖血记.pdf"_s }));
    QCOMPARE(w.hit(0, 0).data(FindListModel::FieldRole).toString(), u"作者"_s);
    QCOMPARE(w.hit(1, 0).data(FindListModel::FieldRole).toString(), u"读书笔记"_s);

    QTest::keyClick(w.box(), Qt::Key_Escape);
    QVERIFY(!w.list()->isVisible());
    w.find(u"没有这本书"_s);
    QVERIFY(!w.list()->isVisible());
    QCOMPARE(w.panel()->findChild<QLabel*>(u"FindMessage"_s)->text(), u"  没有找到“没有这本书”"_s);
}

void TestFindPanel::enterOpensQuickView()
{
    GuiFixture f;
    f.addBook(u"围城"_s, u"已读完"_s);
    const qint64 id = f.addBook(u"三体"_s, u"正在读"_s);
    f.db().execute(u"update baseshu set jieshumen = '李四' where id = %1"_s.arg(id));
    Window w;
    w.find(u"李四"_s);
    QCOMPARE(w.rows(), (QStringList { u"纸书（1）"_s, u"  三体"_s }));
    QString shown;
    QTimer::singleShot(0, &w.window, [&] {
        if (auto* dialog = qobject_cast<Tfmread*>(QApplication::activeModalWidget())) {
            shown = dialog->query()->asText(u"name"_s);
            dialog->reject();
        }
    });
    QTest::keyClick(w.box(), Qt::Key_Down);
    QVERIFY(w.list()->hasFocus());
    QTest::keyClick(w.list(), Qt::Key_Return);
    QCOMPARE(shown, u"三体"_s);
}

// Enter on a text whose search is not in yet: the key returns at once, and the
// first result opens when the search ends; the window's loop keeps turning.
void TestFindPanel::enterInTheBoxNeverWaits()
{
    GuiFixture f;
    f.db().execute(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 30000) "
                   "insert into baseshu (name, contentjj) select '书' || i, printf('%0500d', i) from n"_s);
    f.addBook(u"围城"_s, u"已读完"_s);
    Window w;
    w.find(u"围"_s); // the first search builds what later ones reuse
    QString shown;
    auto closeQuickView = [&] {
        if (auto* dialog = qobject_cast<Tfmread*>(QApplication::activeModalWidget())) {
            shown = dialog->query()->asText(u"name"_s);
            dialog->reject();
        }
    };
    QTimer poll;
    connect(&poll, &QTimer::timeout, &w.window, closeQuickView);
    poll.start(10);
    w.box()->clear();
    typeText(w.box(), u"围城"_s);
    LoopGaps gaps;
    QElapsedTimer keyTime;
    keyTime.start();
    QTest::keyClick(w.box(), Qt::Key_Return);
    const qint64 keyMs = keyTime.elapsed();
    QVERIFY(shown.isEmpty()); // not yet: the search runs in the background
    QTRY_COMPARE_WITH_TIMEOUT(shown, u"围城"_s, 20000);
    qInfo("Enter returned after %lld ms; the book opened after %lld ms; longest time without the event loop: %lld ms",
        keyMs, keyTime.elapsed(), gaps.longest());
    QVERIFY(gaps.longest() < 300);
}

void TestFindPanel::moreRowsOnRequest()
{
    GuiFixture f;
    f.db().execute(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 60) "
                   "insert into baseshu (name, place) select '书' || i, '阁楼' from n"_s);
    Window w;
    w.find(u"阁楼"_s);
    const QModelIndex group = w.model()->index(0, 0);
    QCOMPARE(group.data().toString(), u"纸书（60）"_s);
    QCOMPARE(w.model()->rowCount(group), FindListModel::shownPerGroup + 1);
    const QModelIndex more = w.model()->index(FindListModel::shownPerGroup, 0, group);
    QCOMPARE(more.data().toString(), u"还有 10 条"_s);
    w.list()->setCurrentIndex(more);
    w.panel()->openCurrent();
    QCOMPARE(w.model()->rowCount(group), 60);
    QCOMPARE(w.model()->index(59, 0, group).data().toString(), u"书60"_s);
}

void TestFindPanel::fullTextHitOpensItsPage()
{
    GuiFixture f;
    const QString phrase = u"软件包打包的基本步骤"_s;
    const EbookStore store = EbookStore(AppPaths::path(u"corvina"_s));
    QDir().mkpath(store.folder());
    QTemporaryDir sources;
    const QString source = sources.filePath(u"guide.pdf"_s);
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(textPdf(6, 4, phrase));
    }
    const QString stored = store.newStoredName();
    store.store(source, stored);
    f.db().execute(u"insert into dzbook (name, filename) values ('打包指南.pdf', '%1')"_s.arg(stored));

    Window w;
    QVERIFY(w.window.fullText()->waitUntilIdle(60000)); // made in the background after the window showed
    QVERIFY(QFileInfo::exists(store.path(stored) + u".text"_s));
    w.find(u"基本步骤"_s);
    QVERIFY(!w.list()->isVisible()); // not in any field
    w.window.findChild<QCheckBox*>(u"ChkFullText"_s)->setChecked(true);
    w.panel()->waitForResults();
    QCOMPARE(w.rows(), (QStringList { u"电子书全文（1）"_s, u"  打包指南.pdf"_s }));
    const QModelIndex hit = w.hit(0, 0);
    QCOMPARE(hit.data(FindListModel::FieldRole).toString(), u"第 5 页"_s);

    w.list()->setCurrentIndex(hit);
    QTest::keyClick(w.list(), Qt::Key_Return);
    PdfViewer* viewer = w.window.ebookPage()->viewer();
    QVERIFY(viewer->hasDocument());
    QTRY_COMPARE(viewer->currentPage(), 4);
    QVERIFY(viewer->findBar()->isVisible());
    QCOMPARE(viewer->findBar()->text(), u"基本步骤"_s);
    QTRY_COMPARE(viewer->findBar()->matchPage(), 4);
    QVERIFY(!viewer->findBar()->matchRectangles().isEmpty());
    QVERIFY(!w.list()->isVisible()); // the reading page gets the room
    QTest::keyClick(w.box(), Qt::Key_Down);
    QVERIFY(w.list()->isVisible());
}

void TestFindPanel::hitInTheBooksOwnFormLeavesWithTheBook()
{
    GuiFixture f;
    const EbookStore store = EbookStore(AppPaths::path(u"corvina"_s));
    QDir().mkpath(store.folder());
    QTemporaryDir sources;
    const QString source = sources.filePath(u"guide.pdf"_s);
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(textPdf(8, 5, u"打包的基本步驟"_s)); // printed in traditional characters
    }
    const QString stored = store.newStoredName();
    store.store(source, stored);
    f.db().execute(u"insert into dzbook (name, filename) values ('指南.pdf', '%1')"_s.arg(stored));
    const qint64 id = f.db().scalar(u"select ID from dzbook"_s).toLongLong();
    LastPage(f.db()).remember(id, 2); // read before, up to page 3

    Window w;
    QVERIFY(w.window.fullText()->waitUntilIdle(60000));
    w.window.findChild<QCheckBox*>(u"ChkFullText"_s)->setChecked(true);
    w.find(u"基本步骤"_s);
    QCOMPARE(w.rows(), (QStringList { u"电子书全文（1）"_s, u"  指南.pdf"_s }));
    w.list()->setCurrentIndex(w.hit(0, 0));
    QTest::keyClick(w.list(), Qt::Key_Return);
    PdfViewer* viewer = w.window.ebookPage()->viewer();
    QTRY_COMPARE(viewer->currentPage(), 5);
    // The find bar holds the form the page holds, and finds it there (as
    // soon as the PDF worker has looked at the page).
    QTRY_COMPARE_WITH_TIMEOUT(viewer->findBar()->matchPage(), 5, 60000);
    QCOMPARE(viewer->findBar()->text(), u"基本步驟"_s);
    QVERIFY(viewer->findBar()->statusText() != u"找不到"_s);
    // The hit's page is the one shown: no word of the page read last time.
    QCOMPARE(viewer->note(), QString());
    QCOMPARE(LastPage(f.db()).page(id), 5);

    // The book deleted: its hit goes from the list, which closes when empty.
    QTest::keyClick(w.box(), Qt::Key_Down);
    QVERIFY(w.list()->isVisible());
    w.window.ebookPage()->BitBtn3Click();
    Prompt::enqueueAnswer(QMessageBox::Ok);
    w.window.ebookPage()->Button6Click();
    QCOMPARE(w.model()->hitCount(), 0);
    QVERIFY(!w.list()->isVisible());
}

QTEST_MAIN(TestFindPanel)
#include "test_findpanel.moc"
