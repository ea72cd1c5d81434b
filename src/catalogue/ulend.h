#pragma once

#include <QDialog>

class Connection;
struct Loan;
class QCheckBox;
class QDateEdit;
class QLineEdit;
class QPushButton;

// Lending one paper book: the borrower (those seen before are offered as
// completions), the day it goes out and, when ticked, the day it is due back.
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

private:
    Connection& connection;
    qint64 book;
    QLineEdit* EdBorrower;
    QDateEdit* DateLent;
    QCheckBox* CbDue;
    QDateEdit* DateDue;
    QPushButton* BtnOK;
    QPushButton* BtnCancel;
};
