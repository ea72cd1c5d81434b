#include "widgets/GuiFixture.h"
#include "widgets/LoopGaps.h"
#include "tasks/BackgroundTask.h"

#include "catalogue/PictureLoader.h"
#include "catalogue/PicturePanel.h"
#include "catalogue/manig.h"
#include "shell/ShelfListing.h"
#include "pictures/ThumbnailCache.h"
#include "pictures/Thumbnails.h"
#include "shell/Unittest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <functional>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

using namespace Qt::StringLiterals;

namespace {

struct Editor : GuiFixture
{
    std::unique_ptr<TForm2> form;

    explicit Editor(const QStringList& titles = { u"甲"_s, u"乙"_s, u"丙"_s }, QWidget* parent = nullptr)
    {
        db().execute(u"delete from tblei"_s);
        db().execute(u"insert into tblei (id, leib) values (1, '小说'), (2, 'Tom''s')"_s);
        for (const QString& title : titles)
            addBook(title, u"还没读"_s, 1);
        form = std::make_unique<TForm2>(parent);
        form->show();
        settle();
    }
    template <typename T = QWidget> T* get(const QString& name) { return form->findChild<T*>(name); }
    RecordSet* set() { return form->master(); }
    void click(const QString& name)
    {
        QTest::mouseClick(get<QPushButton>(name), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form->isWorking(), 30000); // CSV files and prints are made on a thread
    }
    void settle() { form->waitForPictures(); }
    QString category() { return get<QComboBox>(u"CBleib"_s)->currentText(); }
    QStringList titles()
    {
        QStringList list;
        for (int row = 0; row < set()->recordCount(); ++row)
            list << set()->textAt(row, set()->fieldIndex(u"name"_s));
        return list;
    }
    bool shows(int slot) { return !form->panel(slot)->image()->pixmap().isNull(); }
    QString file(const QString& name, const QByteArray& bytes)
    {
        QFile out(dir.filePath(name));
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
        return out.fileName();
    }
    QString column(const QString& sql) { return count(sql); }
    // Changes the stored rows behind the editor's back, then shows the first book again.
    void reshow(const QString& sql)
    {
        db().execute(sql);
        set()->refresh();
        set()->next();
        set()->first();
        settle();
    }
};

// Stands for the main window: counts its requests to rebuild the category links and book total.
struct MainWindow : QWidget
{
    int refreshes = 0;
    bool event(QEvent* event) override
    {
        refreshes += event->type() == MainRefreshEvent;
        return QWidget::event(event);
    }
};

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

class TestManig : public QObject
{
    Q_OBJECT

private slots:
    void recordChangeMoments();
    void saveNeedsAnExistingCategory();
    void search_data();
    void search();
    void deleteAsksFirst();
    void csvExportAndImport();
    void longFileWorkLeavesTheWindowTurning();
    void stoppedFileWorkLeavesNothingHalfDone();
    void showingAgainKeepsTheState();
    void uploads_data();
    void uploads();
    void uploadWritesPendingTextFirst();
    void shownByTagCase();
    void quickMovesShowOnlyTheLastRow();
    void tabFollowsTheForm();
    void wholeEditorOnALaptopScreen();
    void gridShowsNamesAndWholeTitles();
    void closingWithAnUnsavedNewBookAsks();
    void printStartsOnAllBooksAndRemembers();
};

void TestManig::recordChangeMoments()
{
    OpenSetFixture f;
    QSignalSpy spy(&f.set, &RecordSet::afterScroll);
    f.set.close();
    f.set.open();
    f.set.next();
    f.set.edit();
    f.set.setText(u"name"_s, u"A2"_s);
    f.set.post();
    f.set.append();
    f.set.cancel();
    f.set.remove();
    QCOMPARE(spy.count(), 5); // opened with rows, moved, new row, dropped, deleted
    f.set.setSql(u"select * from baseshu where 1=0"_s);
    f.set.open();
    QCOMPARE(spy.count(), 5);
}

void TestManig::saveNeedsAnExistingCategory()
{
    Editor e;
    QCOMPARE(e.category(), u"小说"_s);
    QCOMPARE(e.get<QComboBox>(u"CBleib"_s)->count(), 2);

    // Unknown or empty category: nothing written, the edit stays pending.
    typeText(e.get(u"db_name"_s), u"'s"_s);
    for (const QString& name : { u"诗歌"_s, u"  "_s }) {
        e.get<QComboBox>(u"CBleib"_s)->setEditText(name);
        e.click(u"BitBtn2"_s);
        QCOMPARE(Prompt::lastShown().text, u"无此类别,保存失败"_s);
        QCOMPARE(e.set()->state(), RecordSet::State::Edit);
        QCOMPARE(e.column(u"select name from baseshu where id=1"_s), u"甲"_s);
    }
    e.get<QComboBox>(u"CBleib"_s)->setEditText(u" Tom's "_s);
    e.click(u"BitBtn2"_s);
    QCOMPARE(e.set()->state(), RecordSet::State::Browse);
    QCOMPARE(e.column(u"select name || leibie from baseshu where id=1"_s), u"'s甲2"_s);

    // A new book, cancelled, then added and saved.
    e.click(u"BitBtn1"_s);
    QCOMPARE(e.category(), QString());
    e.click(u"BitBtn4"_s);
    QCOMPARE(e.set()->recordCount(), 3);
    e.click(u"BitBtn1"_s);
    typeText(e.get(u"db_zuozhe"_s), u"鲁迅"_s);
    e.get<QComboBox>(u"db_isread"_s)->setCurrentIndex(2);
    e.get<QComboBox>(u"CBleib"_s)->setEditText(u"小说"_s);
    e.click(u"BitBtn2"_s);
    QCOMPARE(e.column(u"select zuozhe || isread || leibie from baseshu where id=4"_s), u"鲁迅已读完1"_s);

    // Editing a book and cancelling restores it.
    typeText(e.get(u"db_zuozhe"_s), u"x"_s);
    e.click(u"BitBtn4"_s);
    QCOMPARE(e.get<QLineEdit>(u"db_zuozhe"_s)->text(), u"鲁迅"_s);
}

void TestManig::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("found");
    const QStringList all { u"Tom's Book"_s, u"红楼梦"_s, u"100%纯棉"_s, u"a_b"_s, u"axb"_s };
    QTest::newRow("blank") << u"   "_s << all;
    QTest::newRow("trimmed") << u"  楼 "_s << QStringList { u"红楼梦"_s };
    QTest::newRow("quote") << u"Tom's"_s << QStringList { u"Tom's Book"_s };
    QTest::newRow("percent wildcard") << u"0%纯"_s << QStringList { u"100%纯棉"_s };
    QTest::newRow("underscore wildcard") << u"a_b"_s << QStringList { u"a_b"_s, u"axb"_s };
    QTest::newRow("pinyin initials") << u"HLM"_s << QStringList { u"红楼梦"_s };
    QTest::newRow("pinyin syllables") << u"loumeng"_s << QStringList { u"红楼梦"_s };
    QTest::newRow("nothing") << u"无此书"_s << QStringList {};
}

