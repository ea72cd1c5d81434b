#include "catalogue/LoansPage.h"

#include "data/Clock.h"
#include "catalogue/CataloguePrint.h"
#include "catalogue/Loans.h"
#include "catalogue/ulend.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QDir>
#include <QFileInfo>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QTableWidget* table(const QString& name, const QStringList& titles, QWidget* parent)
{
    auto* grid = new QTableWidget(0, int(titles.size()), parent);
    grid->setObjectName(name);
    grid->setHorizontalHeaderLabels(titles);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int i = 1; i < titles.size(); ++i)
        grid->horizontalHeader()->setSectionResizeMode(i, QHeaderView::ResizeToContents);
    return grid;
}

QString day(const QDate& date)
{
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

void put(QTableWidget* grid, int row, const QStringList& cells, const QColor& colour = {})
{
    for (int column = 0; column < cells.size(); ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        if (colour.isValid())
            item->setForeground(colour);
        grid->setItem(row, column, item);
    }
}

} // namespace

LoansPage::LoansPage(Connection& connection, const Clock& clock, QWidget* parent)
    : QWidget(parent)
    , connection(connection)
    , clock(clock)
    , TabLoans(new QTabWidget(this))
    , TblCurrent(table(u"TblCurrent"_s, { u"书名"_s, u"借书人"_s, u"借出日期"_s, u"归还期限"_s, u"借出天数"_s, u"状态"_s, {} }, this))
    , TblHistory(table(u"TblHistory"_s, { u"书名"_s, u"借书人"_s, u"借出日期"_s, u"归还期限"_s, u"归还日期"_s }, this))
    , EdLoanSearch(new QLineEdit(this))
    , BtnLoanPrint(new QPushButton(u"打印借阅单"_s, this))
{
    setObjectName(u"LoansPage"_s);
    TabLoans->setObjectName(u"TabLoans"_s);
    EdLoanSearch->setObjectName(u"EdLoanSearch"_s);
    EdLoanSearch->setPlaceholderText(u"按借书人或书名查找"_s);
    EdLoanSearch->setClearButtonEnabled(true);
    BtnLoanPrint->setObjectName(u"BtnLoanPrint"_s);

    auto* current = new QWidget(TabLoans);
    auto* currentLayout = new QVBoxLayout(current);
    currentLayout->addWidget(new QLabel(u"借出未还的书（逾期的在前，标红）"_s, current));
    currentLayout->addWidget(TblCurrent, 1);
    TabLoans->addTab(current, u"借出中"_s);

    auto* history = new QWidget(TabLoans);
    auto* historyLayout = new QVBoxLayout(history);
    historyLayout->addWidget(EdLoanSearch);
    historyLayout->addWidget(TblHistory, 1);
    TabLoans->addTab(history, u"借阅历史"_s);

    auto* top = new QHBoxLayout;
    auto* title = new QLabel(u"借阅"_s, this);
    QFont big = title->font();
    big.setPixelSize(18);
    big.setBold(true);
    title->setFont(big);
    top->addWidget(title, 1);
    top->addWidget(BtnLoanPrint); // prints the tab that is shown
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(top);
    layout->addWidget(TabLoans, 1);

    connect(EdLoanSearch, &QLineEdit::textChanged, this, ErrorHandler::guarded([this] { EdLoanSearchChange(); }));
    connect(BtnLoanPrint, &QPushButton::clicked, this, ErrorHandler::guarded([this] { BtnLoanPrintClick(); }));
}

void LoansPage::refresh()
{
    const QDate today = clock.today();
    const QList<Loan> out = Loans::current(connection, today);
    TblCurrent->setRowCount(0);
    TblCurrent->setRowCount(int(out.size()));
    currentLoans = out;
    const int buttonColumn = TblCurrent->columnCount() - 1;
    for (int row = 0; row < out.size(); ++row) {
        const Loan& loan = out[row];
        const int days = loan.daysOut(today);
        const int late = loan.daysOverdue(today);
        put(TblCurrent, row,
            { loan.title, loan.borrower, day(loan.lent), day(loan.due), days < 0 ? QString() : QString::number(days),
                late > 0 ? u"已逾期 %1 天"_s.arg(late) : u"借出中"_s },
            late > 0 ? QColor(Qt::red) : QColor());
        auto* back = new QPushButton(u"归还"_s, TblCurrent);
        back->setObjectName(u"BtnLoanReturn%1"_s.arg(row));
        connect(back, &QPushButton::clicked, this, ErrorHandler::guarded([this, row] { giveBack(row); }));
        TblCurrent->setCellWidget(row, buttonColumn, back);
    }
    fillHistory();
}

void LoansPage::giveBack(int row)
{
    if (row < 0 || row >= currentLoans.size())
        return;
    if (TfmLend::returnLoan(this, connection, currentLoans[row])) {
        refresh();
        emit loansChanged();
    }
}

void LoansPage::EdLoanSearchChange()
{
    fillHistory();
}

void LoansPage::fillHistory()
{
    const QList<Loan> all = Loans::history(connection, EdLoanSearch->text());
    TblHistory->setRowCount(0);
    TblHistory->setRowCount(int(all.size()));
    for (int row = 0; row < all.size(); ++row) {
        const Loan& loan = all[row];
        put(TblHistory, row,
            { loan.title, loan.borrower, day(loan.lent), day(loan.due),
                loan.isOpen() ? (loan.bookDeleted ? u"未还（书已删除）"_s : u"未还"_s) : day(loan.returned) });
    }
}

void LoansPage::BtnLoanPrintClick()
{
    const bool history = TabLoans->currentIndex() == 1;
    const QList<Loan> loans = history ? Loans::history(connection, EdLoanSearch->text()) : Loans::current(connection, clock.today());
    const QString suggested = QDir::home().filePath(
        u"%1-%2.pdf"_s.arg(history ? u"借阅历史"_s : u"借阅单"_s, clock.today().toString(u"yyyyMMdd"_s)));
    QString path = Prompt::getSaveFileName(this, u"打印借阅单"_s, suggested, u"PDF 文件 (*.pdf)"_s);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += u".pdf"_s;
    PrintOptions options;
    options.date = clock.today();
    const int pages = CataloguePrint::loans(path, loans, options);
    Prompt::information(this, Titles::hint(), u"借阅单已保存（%1 页）：\n%2"_s.arg(pages).arg(QDir::toNativeSeparators(path)));
}
