#pragma once

#include "catalogue/Loans.h"

#include <QWidget>

class Clock;
class Connection;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;

// The page "借阅": the books out now (overdue ones first, in red), each with its
// "归还", and every loan there ever was, searchable by borrower or title.
class LoansPage : public QWidget
{
    Q_OBJECT
public:
    LoansPage(Connection& connection, const Clock& clock, QWidget* parent = nullptr);

    // Reads the loans again (the page shows what the file holds at that moment).
    void refresh();
    void giveBack(int row); // the 归还 of a row of the books out now
    void EdLoanSearchChange();
    void BtnLoanPrintClick(); // the loans as a PDF

    QTableWidget* currentTable() const { return TblCurrent; }
    QTableWidget* historyTable() const { return TblHistory; }

signals:
    // A loan was ended here (the shelf and the status bar may follow).
    void loansChanged();

private:
    void fillHistory();

    Connection& connection;
    const Clock& clock;
    QTabWidget* TabLoans;
    QTableWidget* TblCurrent;
    QTableWidget* TblHistory;
    QLineEdit* EdLoanSearch;
    QPushButton* BtnLoanPrint;
    QList<Loan> currentLoans;
};