void TestManig::search()
{
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    Editor e({ u"Tom's Book"_s, u"红楼梦"_s, u"100%纯棉"_s, u"a_b"_s, u"axb"_s });
    e.reshow(u"update baseshu set \"格式\"='jpg', facepic=x'%1'"_s.arg(hex(picture(Qt::red))));
    QVERIFY(e.shows(0));
    typeText(e.get(u"db_name"_s), u"改"_s); // dropped by the search
    typeText(e.get(u"Edit1"_s), text);
    QTest::keyClick(e.get(u"Edit1"_s), Qt::Key_Return);
    QCOMPARE(e.titles(), found);
    QCOMPARE(e.column(u"select name from baseshu where id=1"_s), u"Tom's Book"_s);
    e.settle();
    if (found.isEmpty()) {
        QVERIFY(!e.shows(0));
        QCOMPARE(e.category(), QString());
    }
    QCOMPARE(e.form->searchStatement(u" hlm "_s),
        u" select * from baseshu where 1=1  and (id in (select id from baseshu where name like '%hlm%') "
        "or id in (2))"_s);
    QCOMPARE(e.form->searchStatement(u" 红 "_s), u" select * from baseshu where 1=1  and name like '%红%'"_s);
}

void TestManig::csvExportAndImport()
{
    MainWindow main;
    Editor e({ u"红楼梦"_s, u"a,\"b\"\nc"_s }, &main);
    Prompt::enqueueFileNames({});
    e.click(u"BtnCsvExport"_s);
    QCOMPARE(Prompt::takeShown().size(), 1); // the dialog alone

    // The edit in hand is written first; the name gets its extension.
    typeText(e.get(u"db_zuozhe"_s), u"曹雪芹"_s);
    const QString path = e.dir.filePath(u"书目"_s);
    Prompt::enqueueFileNames({ path });
    e.click(u"BtnCsvExport"_s);
    QCOMPARE(Prompt::lastShown().text, u"已导出 2 本图书到\n"_s + path + u".csv"_s);
    QFile file(path + u".csv"_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("红楼梦,曹雪芹,"));

    // Into an emptied library, under a pinyin search: the preview first, then all
    // the books, the list searched again and the main window told.
    e.db().execute(u"delete from baseshu"_s);
    typeText(e.get(u"Edit1"_s), u"hlm"_s);
    e.click(u"Button2"_s);
    for (const auto answer : { QMessageBox::Cancel, QMessageBox::Ok }) {
        Prompt::takeShown();
        Prompt::enqueueFileNames({ file.fileName() });
        Prompt::enqueueAnswer(answer);
        e.click(u"BtnCsvImport"_s);
        QVERIFY(Prompt::takeShown().at(1).text.contains(u"将导入 2 本图书。"_s));
    }
    QCOMPARE(e.count(u"select count(*) from baseshu"_s), u"2"_s);
    QCOMPARE(e.titles(), QStringList { u"红楼梦"_s });
    QCOMPARE(main.refreshes, 1);
    // Again: nothing to add, and the preview names the books it skips.
    Prompt::enqueueFileNames({ file.fileName() });
    e.click(u"BtnCsvImport"_s);
    QVERIFY(Prompt::lastShown().text.contains(u"没有可以导入的图书。"_s));
    QVERIFY(Prompt::lastShown().text.contains(u"\n    《红楼梦》\n"_s));

    // A file the import cannot read is explained and changes nothing.
    Prompt::enqueueFileNames({ e.file(u"bad.csv"_s, "作者\r\n鲁迅\r\n") });
    e.click(u"BtnCsvImport"_s);
    QVERIFY(Prompt::lastShown().text.startsWith(u"文件的第一行没有“书名”列"_s));
    QCOMPARE(e.count(u"select count(*) from baseshu"_s), u"2"_s);
}

