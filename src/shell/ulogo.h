#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class RecordSet;

// The login dialog: the account name is filled in from the first account, the
// password is checked by the database, and only a match ends it with OK.
class TFmlog : public QDialog
{
    Q_OBJECT
public:
    explicit TFmlog(QWidget* parent = nullptr);
    ~TFmlog() override;

    void FormCreate();
    void FormShow();
    void Button1Click();
    void Button2Click();
    // The account that logged in (after an OK result).
    QString userName() const { return m_user; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Edit2KeyDown(int key);

    QLabel* Label5;
    QLineEdit* Edit1;
    QLabel* Label6;
    QLineEdit* Edit2;
    QPushButton* Button1;
    QPushButton* Button2;
    QLabel* Image1;
    RecordSet* Queryb;
    QString m_user;
};
