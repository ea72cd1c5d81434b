#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The prompt over a locked window: the account that is logged in and its
// password, as at login. It cannot be closed but by the right password
// (AppLock checks it when 解锁 is pressed or Enter typed in the password box).
class TFmlock : public QDialog
{
    Q_OBJECT
public:
    explicit TFmlock(const QString& user, QWidget* parent = nullptr);
    ~TFmlock() override;

    QString password() const;
    void clearPassword(); // after a wrong one: empty, focused

signals:
    void unlockAsked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* Label5;
    QLineEdit* Edit1;
    QLabel* Label6;
    QLineEdit* Edit2;
    QPushButton* Button1;
};