namespace {

// Many books with long fields, so that a file made of them takes a while.
void addManyBooks(Editor& e, int count)
{
    e.db().execute(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
                   "insert into baseshu (name, isread, leibie, contentjj) select '书' || i, '还没读', 1, "
                   "printf('%%0400d', i) from n"_s.arg(count));
}

ThreadTask* runningWork(Editor& e)
{
    for (ThreadTask* task : e.form->findChildren<ThreadTask*>(u"LibraryTask"_s))
        if (task->isRunning())
            return task;
    return nullptr;
}

// Clicks a button whose work runs on a thread and stops that work as soon as it has started.
void clickAndStop(Editor& e, const QString& button)
{
    QTest::mouseClick(e.get<QPushButton>(button), Qt::LeftButton);
    ThreadTask* task = runningWork(e);
    QVERIFY(task);
    task->cancel();
    QTRY_VERIFY(!e.form->isWorking());
}

} // namespace

void TestManig::longFileWorkLeavesTheWindowTurning()
{
    Editor e;
    addManyBooks(e, 30000);
    const QString path = e.dir.filePath(u"all.csv"_s);
    Prompt::enqueueFileNames({ path });
    LoopGaps gaps;
    e.click(u"BtnCsvExport"_s);
    qInfo("30,000 books out to a CSV file: longest time without the event loop %lld ms", gaps.longest());
    QVERIFY(gaps.longest() < 300);
    QCOMPARE(Prompt::lastShown().text, u"已导出 30003 本图书到\n"_s + path);
}

