#include "shell/Unittest.h"

#include "catalogue/TfmBatch.h"
#include "catalogue/manig.h"
#include "catalogue/Uusermag.h"
#include "catalogue/ufenlei.h"
#include "ebooks/EbookPage.h"
#include "ebooks/PdfViewer.h"
#include "search/FullTextLibrary.h"
#include "backup/BackupDialogs.h"
#include "widgets/ErrorHandler.h"
#include "widgets/NavBar.h"
#include "widgets/TaskProgress.h"
#include "tasks/BackgroundTask.h"
#include "widgets/Prompt.h"
#include "catalogue/LoanNews.h"
#include "catalogue/Loans.h"
#include "shell/FindPanel.h"
#include "shell/LoanMarks.h"
#include "shell/ShelfListing.h"
#include "shell/ShelfView.h"
#include "widgets/Titles.h"
#include "data/udata.h"
#include "platform/DataFolder.h"
#include "shell/uread.h"

#include <QApplication>
#include <memory>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

#ifndef QINGHE_BANNER_URL
#define QINGHE_BANNER_URL "https://www.gutenberg.org/"
#endif

TFormtest::TFormtest(QWidget* parent)
    : QMainWindow(parent)
    , Query1(new RecordSet(TDataModule2::instance()->Adocon, this))
    , countqy(new RecordSet(TDataModule2::instance()->Adocon, this))
{
    setObjectName(QStringLiteral("TFormtest"));
    setWindowTitle(Titles::mainWindow());
    setWindowIcon(QIcon(QStringLiteral(":/pictures/qinghe-256.png")));
    Query1->setObjectName(QStringLiteral("Query1"));
    countqy->setObjectName(QStringLiteral("countqy"));

    // FormCreate: the background tile of the shelf, also the cover of books without one.
    shug = QPixmap(QStringLiteral(":/pictures/shug.png"));
    buildLayout();
    buildGuards();

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(10000);
    connect(Timer2, &QTimer::timeout, this, [this] { ErrorHandler::guard([this] { Timer2Timer(); }); });
    Timer2->start();

    connect(&LoanNews::instance(), &LoanNews::changed, this, ErrorHandler::guarded([this] { followLoans(); }));
}

TFormtest::~TFormtest() = default;

QString TFormtest::bannerUrl()
{
    const QString configured = qEnvironmentVariable("QINGHE_BANNER_URL");
    return configured.isEmpty() ? QStringLiteral(QINGHE_BANNER_URL) : configured;
}

bool TFormtest::event(QEvent* event)
{
    if (event->type() == MainRefreshEvent) {
        ErrorHandler::guard([this] { FormShow(); });
        return true;
    }
    return QMainWindow::event(event);
}

void TFormtest::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) {
        ErrorHandler::guard([this] { FormShow(); });
        QTimer::singleShot(0, this, [this] { startAutoBackup(); });
    }
}

void TFormtest::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormPaint();
}

void TFormtest::FormPaint()
{
    // Equal stretch shares the bar; the cap keeps each panel at half the window.
    for (QLabel* panel : statusPanels)
        panel->setMaximumWidth(width() / 2);
}

QString TFormtest::statusText(int panel) const
{
    return statusPanels[panel]->text();
}

void TFormtest::FormShow()
{
    buildCategoryLinks();
    countBooks();

    PageControl1->tabBar()->hide();
    PageControl1->setCurrentWidget(TabSheet1);

    for (const char* folder : {"corvina", "temp"}) {
        DataFolder::makeFolder(AppPaths::path(QString::fromLatin1(folder))); // the user's alone (0700)
    }

    tidyBin(); // before the store's files that no row names are offered back
    TabSheet2->FormShow(); // viewer reset, e-book list opened
    showOverdue();
    m_fullText->refresh(); // e-books without their text yet get it in the background
}

