#include "catalogue/Uusermag.h"

#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "data/Sql.h"
#include "widgets/Titles.h"
#include "data/udata.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QShowEvent>

namespace {

// Password boxes that show every character as "#".
class MaskStyle : public QProxyStyle
{
public:
    int styleHint(
        StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* data) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '#';
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

} // namespace

Tfmuser::Tfmuser(QWidget* parent)
    : QDialog(parent)
    , Queryb(new RecordSet(TDataModule2::instance()->Adocon, this))
    , Edit1(new QLineEdit(this))
    , Edit2(new QLineEdit(this))
    , Edit3(new QLineEdit(this))
    , Edit4(new QLineEdit(this))
    , Button1(new QPushButton(QStringLiteral("确定"), this))
    , Button2(new QPushButton(QStringLiteral("退出"), this))
{
    setObjectName(QStringLiteral("Tfmuser"));
    setWindowTitle(QStringLiteral("用户管理"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(400, 213);
    Queryb->setObjectName(QStringLiteral("Queryb"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2->setObjectName(QStringLiteral("Button2"));

    auto* maskStyle = new MaskStyle;
    maskStyle->setParent(this);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(40, 16, 40, 16);
    const std::pair<QLineEdit*, const char*> rows[]
        = { { Edit1, "帐号" }, { Edit2, "旧密码" }, { Edit3, "新密码" }, { Edit4, "确认新密码" } };
    int row = 0;
    for (const auto& [edit, label] : rows) {
        edit->setObjectName(QStringLiteral("Edit%1").arg(row + 1));
        if (edit != Edit1) {
            // Every character shows as "#".
            edit->setEchoMode(QLineEdit::Password);
            edit->setStyle(maskStyle);
        }
        grid->addWidget(new QLabel(QString::fromUtf8(label), this), row, 0);
        grid->addWidget(edit, row++, 1);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addSpacing(30);
    buttons->addWidget(Button2);
    buttons->addStretch(1);
    grid->addLayout(buttons, row, 0, 1, 2);

    connect(Button1, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { Button2Click(); }); });
}

Tfmuser::~Tfmuser() = default;

void Tfmuser::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorHandler::guard([this] { FormShow(); });
}

void Tfmuser::FormShow()
{
    for (QLineEdit* edit : { Edit1, Edit2, Edit3, Edit4 })
        edit->clear();
    Queryb->setSql(QStringLiteral("select * from userb"));
    Queryb->open();
    if (!Queryb->eof())
        Edit1->setText(Queryb->asText(QStringLiteral("users")).trimmed());
}

void Tfmuser::Button1Click()
{
    const QString account = Sql::quoted(Edit1->text());
    Queryb->setSql(QStringLiteral("select * from userb where users = ") + account + QStringLiteral("  and password = ")
        + Sql::quoted(Edit2->text()));
    Queryb->open();
    if (Queryb->eof()) {
        Prompt::message(nullptr, QMessageBox::NoIcon, Titles::hint(), QStringLiteral("密码错误"));
        Edit2->clear();
        return;
    }
    const QString fresh = Edit3->text().trimmed();
    if (fresh != Edit4->text().trimmed()) {
        Prompt::message(nullptr, QMessageBox::NoIcon, Titles::hint(), QStringLiteral("二次输入新密码错误"));
        return;
    }
    // Only the account that was checked gets the new password.
    Queryb->connection().execute(QStringLiteral("update userb set [password] =") + Sql::quoted(fresh)
        + QStringLiteral(" where users = ") + account);
    Prompt::message(nullptr, QMessageBox::NoIcon, Titles::hint(), QStringLiteral("修改成功"));
}

void Tfmuser::Button2Click()
{
    close();
}