void TestManig::stoppedFileWorkLeavesNothingHalfDone()
{
    Editor e;
    addManyBooks(e, 30000);
    Prompt::takeShown();

    // An export stopped: no file, and one already there keeps what it held.
    const QString path = e.dir.filePath(u"books.csv"_s);
    Prompt::enqueueFileNames({ path });
    clickAndStop(e, u"BtnCsvExport"_s);
    QVERIFY(!QFile::exists(path));
    QFile kept(e.file(u"kept.csv"_s, "earlier\r\n"));
    Prompt::enqueueFileNames({ kept.fileName() });
    clickAndStop(e, u"BtnCsvExport"_s);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("earlier\r\n"));
    QCOMPARE(QDir(e.dir.path()).entryList({ u"*.csv*"_s }, QDir::Files), QStringList { u"kept.csv"_s });
    QCOMPARE(Prompt::takeShown().size(), 2); // the file dialogs alone

    // An import stopped: nothing added.
    Prompt::enqueueFileNames({ path });
    e.click(u"BtnCsvExport"_s);
    e.db().execute(u"delete from baseshu"_s);
    Prompt::takeShown();
    Prompt::enqueueFileNames({ path });
    Prompt::enqueueAnswer(QMessageBox::Ok);
    Prompt::setOnShown([&](const Prompt::Shown& shown) {
        if (shown.text.contains(u"将导入"_s))
            QTimer::singleShot(0, e.form.get(), [&] {
                if (ThreadTask* task = runningWork(e))
                    task->cancel();
            });
    });
    e.click(u"BtnCsvImport"_s);
    Prompt::setOnShown({});
    QCOMPARE(e.count(u"select count(*) from baseshu"_s), u"0"_s);
    QVERIFY(!Prompt::lastShown().text.startsWith(u"已导入"_s));

    // A printed catalogue stopped: no file.
    addManyBooks(e, 3000);
    const QString pdf = e.dir.filePath(u"books.pdf"_s);
    QTimer::singleShot(0, e.form.get(), [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            QTest::mouseClick(dialog->findChild<QPushButton*>(u"BtnOK"_s), Qt::LeftButton);
    });
    Prompt::enqueueFileNames({ pdf });
    clickAndStop(e, u"BtnPrint"_s);
    QVERIFY(!QFile::exists(pdf));
}

void TestManig::deleteAsksFirst()
{
    Editor e;
    auto* grid = e.get<QTableView>(u"DBGrid1"_s);
    Prompt::enqueueAnswer(QMessageBox::Cancel);
    e.click(u"BitBtn5"_s);
    QCOMPARE(Prompt::lastShown().text, u"确定要删除这条记录"_s);
    Prompt::enqueueAnswer(QMessageBox::Cancel);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(Prompt::lastShown().text, u"删除这条记录吗？"_s);
    QCOMPARE(e.count(u"select count(*) from baseshu"_s), u"3"_s);

    Prompt::enqueueAnswer(QMessageBox::Ok);
    e.click(u"BitBtn5"_s);
    Prompt::enqueueAnswer(QMessageBox::Ok);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(e.titles(), QStringList { u"丙"_s });
    QCOMPARE(e.count(u"select count(*) from baseshu"_s), u"1"_s);
}

void TestManig::showingAgainKeepsTheState()
{
    GuiFixture f;
    for (const char* title : { "甲", "乙", "丙" })
        f.addBook(QString::fromUtf8(title), u"还没读"_s);
    TFormtest main;
    TForm2* editor = nullptr;
    const auto showEditor = [&](const std::function<void(TForm2*)>& work) {
        QTimer::singleShot(0, [&] {
            editor = qobject_cast<TForm2*>(QApplication::activeModalWidget());
            if (editor) {
                work(editor);
                editor->reject();
            }
        });
        main.dxNavBar1Item12Click();
        QVERIFY(editor);
    };
    showEditor([](TForm2* form) {
        form->findChild<QLineEdit*>(u"Edit1"_s)->setText(u"乙"_s);
        form->Button2Click();
        form->master()->edit();
        form->master()->setText(u"zuozhe"_s, u"未存"_s);
    });
    TForm2* first = editor;
    showEditor([](TForm2* form) {
        QCOMPARE(form->master()->recordCount(), 1);
        QCOMPARE(form->findChild<QLineEdit*>(u"db_zuozhe"_s)->text(), u"未存"_s);
    });
    QCOMPARE(editor, first);
}

