// The main window's pages of loans and statistics, and the overdue note in its status bar.

#include "shell/Unittest.h"

#include "catalogue/Loans.h"
#include "catalogue/LoansPage.h"
#include "catalogue/manig.h"
#include "ebooks/EbookPage.h"
#include "ebooks/RecycleBin.h"
#include "ebooks/utrash.h"
#include "data/udata.h"
#include "shell/LoanMarks.h"
#include "shell/ShelfListing.h"
#include "shell/ShelfView.h"
#include "stats/StatsPage.h"

#include <QLabel>
#include <QTabWidget>

void TFormtest::dxNavBar1Item14Click()
{
    if (!TabSheetLoans) {
        TabSheetLoans = new LoansPage(TDataModule2::instance()->Adocon, TDataModule2::instance()->clock, PageControl1);
        PageControl1->addTab(TabSheetLoans, QStringLiteral("借阅"));
        // Its 归还 is announced to every screen by the lending dialog's news (followLoans).
    }
    TabSheetLoans->refresh();
    PageControl1->setCurrentWidget(TabSheetLoans);
}

void TFormtest::dxNavBar1Item15Click()
{
    if (!TabSheetStats) {
        TabSheetStats = new StatsPage(TDataModule2::instance()->Adocon, TDataModule2::instance()->clock, PageControl1);
        PageControl1->addTab(TabSheetStats, QStringLiteral("统计"));
    }
    TabSheetStats->refresh();
    PageControl1->setCurrentWidget(TabSheetStats);
}

void TFormtest::dxNavBar1Item17Click()
{
    if (TabSheet2->waitForImport())
        return;
    Tfmtrash bin(TDataModule2::instance()->Adocon, TabSheet2->store(), this);
    bin.exec();
    if (!bin.changedLibrary())
        return;
    // Books came back: every list shows them.
    if (Form2)
        Form2->reread();
    TabSheet2->list().refresh();
    FormShow();
}

void TFormtest::tidyBin()
{
    if (m_binTidied)
        return;
    m_binTidied = true;
    Connection& connection = TDataModule2::instance()->Adocon;
    RecycleBin::tidy(connection, TabSheet2->store());
    RecycleBin::expire(connection, TabSheet2->store(), TDataModule2::instance()->clock.today());
}

void TFormtest::showOverdue()
{
    const int late = Loans::overdueCount(TDataModule2::instance()->Adocon, TDataModule2::instance()->clock.today());
    StatusBar1Overdue->setText(QStringLiteral("有 %1 本书逾期未还").arg(late));
    StatusBar1Overdue->setVisible(late > 0);
}

void TFormtest::followLoans()
{
    showOverdue();
    if (TabSheetLoans)
        TabSheetLoans->refresh();
    // The shelf keeps its books and their order; only the marks are drawn again.
    QList<ShelfItem> items;
    for (int row = 0; row < ListView1->count() && row < shelfCovers.size(); ++row)
        items.append({ {}, ShelfView::bookId(ListView1->item(row)), shelfCovers.at(row) });
    LoanMarks::apply(TDataModule2::instance()->Adocon, items, TDataModule2::instance()->clock.today());
    for (int row = 0; row < items.size(); ++row)
        ListView1->setThumbnail(row, items.at(row).thumbnail);
}
