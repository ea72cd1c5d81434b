#include "shell/uread.h"

#include "catalogue/Loans.h"
#include "catalogue/ulend.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Named.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"
#include "widgets/dbcontrols.h"
#include "data/udata.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

Tfmread::Tfmread(QWidget* parent)
    : QDialog(parent)
    , dbmaster(new RecordSet(TDataModule2::instance()->Adocon, this))
    , DBEdit2(named(new QLineEdit(this), QStringLiteral("DBEdit2")))
    , DBEdit1(named(new QLineEdit(this), QStringLiteral("DBEdit1")))
    , DBComboBox1(named(new QComboBox(this), QStringLiteral("DBComboBox1")))
    , DBMemo2(named(new QPlainTextEdit(this), QStringLiteral("DBMemo2")))
    , DBMemo1(named(new QPlainTextEdit(this), QStringLiteral("DBMemo1")))
    , b1(named(new QPushButton(QStringLiteral("确定"), this), QStringLiteral("b1")))
    , B2(named(new QPushButton(QStringLiteral("取消"), this), QStringLiteral("B2")))
    , LblLoan(named(new QLabel(this), QStringLiteral("LblLoan")))
    , BtnLend(named(new QPushButton(QStringLiteral("借出"), this), QStringLiteral("BtnLend")))
    , BtnReturn(named(new QPushButton(QStringLiteral("归还"), this), QStringLiteral("BtnReturn")))
{
    setObjectName(QStringLiteral("Tfmread"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);
    resize(628, 472);
    dbmaster->setObjectName(QStringLiteral("dbmaster"));
    dbmaster->setSql(QStringLiteral("select *  from baseshu"));

    DBComboBox1->setEditable(true);
    DBComboBox1->addItems({QStringLiteral("还没读"), QStringLiteral("正在读"), QStringLiteral("已读完")});
    DBMemo2->setMinimumSize(217, 217);
    DBMemo1->setMinimumSize(313, 349);
    DBMemo2->setTabChangesFocus(true);
    DBMemo1->setTabChangesFocus(true);

    DBEdit::bind(DBEdit2, dbmaster, QStringLiteral("zuozhe"));
    DBEdit::bind(DBEdit1, dbmaster, QStringLiteral("place"));
    DBComboBox::bind(DBComboBox1, dbmaster, QStringLiteral("isread"));
    DBMemo::bind(DBMemo2, dbmaster, QStringLiteral("contentjj"));
    DBMemo::bind(DBMemo1, dbmaster, QStringLiteral("readbiji"));

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("作者"), DBEdit2);
    fields->addRow(QStringLiteral("地方"), DBEdit1);
    fields->addRow(QStringLiteral("选择阅读状态"), DBComboBox1);
    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addWidget(new QLabel(QStringLiteral("简   介"), this));
    left->addWidget(DBMemo2, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("笔  记"), this));
    right->addWidget(DBMemo1, 1);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LblLoan, 1);
    buttons->addWidget(BtnLend);
    buttons->addWidget(BtnReturn);
    buttons->addSpacing(24);
    buttons->addWidget(b1);
    buttons->addWidget(B2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    b1->setDefault(true);
    connect(b1, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { b1Click(); }); });
    connect(B2, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { B2Click(); }); });
    connect(BtnLend, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { BtnLendClick(); }); });
    connect(BtnReturn, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { BtnReturnClick(); }); });
    for (QPushButton* button : {BtnLend, BtnReturn})
        button->setAutoDefault(false);
    // Tab as the window reads: the fields, then the buttons from left to right.
    setTabOrder(DBMemo1, BtnLend);
    setTabOrder(BtnLend, BtnReturn);
    setTabOrder(BtnReturn, b1);
    setTabOrder(b1, B2);
}

Tfmread::~Tfmread() = default;

void Tfmread::openBook(qint64 id)
{
    dbmaster->setSql(QStringLiteral(" select *  from baseshu where id=") + QString::number(id));
}

void Tfmread::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorHandler::guard([this] { FormShow(); });
}

void Tfmread::FormShow()
{
    dbmaster->open();
    bookFound = !dbmaster->isEmpty();
    if (bookFound)
        setWindowTitle(QStringLiteral("书名→") + dbmaster->asText(QStringLiteral("name")));
    showLoan();
    DBEdit2->setFocus();
}

void Tfmread::showLoan()
{
    const auto loan = bookFound ? Loans::openLoan(dbmaster->connection(), *dbmaster->asInteger(QStringLiteral("id")))
                                : std::nullopt;
    const bool late = loan && loan->isOverdue(TDataModule2::instance()->clock.today());
    LblLoan->setText(loan ? Loans::describe(*loan, TDataModule2::instance()->clock.today()) : QString());
    LblLoan->setStyleSheet(late ? QStringLiteral("color: red") : QString());
    BtnLend->setEnabled(bookFound && !loan);
    BtnReturn->setEnabled(loan.has_value());
}

// The loan is written at once; the dialog's own fields (none of them the loan's)
// are still written or dropped by "确定" or "取消".
void Tfmread::BtnLendClick()
{
    if (bookFound
        && TfmLend::lendBook(this, dbmaster->connection(), *dbmaster->asInteger(QStringLiteral("id")),
            dbmaster->asText(QStringLiteral("name"))))
        showLoan();
}

void Tfmread::BtnReturnClick()
{
    if (bookFound
        && TfmLend::returnBook(this, dbmaster->connection(), *dbmaster->asInteger(QStringLiteral("id")),
            dbmaster->asText(QStringLiteral("name"))))
        showLoan();
}

void Tfmread::b1Click()
{
    // A shelf can outlive its book. Writing then would add an empty book (typing
    // into the controls of a vanished book starts a new row), so nothing is written.
    if (!bookFound) {
        dbmaster->cancel();
        Prompt::message(this, QMessageBox::Warning, Titles::hint(),
                        QStringLiteral("这本书已不在书库中（可能已被删除），修改没有保存。"));
        reject();
        return;
    }
    dbmaster->edit();
    dbmaster->post();
    accept();
}

void Tfmread::B2Click()
{
    dbmaster->cancel();
    reject();
}
