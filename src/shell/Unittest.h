#pragma once

#include "widgets/MainRefresh.h"

#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>

#include <functional>

class AppLock;
class AutoBackupRunner;
class EbookPage;
class LoansPage;
class StatsPage;
class FindPanel;
class FullTextLibrary;
class NavBar;
class NavGroup;
class NavItem;
class QLabel;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTimer;
class QWidget;
class RecordSet;
class ShelfListing;
struct ShelfContent;
class ShelfView;
class TForm2;
class ThreadTask;
class BackgroundTask;

// The application's one main window: the navigation pane on the left, the
// paper-book shelf and the e-book pages on the right.
class TFormtest : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormtest(QWidget* parent = nullptr);
    ~TFormtest() override;

    // Handlers, public so the program and its tests can run them as the user would.
    void FormShow();
    void FormPaint();
    void dxNavBar1Item1Click();
    void dxNavBar1Item2Click();
    void dxNavBar1Item3Click();
    void itemsclick(const QString& category);
    void dxNavBar1Item7Click();
    void dxNavBar1Item8Click();
    void dxNavBar1Item12Click();
    void dxNavBar1Item13Click();
    void dxNavBar1Item6Click();
    void dxNavBar1Item9Click(); // 备份数据
    void dxNavBar1Item10Click(); // 恢复数据
    void dxNavBar1Item14Click(); // 借阅
    void dxNavBar1Item16Click(); // 批量添加
    void dxNavBar1Item15Click(); // 统计
    void dxNavBar1Item17Click(); // 回收站
    void dxNavBar1Item18Click(); // 设置
    void showOverdue(); // "有 N 本书逾期未还" in the status bar, or nothing
    // A book was lent or returned somewhere: the overdue note, the 借阅 lists and
    // the shelf's marks follow at once.
    void followLoans();
    void Group5Click();
    void ListView1Click();
    void BitBtn3Click();
    void Timer2Timer();
    void Image5Click();

    void bringPaperPageToFront();
    // At the first show: files of the bin where their rows are, items past their days removed.
    void tidyBin();
    QString statusText(int panel) const;
    // Whether a shelf listing is still being read (it is shown when it ends).
    bool isListing() const;
    // Whether a backup is being written or a backup being checked (on a thread).
    bool isBackingUp() const;
    EbookPage* ebookPage() const { return TabSheet2; }
    LoansPage* loansPage() const { return TabSheetLoans; }
    StatsPage* statsPage() const { return TabSheetStats; }
    FindPanel* findPanel() const { return m_find; }
    FullTextLibrary* fullText() const { return m_fullText; }
    AutoBackupRunner* autoBackup() const { return m_autoBackup; }
    AppLock* appLock() const { return m_lock; }
    // The account logged in: the lock asks for its password.
    void setAccount(const QString& user);

    // The address both banners open.
    static QString bannerUrl();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void buildNavigation();
    void orderTabs(); // the search box, the navigation pane, then the page shown
    void buildCategoryLinks();
    void countBooks();
    void listByStatus(const QString& status);
    void runListing(std::function<ShelfContent(ShelfListing&)> list);
    void showListing(const ShelfContent& result);
    void notYetAvailable(const QString& what);
    void buildFind();
    void openFoundPaperBook(qint64 id);
    void openFoundEbook(qint64 id, int page, const QString& find);
    RecordSet* ebookList() const; // the e-book list query, closed and reopened by compaction
    // The automatic backup (once, after the window first shows) and the lock.
    void buildGuards();
    void startAutoBackup();
    // True, after telling the user to wait, while the automatic backup runs.
    bool waitForAutoBackup();

    // Layout
    QLabel* Image1 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Image3 = nullptr;
    QLabel* Image4 = nullptr;
    QLabel* Image5 = nullptr;
    QLabel* Image6 = nullptr;
    QWidget* Panel3 = nullptr;
    NavBar* dxNavBar1 = nullptr;
    NavGroup* Group2 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    EbookPage* TabSheet2 = nullptr; // the e-book pages, their list and the viewer
    ShelfView* ListView1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* statusPanels[2] = {nullptr, nullptr};
    QLabel* StatusBar1Overdue = nullptr; // shown only while loans are overdue; a click opens 借阅
    LoansPage* TabSheetLoans = nullptr; // made at first use
    StatsPage* TabSheetStats = nullptr;
    QTimer* Timer2 = nullptr;
    QList<QImage> shelfCovers; // the shelf's covers before their loan marks, in item order

    // State
    QPixmap shug;
    bool bannerShown = false;
    QPointer<BackgroundTask> m_backup; // a backup being written or checked, or a compaction
    QPointer<ThreadTask> m_listing; // the shelf listing being read; a newer one replaces it

    TForm2* Form2 = nullptr; // the catalogue editor, made at first use and kept

    // The search box over every book, and the text inside the e-books it searches.
    FullTextLibrary* m_fullText = nullptr;
    bool m_binTidied = false; // the bin's files put in order and its old items removed, once a run
    FindPanel* m_find = nullptr;

    AutoBackupRunner* m_autoBackup = nullptr;
    QLabel* StatusBar1Backup = nullptr; // how the automatic backup went
    bool m_autoBackupTried = false;
    AppLock* m_lock = nullptr;

    // Queries
    RecordSet* Query1;
    RecordSet* countqy;
};
