#include "shell/ulogo.h"

#include "platform/ActiveX.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Skin.h"
#include "data/Sql.h"
#include "widgets/Titles.h"
#include "data/udata.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLabel* makeLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setStyleSheet(QStringLiteral("color: blue; font-size: 24px;"));
    return label;
}

QLineEdit* makeEdit(const QString& name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    // A password shows one "*" per character, whatever the style's own mask.
    edit->setStyleSheet(QStringLiteral("font-size: 24px; lineedit-password-character: 42;"));
    return edit;
}

QPushButton* makeButton(const QString& name, const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false); // Enter logs in only from the password box
    button->setDefault(false);
    return button;
}

} // namespace

TFmlog::TFmlog(QWidget* parent)
    : QDialog(parent)
    , Label5(makeLabel(QStringLiteral("Label5"), QStringLiteral("用户名"), this))
    , Edit1(makeEdit(QStringLiteral("Edit1"), this))
    , Label6(makeLabel(QStringLiteral("Label6"), QStringLiteral("密    码"), this))
    , Edit2(makeEdit(QStringLiteral("Edit2"), this))
    , Button1(makeButton(QStringLiteral("Button1"), QStringLiteral("登陆"), this))
    , Button2(makeButton(QStringLiteral("Button2"), QStringLiteral("退出"), this))
    , Image1(new QLabel(this))
    , Queryb(new RecordSet(TDataModule2::instance()->Adocon, this))
{
    setObjectName(QStringLiteral("TFmlog"));
    setWindowTitle(Titles::application());
    setFixedSize(476, 292);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setAttribute(Qt::WA_DeleteOnClose, false); // the creator frees it after the modal run
    Queryb->setObjectName(QStringLiteral("Queryb"));

    Edit2->setEchoMode(QLineEdit::Password);
    Edit2->installEventFilter(this);

    // Fixed positions, as the dialog has a fixed size.
    Label5->setGeometry(70, 70, 110, 36);
    Edit1->setGeometry(185, 70, 210, 36);
    Label6->setGeometry(70, 130, 110, 36);
    Edit2->setGeometry(185, 130, 210, 36);
    Button1->setGeometry(120, 205, 100, 34);
    Button2->setGeometry(255, 205, 100, 34);
    auto* heading = new QLabel(Titles::application(), this);
    heading->setObjectName(QStringLiteral("heading"));
    heading->setAlignment(Qt::AlignCenter);
    heading->setStyleSheet(QStringLiteral("color: #2e6b37; font-size: 22px; font-weight: bold;"));
    heading->setGeometry(0, 16, 476, 36);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(476 - 49 - 4, 292 - 40 - 4, 49, 40);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap(QStringLiteral(":/pictures/logindeco.jpg")));

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Button1);
    setTabOrder(Button1, Button2);

    connect(Button1, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, &TFmlog::Button2Click);

    ErrorHandler::guard([this] { FormCreate(); });
}

TFmlog::~TFmlog() = default;

void TFmlog::FormCreate()
{
    Skin::ensureSkinFile(AppPaths::path(QStringLiteral("skinh.she")));
    Skin::attach(AppPaths::path(QStringLiteral("skinh.she")));
    RegisterActiveXFile(AppPaths::path(QStringLiteral("corvina.ocx")), 1);
}

void TFmlog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorHandler::guard([this] { FormShow(); });
}

void TFmlog::FormShow()
{
    // Focus first, so the password box has it even when the account cannot be read.
    Edit2->setFocus();
    Queryb->setSql(QStringLiteral("select * from userb"));
    Queryb->open();
    Edit1->setText(Queryb->isEmpty() ? QString() : Queryb->asText(QStringLiteral("users")).trimmed());
}

void TFmlog::Button1Click()
{
    const QString user = Edit1->text().trimmed();
    const QString password = Edit2->text().trimmed();
    Queryb->setSql(QStringLiteral("select * from userb where users = ") + Sql::quoted(user)
                   + QStringLiteral("  and password = ") + Sql::quoted(password));
    Queryb->open();
    if (Queryb->isEmpty()) {
        Prompt::message(nullptr, QMessageBox::Warning, Titles::hint(), QStringLiteral("密码错误"));
        Edit2->clear();
        Edit2->setFocus();
        return;
    }
    m_user = user;
    accept();
}

void TFmlog::Button2Click()
{
    reject();
}

void TFmlog::Edit2KeyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        ErrorHandler::guard([this] { Button1Click(); });
}

void TFmlog::keyPressEvent(QKeyEvent* event)
{
    // The dialog has no cancel button: Escape must not end it (and with it the program).
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TFmlog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit2 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Edit2KeyDown(key);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
