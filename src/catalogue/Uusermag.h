#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class RecordSet;

// The account window: the password of the account named in the first box is
// changed once the old password matches and the new one is typed twice alike.
class Tfmuser : public QDialog
{
    Q_OBJECT
public:
    explicit Tfmuser(QWidget* parent = nullptr);
    ~Tfmuser() override;

    void FormShow();
    void Button1Click();
    void Button2Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    RecordSet* Queryb;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QPushButton* Button1;
    QPushButton* Button2;
};