void TestManig::uploads_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("error");
    const QByteArray jpeg = picture(Qt::red, "JPG", 400, 600);
    QTest::newRow("JPEG, upper case") << u"c.JPG"_s << jpeg << u"jpg"_s << QString();
    QTest::newRow("JpEg") << u"c.JpEg"_s << jpeg << u"jpg"_s << QString();
    QTest::newRow("bmp") << u"c.bmp"_s << picture(Qt::red, "BMP") << u"bmp"_s << QString();
    QTest::newRow("png") << u"c.png"_s << picture(Qt::red, "PNG") << u"png"_s << QString();
    QTest::newRow("damaged jpeg") << u"c.jpg"_s << jpeg.left(100) + QByteArray(50, 'x') << QString() << QString();
    QTest::newRow("not a bmp") << u"c.bmp"_s << jpeg << QString() << u"Bitmap image is not valid"_s;
    QTest::newRow("metafile") << u"c.emf"_s << jpeg << QString() << u"Unknown picture file extension (.emf)"_s;
    QTest::newRow("not a jpeg") << u"c.jpg"_s << QByteArray("GIF89a") << QString() << u"JPEG error #"_s;
    QTest::newRow("cancelled") << QString() << QByteArray() << QString() << QString();
    QTest::newRow("huge progressive jpeg") << u"huge.jpg"_s << hugeProgressiveJpeg(20000, 20000) << QString()
                                           << u"图片太大：20000×20000 像素，最大 6400 万像素"_s;
    QTest::newRow("huge png") << u"huge.png"_s << hugePng(12000, 9000) << QString()
                              << u"图片太大：12000×9000 像素，最大 6400 万像素"_s;
}

void TestManig::uploads()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(QString, tag);
    QFETCH(QString, error);
    Editor e;
    // An earlier cover and illustration, which a failed or cancelled upload keeps.
    const QByteArray earlier = picture(Qt::blue);
    e.reshow(u"update baseshu set \"格式\"='jpg', \"格式3\"='jpg', facepic=x'%1', pic3=x'%1' where id=1"_s.arg(
        hex(earlier)));
    QVERIFY(e.shows(0) && e.shows(3));
    const quint64 decodes = Thumbnails::decodeCount();

    for (int slot : { 0, 3 }) {
        Prompt::takeShown();
        Prompt::enqueueFileNames(name.isEmpty() ? QStringList() : QStringList { e.file(name, contents) });
        e.click(slot == 0 ? u"Button1"_s : u"Button5"_s);
        const QList<Prompt::Shown> shown = Prompt::takeShown();
        const QString blob = slot == 0 ? u"facepic"_s : u"pic3"_s;
        const QString tagColumn = slot == 0 ? u"格式"_s : u"格式3"_s;
        const QString stored
            = e.column(u"select hex(%1) || ' ' || \"%2\" from baseshu where id=1"_s.arg(blob, tagColumn));
        if (tag.isEmpty()) {
            // Nothing loaded: the slot keeps its picture and tag, and an error says why.
            QCOMPARE(stored, QString::fromLatin1(earlier.toHex().toUpper()) + u" jpg"_s);
            QVERIFY(e.shows(slot));
            if (!error.isEmpty()) {
                QCOMPARE(shown.size(), 2);
                QVERIFY2(shown.last().text.startsWith(error), qPrintable(shown.last().text));
            }
            continue;
        }
        QCOMPARE(stored.section(u' ', 1), tag);
        const QByteArray bytes = QByteArray::fromHex(stored.section(u' ', 0, 0).toLatin1());
        if (tag == u"bmp"_s)
            QVERIFY(bytes.startsWith("BM"));
        else
            QCOMPARE(bytes, contents);
        QVERIFY(e.shows(slot));
        // The panel shows the upload, and so does the next refresh of the row.
        e.set()->next();
        e.set()->prior();
        e.settle();
        QVERIFY(e.shows(slot));
        QCOMPARE(e.form->panel(slot)->image()->pixmap().toImage().pixelColor(5, 5).red() > 200, true);
    }
    if (!tag.isEmpty()) {
        // The cover's shelf thumbnail was stored with it.
        ThumbnailCache cache(e.db().handle());
        QVERIFY(cache.load({ 1 }).contains(1));
        QCOMPARE(Thumbnails::decodeCount() - decodes, quint64(1));
    }
}

