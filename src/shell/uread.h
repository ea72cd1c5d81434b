#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class RecordSet;

// The quick view of one paper book: author, place, reading status, summary and
// notes, edited in place; "确定" writes the row, "取消" drops the changes.
class Tfmread : public QDialog
{
    Q_OBJECT
public:
    explicit Tfmread(QWidget* parent = nullptr);
    ~Tfmread() override;

    // Sets the statement of the book to show; the dialog opens it when shown.
    void openBook(qint64 id);
    RecordSet* query() const { return dbmaster; }

    void FormShow();
    void b1Click();
    void B2Click();
    void BtnLendClick(); // 借出
    void BtnReturnClick(); // 归还

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showLoan();

    RecordSet* dbmaster;
    bool bookFound = false;
    QLineEdit* DBEdit2;
    QLineEdit* DBEdit1;
    QComboBox* DBComboBox1;
    QPlainTextEdit* DBMemo2;
    QPlainTextEdit* DBMemo1;
    QPushButton* b1;
    QPushButton* B2;
    QLabel* LblLoan;
    QPushButton* BtnLend;
    QPushButton* BtnReturn;
};
