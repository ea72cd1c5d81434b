#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTableView;
class RecordSet;

// The category manager: the list of book categories (table tblei) in a grid that
// edits in place, with an edit box for the current name. Every close makes the
// main window rebuild its category links before this window goes away.
class TFmfenlei : public QDialog
{
    Q_OBJECT
public:
    explicit TFmfenlei(QWidget* parent = nullptr);
    ~TFmfenlei() override;

    RecordSet* query() const { return Query1; }

    void FormShow();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void FormClose();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Deletes the current category: one that books belong to after a question (they go to
    // "未分类"), an empty one at once, or after "删除这条记录吗？" when askAlways.
    void removeCurrent(bool askAlways);

    RecordSet* Query1;
    QTableView* DBGrid1;
    QLineEdit* DBEdit1;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;
    QPushButton* Button5;
};
