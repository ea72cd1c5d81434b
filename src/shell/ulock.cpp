#include "shell/ulock.h"

#include "widgets/Titles.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

TFmlock::TFmlock(const QString& user, QWidget* parent)
    : QDialog(parent)
    , Label5(new QLabel(u"用户名"_s, this))
    , Edit1(new QLineEdit(user, this))
    , Label6(new QLabel(u"密    码"_s, this))
    , Edit2(new QLineEdit(this))
    , Button1(new QPushButton(u"解锁"_s, this))
{
    setObjectName(u"TFmlock"_s);
    setWindowTitle(Titles::application());
    setFixedSize(476, 292);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint); // no close button
    setWindowModality(Qt::ApplicationModal);
    Label5->setObjectName(u"Label5"_s);
    Label6->setObjectName(u"Label6"_s);
    Edit1->setObjectName(u"Edit1"_s);
    Edit2->setObjectName(u"Edit2"_s);
    Button1->setObjectName(u"Button1"_s);
    for (QLabel* label : { Label5, Label6 })
        label->setStyleSheet(u"color: blue; font-size: 24px;"_s);
    for (QLineEdit* edit : { Edit1, Edit2 })
        edit->setStyleSheet(u"font-size: 24px; lineedit-password-character: 42;"_s);
    Edit1->setReadOnly(true); // the account logged in; only it may come back
    Edit1->setFocusPolicy(Qt::NoFocus);
    Edit2->setEchoMode(QLineEdit::Password);
    Edit2->installEventFilter(this);
    Button1->setAutoDefault(false);

    auto* heading = new QLabel(u"已锁定，请输入密码继续使用"_s, this);
    heading->setObjectName(u"heading"_s);
    heading->setAlignment(Qt::AlignCenter);
    heading->setStyleSheet(u"color: #2e6b37; font-size: 22px; font-weight: bold;"_s);
    heading->setGeometry(0, 16, 476, 36);
    Label5->setGeometry(70, 70, 110, 36);
    Edit1->setGeometry(185, 70, 210, 36);
    Label6->setGeometry(70, 130, 110, 36);
    Edit2->setGeometry(185, 130, 210, 36);
    Button1->setGeometry(188, 205, 100, 34);
    setTabOrder(Edit2, Button1);
    connect(Button1, &QPushButton::clicked, this, &TFmlock::unlockAsked);
}

TFmlock::~TFmlock() = default;

QString TFmlock::password() const
{
    return Edit2->text().trimmed();
}

void TFmlock::clearPassword()
{
    Edit2->clear();
    activateWindow(); // back from the message box, typing goes here again
    Edit2->setFocus();
}

void TFmlock::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) { // no way round the password
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFmlock::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

bool TFmlock::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit2 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            emit unlockAsked();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