void TestManig::uploadWritesPendingTextFirst()
{
    Editor e(QStringList {});
    // On an empty list the upload starts and posts a new book, with the typed text.
    typeText(e.get(u"db_name"_s), u"新书"_s);
    Prompt::enqueueFileNames({});
    e.click(u"Button3"_s);
    QCOMPARE(e.count(u"select name from baseshu"_s), u"新书"_s);
    QCOMPARE(e.set()->state(), RecordSet::State::Browse);

    // A stored picture that cannot be decoded is reported; the slots after it stay empty.
    e.db().execute(
        u"update baseshu set \"格式1\"='jpg', pic1=x'00', \"格式\"='jpg', facepic=x'%1'"_s.arg(hex(picture(Qt::red))));
    Prompt::takeShown();
    e.set()->refresh();
    e.set()->append();
    e.set()->cancel();
    e.settle();
    QVERIFY(Prompt::lastShown().text.startsWith(u"JPEG error #"_s));
    QVERIFY(!e.shows(0) && !e.shows(1));
}

void TestManig::shownByTagCase()
{
    // "JPG" is the shelf's (any case) but not the editor's (exact); "png" is both's.
    Editor e;
    e.db().execute(u"update baseshu set \"格式\"='JPG', facepic=x'%1' where id=1"_s.arg(hex(picture(Qt::red))));
    e.reshow(u"update baseshu set \"格式\"='png', facepic=x'%1' where id=2"_s.arg(hex(picture(Qt::red, "PNG"))));
    QVERIFY(!e.shows(0));
    e.set()->next();
    e.settle();
    QVERIFY(e.shows(0));
    ShelfListing shelf(e.db(), tile());
    const ShelfContent listed = shelf.byStatus(u"还没读"_s);
    QVERIFY(listed.messages.isEmpty());
    for (int book : { 0, 1 })
        QVERIFY(near(listed.items.at(book).thumbnail.pixelColor(50, 60), Qt::red));
}

void TestManig::quickMovesShowOnlyTheLastRow()
{
    Editor e;
    e.db().execute(u"update baseshu set \"格式2\"='jpg', pic2=x'%1'"_s.arg(hex(picture(Qt::blue))));
    e.db().execute(u"update baseshu set pic2=x'%1' where id=3"_s.arg(hex(picture(Qt::red))));
    e.set()->refresh();
    QSignalSpy shown(e.form.get(), &TForm2::picturesShown);
    e.set()->next();
    e.set()->next();
    QVERIFY(!e.shows(2));
    QVERIFY(!e.form->pictureLoader()->isBusy()); // nothing read or decoded while the moves go on
    QTRY_COMPARE(shown.count(), 1);
    QCOMPARE(e.form->panel(2)->image()->pixmap().toImage().pixelColor(5, 5).red() > 200, true);
}

void TestManig::tabFollowsTheForm()
{
    Editor e;
    e.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(e.form.get()));
    const QStringList order { u"db_name"_s, u"db_zuozhe"_s, u"db_publish"_s, u"db_isbn"_s, u"db_yuzhong"_s,
        u"db_place"_s, u"db_isread"_s, u"db_boxbz"_s, u"CBleib"_s, u"db_目录"_s, u"db_contentjj"_s,
        u"db_readbiji"_s, u"db_isgo"_s, u"db_gocause"_s, u"db_isjie"_s, u"db_jieshumen"_s };
    // The field that has the focus (an editable list's own line edit stands for the list).
    const auto focused = [] {
        QWidget* widget = QApplication::focusWidget();
        while (widget && !widget->objectName().startsWith(u"db_"_s) && widget->objectName() != u"CBleib"_s)
            widget = widget->parentWidget();
        return widget ? widget->objectName() : QString();
    };
    e.get(u"db_name"_s)->setFocus();
    QStringList reached { focused() };
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached << focused();
    }
    QCOMPARE(reached, order);
    for (int i = 0; i < 7; ++i) // back from 借书人 to 类别
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(focused(), u"CBleib"_s);
}

