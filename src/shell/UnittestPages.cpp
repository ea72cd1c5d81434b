// The main window's pages of loans and statistics, and the overdue note in its status bar.

#include "shell/Unittest.h"

#include "catalogue/Loans.h"
#include "catalogue/LoansPage.h"
#include "data/udata.h"
#include "stats/StatsPage.h"

#include <QLabel>
#include <QTabWidget>

void TFormtest::dxNavBar1Item14Click()
{
    if (!TabSheetLoans) {
        TabSheetLoans = new LoansPage(TDataModule2::instance()->Adocon, TDataModule2::instance()->clock, PageControl1);
        PageControl1->addTab(TabSheetLoans, QStringLiteral("借阅"));
        connect(TabSheetLoans, &LoansPage::loansChanged, this, &TFormtest::showOverdue);
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

void TFormtest::showOverdue()
{
    const int late = Loans::overdueCount(TDataModule2::instance()->Adocon, TDataModule2::instance()->clock.today());
    StatusBar1Overdue->setText(QStringLiteral("有 %1 本书逾期未还").arg(late));
    StatusBar1Overdue->setVisible(late > 0);
}
