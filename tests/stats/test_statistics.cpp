#include "widgets/GuiFixture.h"

#include "catalogue/Loans.h"
#include "data/Clock.h"
#include "stats/StatsPage.h"
#include "stats/Statistics.h"

#include <QChart>
#include <QChartView>
#include <QFileInfo>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QPushButton>

using namespace Qt::StringLiterals;

class TestStatistics : public QObject
{
    Q_OBJECT
private slots:
    void countsAgreeWithPlainSql();
    void pageDrawsEveryChartAndSavesOne();
    void labelsAreReadWhole();
};

namespace {

// A small library with every kind of oddity the counts must survive.
void fill(LibraryFixture& f)
{
    f.db().execute(u"delete from tblei"_s);
    f.db().execute(u"insert into tblei (id, leib) values (1, '小说'), (2, '历史')"_s);
    const char* statuses[] = { "还没读", "正在读", "已读完", "看了一半", "" };
    const char* places[] = { "书房", " 书房 ", "", "客厅" };
    f.db().execute(u"begin"_s);
    for (int i = 0; i < 60; ++i)
        f.db().execute(u"insert into baseshu (name, isread, place, leibie) values ('书%1', '%2', '%3', %4)"_s.arg(i)
                .arg(QString::fromUtf8(statuses[i % 5]), QString::fromUtf8(places[i % 4]),
                    i % 3 == 0 ? u"NULL"_s : i % 3 == 1 ? u"1"_s : u"7"_s)); // 7: a category since deleted
    f.db().execute(u"insert into dzbook (name, filename, isread) values ('a.pdf', 'a', '已读完'), ('b.pdf', 'b', NULL)"_s);
    f.db().execute(u"commit"_s);
    f.db().execute(u"update qh_book_dates set finished = '2026-05-03' where book % 7 = 0"_s);
    f.db().execute(u"update qh_book_dates set finished = '2024-01-09', added = '2023-02-01' where book % 11 = 0"_s);
    f.db().execute(u"update qh_ebook_dates set finished = '2026-05-20' where finished is not null"_s);
    Loans::lend(f.db(), 1, u"张三"_s, QDate(2026, 1, 1), {});
    Loans::giveBack(f.db(), 1, QDate(2026, 1, 2));
    Loans::lend(f.db(), 1, u"张三"_s, QDate(2026, 2, 1), {});
    Loans::lend(f.db(), 2, u"李四"_s, QDate(2026, 2, 1), {});
    Loans::lend(f.db(), 3, QString(255, u'长'), QDate(2026, 2, 1), {});
}

qint64 sql(LibraryFixture& f, const QString& text)
{
    return f.count(text).toLongLong();
}

} // namespace

void TestStatistics::countsAgreeWithPlainSql()
{
    GuiFixture f;
    fill(f);
    const QDate today(2026, 6, 15);
    QFile store(f.dir.filePath(u"store.bin"_s));
    QVERIFY(store.open(QIODevice::WriteOnly));
    store.write(QByteArray(3000, 'x'));
    store.close();
    const LibraryStats s = Statistics::collect(f.db(), today, f.dir.path());

    QCOMPARE(s.books, sql(f, u"select count(*) from baseshu"_s));
    QCOMPARE(s.byCategory.value(u"小说"_s), sql(f, u"select count(*) from baseshu where leibie = 1"_s));
    QCOMPARE(s.byCategory.value(u"未分类"_s), sql(f, u"select count(*) from baseshu where leibie is null or leibie = 7"_s));
    QCOMPARE(s.byCategory.total(), s.books);
    QCOMPARE(s.byStatus.rows.size(), 4);
    QCOMPARE(s.byStatus.rows[1].first, u"正在读"_s);
    QCOMPARE(s.byStatus.value(u"正在读"_s), sql(f, u"select count(*) from baseshu where isread = '正在读'"_s));
    QCOMPARE(s.byStatus.value(u"其他"_s),
        sql(f, u"select count(*) from baseshu where isread not in ('还没读', '正在读', '已读完')"_s));
    QCOMPARE(s.byPlace.value(u"书房"_s), sql(f, u"select count(*) from baseshu where trim(place) = '书房'"_s));
    QCOMPARE(s.byPlace.value(u"未填写"_s), sql(f, u"select count(*) from baseshu where place = ''"_s));

    // 24 months, oldest first, ending with this one; books and e-books alike.
    QCOMPARE(s.finishedByMonth.rows.size(), 24);
    QCOMPARE(s.finishedByMonth.rows.first().first, u"2024-07"_s);
    QCOMPARE(s.finishedByMonth.rows.last().first, u"2026-06"_s);
    QCOMPARE(s.finishedByMonth.value(u"2026-05"_s),
        sql(f, u"select count(*) from qh_book_dates where finished like '2026-05%'"_s) + 1);
    QCOMPARE(s.finishedByMonth.value(u"2024-01"_s), 0); // before the two years shown
    QCOMPARE(s.finishedByYear.value(u"2024"_s), sql(f, u"select count(*) from qh_book_dates where finished like '2024%'"_s));
    QCOMPARE(s.addedByYear.value(u"2023"_s), sql(f, u"select count(*) from qh_book_dates where added like '2023%'"_s));
    QCOMPARE(s.addedByYear.total(), s.books);
    QCOMPARE(s.loansByBorrower.rows.first(), (std::pair { u"张三"_s, qint64(2) }));
    QCOMPARE(s.booksOut, qint64(Loans::current(f.db(), today).size()));
    QCOMPARE(s.booksOut, 3);
    // The longest name a loan holds is cut for the chart (a label, not a text to lay out).
    QCOMPARE(s.loansByBorrower.value(QString(40, u'长') + u'…'), 1);
    QCOMPARE(s.ebooks, 2);
    QCOMPARE(s.ebooksByStatus.value(u"其他"_s), 1);
    QCOMPARE(s.storeBytes, 3000);
}