void TFormtest::buildCategoryLinks()
{
    // The category links, one per row of the category table.
    Query1->setSql(QStringLiteral("select * from tblei"));
    Query1->open();
    Group2->clearItems();
    int n = QRandomGenerator::global()->bounded(2000000);
    for (Query1->first(); !Query1->eof(); Query1->next()) {
        const QString caption = Query1->asText(QStringLiteral("leib"));
        NavItem* item = Group2->addItem(QStringLiteral("item%1").arg(n++), caption);
        connect(item, &NavItem::clicked, this, [this, item] {
            const QString category = item->text();
            m_find->closeList();
            ErrorHandler::guard([this, category] { itemsclick(category); });
        });
    }
    Group2->setExpanded(false);
    orderTabs(); // the new links in their place in the pane
}

void TFormtest::countBooks()
{
    countqy->setSql(QStringLiteral("select count(*) from baseshu"));
    countqy->open();
    FormPaint();
    statusPanels[0]->setText(QStringLiteral("        <青禾书屋>     图书总数：  ") + countqy->firstColumnText());
}

void TFormtest::bringPaperPageToFront()
{
    PageControl1->setCurrentWidget(TabSheet1);
}

void TFormtest::dxNavBar1Item1Click()
{
    listByStatus(QStringLiteral("还没读"));
}

void TFormtest::dxNavBar1Item2Click()
{
    listByStatus(QStringLiteral("正在读"));
}

void TFormtest::dxNavBar1Item3Click()
{
    listByStatus(QStringLiteral("已读完"));
}

bool TFormtest::isListing() const
{
    return !m_listing.isNull();
}

void TFormtest::listByStatus(const QString& status)
{
    runListing([status](ShelfListing& listing) { return listing.byStatus(status); });
}

void TFormtest::itemsclick(const QString& category)
{
    runListing([category](ShelfListing& listing) { return listing.byCategory(category); });
}

void TFormtest::runListing(std::function<ShelfContent(ShelfListing&)> list)
{
    // The rows and covers are read on a thread, on a connection of the listing's own;
    // the newest listing wins, one still running is dropped. 取消 leaves the shelf empty.
    if (ThreadTask* older = m_listing) {
        m_listing = nullptr;
        older->cancel();
        older->setAutoDelete(true);
        if (older->isFinished())
            older->deleteLater();
    }
    bringPaperPageToFront();
    ListView1->clearShelf();
    shelfCovers.clear();
    auto content = std::make_shared<ShelfContent>();
    auto* task = new ThreadTask(
        [content, list = std::move(list), source = TDataModule2::instance()->Adocon.connectionString(),
            tile = shug.toImage()](TaskControl& control) {
            Connection connection(source);
            ShelfListing shelf(connection, tile);
            shelf.setCancelFlag(control.cancelFlag());
            shelf.setProgress([&control](int done, int total) { control.step(done, total); });
            *content = list(shelf);
        },
        this);
    task->setObjectName(QStringLiteral("ShelfListing"));
    m_listing = task;
    QPointer<TaskProgress> progress = new TaskProgress(task, this, Titles::application());
    progress->setLabel([](qint64, qint64, const QString&) { return QStringLiteral("正在载入封面……"); });
    connect(task, &BackgroundTask::finished, this, [this, task, content, progress] {
        if (task != m_listing)
            return; // replaced by a newer listing
        m_listing = nullptr;
        task->deleteLater();
        // The progress box is gone before a message about a damaged cover asks for an answer.
        delete progress.data();
        if (task->state() == BackgroundTask::State::Failed)
            ErrorHandler::guard([task] { task->rethrow(); });
        if (task->state() != BackgroundTask::State::Succeeded)
            return; // 取消: the shelf stays empty, never half filled
        ErrorHandler::guard([this, content] {
            for (const ShelfItem& item : content->items)
                shelfCovers.append(item.thumbnail);
            LoanMarks::apply(
                TDataModule2::instance()->Adocon, content->items, TDataModule2::instance()->clock.today());
            showListing(*content);
        });
    });
    task->start();
}

void TFormtest::showListing(const ShelfContent& result)
{
    for (const ShelfItem& entry : result.items)
        ListView1->addBook(entry.caption, entry.id, entry.thumbnail);
    for (const QString& message : result.messages)
        Prompt::message(this, QMessageBox::Warning, Titles::application(), message);
    if (result.statusText)
        statusPanels[1]->setText(*result.statusText);
}

