#pragma once

#include <QDate>
#include <QDialog>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class RecordSet;

// The e-book details dialog: title, author, document password, reading status,
// summary and notes of the e-book current in the list, edited in place;
// "确定" writes the row, "取消" and closing the window drop the changes.
// The dialog reads the row afresh from the database; the list is not touched,
// so its opener refreshes it after the dialog closes.
class Tfmreadbook : public QDialog
{
    Q_OBJECT
public:
    // list: the e-book list's record set; its current row is the e-book shown.
    explicit Tfmreadbook(RecordSet& list, QWidget* parent = nullptr);
    ~Tfmreadbook() override;

    RecordSet* query() const { return dbmaster; }

    void FormShow();
    void b1Click();
    void B2Click();
    void BtnHistoryClick(); // 历史版本

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showDates();
    bool readDates(); // the typed dates; false (and a message) when one is not a date

    RecordSet* dbmaster;
    bool bookFound = false;
    QLineEdit* DBEdit1;
    QLineEdit* DBEdit2;
    QLineEdit* DBEdit3;
    QComboBox* DBComboBox1;
    QPlainTextEdit* DBMemo2;
    QPlainTextEdit* DBMemo1;
    QPushButton* b1;
    QPushButton* B2;
    QPushButton* BtnHistory;
    QLineEdit* EdDateAdded;
    QLineEdit* EdDateStarted;
    QLineEdit* EdDateFinished;
    QDate typed[3];
};