void TestManig::wholeEditorOnALaptopScreen()
{
    Editor e;
    // Maximised on a 1366 × 768 screen: a desktop's panel and the title bar take some 70 pixels.
    e.form->setWindowState(Qt::WindowNoState);
    e.form->resize(1366, 698);
    QApplication::processEvents();
    auto* scroll = e.get<QScrollArea>(u"scroll"_s);
    QCOMPARE(scroll->verticalScrollBar()->maximum(), 0);
    QCOMPARE(scroll->horizontalScrollBar()->maximum(), 0);
    const QRect visible = scroll->viewport()->rect();
    for (const QString& name : { u"BitBtn1"_s, u"BitBtn2"_s, u"Edit1"_s, u"BtnLend"_s, u"Button7"_s, u"Image12"_s }) {
        QWidget* widget = e.get(name);
        const QRect at(widget->mapTo(scroll->viewport(), QPoint()), widget->size());
        QVERIFY2(visible.contains(at), qPrintable(name));
    }
    auto* grid = e.get<QTableView>(u"DBGrid1"_s);
    const QRect gridAt(grid->mapTo(scroll->viewport(), QPoint()), grid->size());
    QVERIFY(visible.contains(gridAt));
    QVERIFY2(grid->height() >= 8 * 22 + grid->horizontalHeader()->height(), "eight rows of books at least");
}

void TestManig::gridShowsNamesAndWholeTitles()
{
    const QString longTitle = u"中华人民共和国简史（一九四九——二〇一九）修订版"_s;
    Editor e({ u"甲"_s, longTitle });
    e.db().execute(u"update baseshu set leibie = 2 where name = '甲'"_s);
    e.db().execute(u"update baseshu set leibie = 9 where name <> '甲'"_s); // a category since deleted
    e.set()->refresh();
    auto* grid = e.get<QTableView>(u"DBGrid1"_s);
    QAbstractItemModel* model = grid->model();
    QStringList headers;
    for (int column = 0; column < model->columnCount(); ++column)
        headers << model->headerData(column, Qt::Horizontal).toString();
    QCOMPARE(headers.at(3), u"ISBN"_s);
    QCOMPARE(headers.at(4), u"类别"_s);
    // The category column by name; a number no category has any more stays a number.
    const auto shown = [&](int row, int column) {
        const QModelIndex index = model->index(row, column);
        auto* delegate = qobject_cast<QStyledItemDelegate*>(grid->itemDelegateForIndex(index));
        return delegate ? delegate->displayText(index.data(), QLocale()) : QString();
    };
    const int first = e.set()->textAt(0, e.set()->fieldIndex(u"name"_s)) == u"甲"_s ? 0 : 1;
    QCOMPARE(shown(first, 4), u"Tom's"_s);
    QCOMPARE(shown(1 - first, 4), u"9"_s);
    // Categories renamed meanwhile: the next showing reads the new names.
    e.db().execute(u"update tblei set leib = '外国小说' where id = 2"_s);
    e.form->hide();
    e.form->show();
    QCOMPARE(shown(first, 4), u"外国小说"_s);
    // The title column holds the longest title whole: the cell's text room (its width
    // less the focus frame's margins and the grid line) is not a fraction short of it.
    const int margins = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1) + 1;
    QVERIFY(
        grid->horizontalHeader()->sectionSize(0) - margins >= QFontMetricsF(grid->font()).horizontalAdvance(longTitle));
}