void TFormtest::ListView1Click()
{
    QListWidgetItem* item = ListView1->currentItem();
    if (!item || !item->isSelected())
        return;
    Tfmread dialog(this);
    dialog.openBook(ShelfView::bookId(item));
    dialog.exec();
}

void TFormtest::notYetAvailable(const QString& what)
{
    Prompt::information(this, Titles::hint(), QStringLiteral("「%1」将在后续版本中提供。").arg(what));
}

void TFormtest::dxNavBar1Item12Click()
{
    bringPaperPageToFront();
    if (!Form2)
        Form2 = new TForm2(this);
    Form2->exec();
    // Books added, deleted or imported, categories made by an import: the total and the
    // links follow. The shelf shown, the book being read and the open groups stay as they are.
    const bool categoriesOpen = Group2->isExpanded();
    buildCategoryLinks();
    Group2->setExpanded(categoriesOpen);
    countBooks();
    followLoans(); // a borrower typed into a book's own fields lends it too
}

void TFormtest::dxNavBar1Item16Click()
{
    bringPaperPageToFront();
    TfmBatch batch(this);
    batch.exec();
    if (batch.addedCount() == 0)
        return;
    const bool categoriesOpen = Group2->isExpanded();
    buildCategoryLinks();
    Group2->setExpanded(categoriesOpen);
    countBooks();
}

void TFormtest::dxNavBar1Item13Click()
{
    bringPaperPageToFront();
    TFmfenlei manager(this);
    manager.exec();
}

void TFormtest::dxNavBar1Item6Click()
{
    Tfmuser account(this);
    account.exec();
}

bool TFormtest::isBackingUp() const
{
    return !m_backup.isNull();
}

void TFormtest::dxNavBar1Item9Click()
{
    if (TabSheet2->waitForImport() || isBackingUp() || waitForAutoBackup())
        return;
    m_backup = BackupDialogs::backup(this, TDataModule2::instance()->Adocon);
}

void TFormtest::dxNavBar1Item10Click()
{
    if (TabSheet2->waitForImport() || isBackingUp() || waitForAutoBackup())
        return;
    Connection& connection = TDataModule2::instance()->Adocon;
    m_backup = BackupDialogs::restore(this, connection, [this, &connection] {
        // Every window shows the restored library; nothing from before stays on screen.
        BackupDialogs::rereadRecordSets(connection, Form2);
        if (Form2)
            Form2->reread();
        TabSheet2->clearReading();
        m_fullText->clear(); // the texts kept are those of the library before
        ListView1->clearShelf();
        shelfCovers.clear();
        statusPanels[1]->clear();
        FormShow(); // category links and book total
    });
}

RecordSet* TFormtest::ebookList() const
{
    return &TabSheet2->list();
}

void TFormtest::Group5Click()
{
    if (TabSheet2->waitForImport() || isBackingUp() || waitForAutoBackup())
        return;
    if (Prompt::message(this, QMessageBox::Information, Titles::product(), QStringLiteral("要压缩数据库?"),
            QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return;
    ebookList()->close();
    // On a thread, the window painting all along; the list opens again when it ends.
    m_backup = BackupDialogs::compact(this, TDataModule2::instance()->Adocon, [this] { ebookList()->open(); });
}

void TFormtest::dxNavBar1Item7Click()
{
    TabSheet2->dxNavBar1Item7Click();
}

void TFormtest::dxNavBar1Item8Click()
{
    TabSheet2->dxNavBar1Item8Click();
}

void TFormtest::BitBtn3Click()
{
    TabSheet2->BitBtn3Click();
}

void TFormtest::Timer2Timer()
{
    QLabel* shown = bannerShown ? Image6 : Image5;
    QLabel* hidden = bannerShown ? Image5 : Image6;
    hidden->hide();
    shown->show();
    bannerShown = !bannerShown;
}

void TFormtest::Image5Click()
{
    QDesktopServices::openUrl(QUrl(bannerUrl())); // a browser that fails to start is not worth a message
}

bool TFormtest::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == Image5 || watched == Image6) && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Image5Click();
        return true;
    }
    if (watched == StatusBar1Overdue && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ErrorHandler::guard([this] { dxNavBar1Item14Click(); });
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