void TestStatistics::pageDrawsEveryChartAndSavesOne()
{
    GuiFixture f;
    fill(f);
    Clock clock;
    StatsPage page(f.db(), clock);
    page.resize(1100, 700);
    page.refresh();
    page.show();
    QCOMPARE(page.chartViews().size(), 8);
    QCOMPARE(page.chartViews()[1]->chart()->title(), u"按阅读状态（共 60）"_s);
    const QString png = f.dir.filePath(u"状态.png"_s);
    Prompt::enqueueFileNames({ png });
    QTest::mouseClick(page.findChild<QPushButton*>(u"BtnSaveChart1"_s), Qt::LeftButton);
    QImage saved(png);
    QVERIFY(!saved.isNull());
    QVERIFY(saved.width() > 100);

    // Never over the library, even through a link named like the suggested picture.
    const QString library = f.dir.filePath(u"data/AccessMng.mdb"_s);
    QTemporaryDir outside;
    QVERIFY(QFile::link(library, outside.filePath(u"按阅读状态.png"_s)));
    QFile file(library);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    Prompt::takeShown();
    for (const QString& target : { library, outside.filePath(u"按阅读状态.png"_s), f.dir.filePath(u"qinghe.lock"_s) }) {
        Prompt::enqueueFileNames({ target });
        QTest::mouseClick(page.findChild<QPushButton*>(u"BtnSaveChart1"_s), Qt::LeftButton);
        QVERIFY2(Prompt::lastShown().text.contains(u"数据文件夹"_s), qPrintable(Prompt::lastShown().text));
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QVERIFY(!QFile::exists(f.dir.filePath(u"qinghe.lock"_s)));

    // A name typed without its extension gets ".png", as the filter offers.
    Prompt::enqueueFileNames({ f.dir.filePath(u"每月"_s) });
    QTest::mouseClick(page.findChild<QPushButton*>(u"BtnSaveChart3"_s), Qt::LeftButton);
    QVERIFY(!QFileInfo::exists(f.dir.filePath(u"每月"_s)));
    QVERIFY(!QImage(f.dir.filePath(u"每月.png"_s)).isNull());
    // That name taken already: asked first, and a No keeps the file.
    const QByteArray kept = [&] { QFile in(f.dir.filePath(u"每月.png"_s)); in.open(QIODevice::ReadOnly); return in.readAll(); }();
    Prompt::enqueueFileNames({ f.dir.filePath(u"每月"_s) });
    Prompt::enqueueAnswer(QMessageBox::No);
    QTest::mouseClick(page.findChild<QPushButton*>(u"BtnSaveChart2"_s), Qt::LeftButton);
    QVERIFY(Prompt::lastShown().text.contains(u"已存在"_s));
    QFile again(f.dir.filePath(u"每月.png"_s));
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), kept);
}

namespace {

// The texts a chart shows (title, axis labels, bar numbers), as drawn.
QStringList drawnTexts(QGraphicsItem* item)
{
    QStringList texts;
    if (auto* text = dynamic_cast<QGraphicsTextItem*>(item))
        texts << text->toPlainText();
    if (auto* simple = dynamic_cast<QGraphicsSimpleTextItem*>(item))
        texts << simple->text();
    for (QGraphicsItem* child : item->childItems())
        texts << drawnTexts(child);
    return texts;
}

} // namespace

void TestStatistics::labelsAreReadWhole()
{
    GuiFixture f;
    LibraryStats stats;
    for (int i = 0; i < 24; ++i)
        stats.finishedByMonth.rows.append({ QDate(2024, 7, 1).addMonths(i).toString(u"yyyy-MM"_s), i % 5 });
    for (const char* place : { "书房书架", "客厅书柜", "卧室床头", "储藏室纸箱", "其他地方", "爷爷奶奶家的樟木箱", "办公室",
             "车库", "阁楼", "地下室储物间", "学校宿舍", "未填写" })
        stats.byPlace.rows.append({ QString::fromUtf8(place), 3 });
    const Clock clock;
    StatsPage page(f.db(), clock);
    page.resize(1166, 700); // the page beside the navigation pane at 1366 × 768
    page.draw(stats);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QApplication::processEvents();
    for (int chart : { 2, 3 }) {
        QChartView* view = page.chartViews().at(chart);
        const QStringList texts = drawnTexts(view->chart());
        for (const QString& text : texts)
            QVERIFY2(!text.contains(u"…"_s) && !text.contains(u"..."_s), qPrintable(text));
        const QStringList wanted = chart == 2 ? QStringList { u"爷爷奶奶家的樟木箱"_s, u"地下室储物间"_s }
                                              : QStringList { u"2024-07"_s, u"2025-07"_s, u"2026-06"_s };
        for (const QString& label : wanted)
            QVERIFY2(texts.contains(label), qPrintable(label + u" in "_s + texts.join(u'|')));
        // And drawn inside the chart, not cut by its edge.
        const QRectF inside = view->chart()->mapRectToScene(view->chart()->rect());
        const QList<QGraphicsItem*> all = view->chart()->scene()->items();
        for (QGraphicsItem* item : all) {
            auto* text = dynamic_cast<QGraphicsTextItem*>(item);
            if (text && text->isVisible() && wanted.contains(text->toPlainText()))
                QVERIFY2(inside.contains(text->sceneBoundingRect()), qPrintable(text->toPlainText()));
        }
    }
}

QTEST_MAIN(TestStatistics)
#include "test_statistics.moc"