void TestManig::closingWithAnUnsavedNewBookAsks()
{
    Editor e;
    // An untouched new book: closed without a question, nothing written.
    e.click(u"BitBtn1"_s);
    Prompt::takeShown();
    e.form->reject();
    QVERIFY(!e.form->isVisible());
    QVERIFY(Prompt::takeShown().isEmpty());
    QCOMPARE(e.column(u"select count(*) from baseshu"_s), u"3"_s);
    e.form->show();
    e.click(u"BitBtn4"_s);

    // A typed one asks: 取消 keeps the window and the book.
    e.form->show();
    e.click(u"BitBtn1"_s);
    typeText(e.get(u"db_name"_s), u"新书"_s);
    Prompt::enqueueAnswer(QMessageBox::Cancel);
    QTest::keyClick(e.form.get(), Qt::Key_Escape);
    QVERIFY(Prompt::lastShown().text.contains(u"还没有保存"_s));
    QVERIFY(e.form->isVisible());
    QCOMPARE(e.set()->state(), RecordSet::State::Insert);
    QCOMPARE(e.get<QLineEdit>(u"db_name"_s)->text(), u"新书"_s);

    // 保存 without a category: refused, and the window stays with the book.
    e.get<QComboBox>(u"CBleib"_s)->setEditText(QString());
    Prompt::enqueueAnswer(QMessageBox::Save);
    e.form->close();
    QCOMPARE(Prompt::lastShown().text, u"无此类别,保存失败"_s);
    QVERIFY(e.form->isVisible());
    QCOMPARE(e.set()->state(), RecordSet::State::Insert);

    // 保存 with one: written, and the window closes.
    e.get<QComboBox>(u"CBleib"_s)->setEditText(u"小说"_s);
    Prompt::enqueueAnswer(QMessageBox::Save);
    e.form->close();
    QVERIFY(!e.form->isVisible());
    QCOMPARE(e.column(u"select count(*) from baseshu where name = '新书'"_s), u"1"_s);

    // 不保存: dropped.
    e.form->show();
    e.click(u"BitBtn1"_s);
    typeText(e.get(u"db_name"_s), u"又一本"_s);
    Prompt::enqueueAnswer(QMessageBox::Discard);
    e.form->close();
    QVERIFY(!e.form->isVisible());
    QCOMPARE(e.column(u"select count(*) from baseshu where name = '又一本'"_s), u"0"_s);
}

void TestManig::printStartsOnAllBooksAndRemembers()
{
    Editor e;
    typeText(e.get(u"Edit1"_s), u"甲"_s);
    e.click(u"Button2"_s); // the search shows one book of three
    QCOMPARE(e.set()->recordCount(), 1);
    const auto choose = [&](const std::function<void(QDialog*)>& script) {
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            auto closer = qScopeGuard([dialog] {
                if (dialog && dialog->isVisible())
                    dialog->reject();
            });
            QVERIFY(dialog && dialog->objectName() == u"TfmPrint"_s);
            seen = true;
            script(dialog);
        });
        Prompt::enqueueFileNames({}); // the file dialog cancelled
        e.click(u"BtnPrint"_s);
        QVERIFY(seen);
    };
    choose([](QDialog* dialog) {
        QVERIFY(dialog->findChild<QRadioButton*>(u"RbAll"_s)->isChecked());
        QVERIFY(dialog->findChild<QRadioButton*>(u"RbByCategory"_s)->isChecked());
        dialog->findChild<QRadioButton*>(u"RbShown"_s)->setChecked(true);
        dialog->findChild<QRadioButton*>(u"RbByPlace"_s)->setChecked(true);
        dialog->findChild<QCheckBox*>(u"CbCovers"_s)->setChecked(true);
        QTest::mouseClick(dialog->findChild<QPushButton*>(u"BtnOK"_s), Qt::LeftButton);
    });
    // The next print starts from the same grouping and covers, and on all books again.
    choose([](QDialog* dialog) {
        QVERIFY(dialog->findChild<QRadioButton*>(u"RbAll"_s)->isChecked());
        QVERIFY(dialog->findChild<QRadioButton*>(u"RbByPlace"_s)->isChecked());
        QVERIFY(dialog->findChild<QCheckBox*>(u"CbCovers"_s)->isChecked());
        dialog->reject();
    });
    // Kept in the library file, so another run of the program has them too.
    QVERIFY(e.column(u"select value from qh_settings"_s).contains(u"place"_s));
}

QTEST_MAIN(TestManig)
#include "test_manig.moc"
