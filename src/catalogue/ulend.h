#pragma once

#include <QDialog>

class Connection;
struct Loan;
class QCheckBox;
class DateField;
class QLineEdit;
class QPushButton;

// Lending one paper book: the borrower (those seen before are offered as
// completions; Enter on one lends to that one), the day it goes out (today or
// earlier) and, when ticked, the day it is due back, both typed as the reading
// dates are.
class TfmLend : public QDialog
{
    Q_OBJECT
public:
    TfmLend(Connection& connection, qint64 book, const QString& title, QWidget* parent = nullptr);

    void BtnOKClick(); // lends; a refusal is shown and the dialog stays open
    void BtnCancelClick();

    // The lending of a book as the editor, the quick view and the loans page do it:
    // the dialog, modally. True when the book was lent.
    static bool lendBook(QWidget* parent, Connection& connection, qint64 book, const QString& title);
    // Ends the open loan of a book today, after a question. True when it was ended.
    static bool returnBook(QWidget* parent, Connection& connection, qint64 book, const QString& title);
    // Ends one loan today, after a question (the other open loan of the book, if any, stays).
    static bool returnLoan(QWidget* parent, Connection& connection, const Loan& loan);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Connection& connection;
    qint64 book;
    QLineEdit* EdBorrower;
    DateField* DateLent;
    QCheckBox* CbDue;
    DateField* DateDue;
    QPushButton* BtnOK;
    QPushButton* BtnCancel;
};
