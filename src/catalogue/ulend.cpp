#include "catalogue/ulend.h"

#include "data/udata.h"
#include "catalogue/Loans.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Named.h"
#include "widgets/Prompt.h"

#include <QCheckBox>
#include <QCompleter>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QDateEdit* dateEdit(const QString& name, const QDate& date, QWidget* parent)
{
    auto* edit = named(new QDateEdit(date, parent), name);
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(u"yyyy-MM-dd"_s);
    return edit;
}

} // namespace

TfmLend::TfmLend(Connection& connection, qint64 book, const QString& title, QWidget* parent)
    : QDialog(parent)
    , connection(connection)
    , book(book)
    , EdBorrower(named(new QLineEdit(this), u"EdBorrower"_s))
    , DateLent(dateEdit(u"DateLent"_s, TDataModule2::instance()->clock.today(), this))
    , CbDue(named(new QCheckBox(u"归还期限"_s, this), u"CbDue"_s))
    , DateDue(dateEdit(u"DateDue"_s, TDataModule2::instance()->clock.today().addDays(30), this))
    , BtnOK(named(new QPushButton(u"确定"_s, this), u"BtnOK"_s))
    , BtnCancel(named(new QPushButton(u"取消"_s, this), u"BtnCancel"_s))
{
    setObjectName(u"TfmLend"_s);
    setWindowTitle(u"借出→"_s + title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* completer = new QCompleter(Loans::borrowers(connection), this);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    EdBorrower->setCompleter(completer);
    EdBorrower->setPlaceholderText(u"借书人姓名"_s);
    CbDue->setChecked(true);
    connect(CbDue, &QCheckBox::toggled, DateDue, &QWidget::setEnabled);

    auto* form = new QFormLayout;
    form->addRow(u"借书人"_s, EdBorrower);
    form->addRow(u"借出日期"_s, DateLent);
    form->addRow(CbDue, DateDue);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    BtnOK->setDefault(true);

    connect(BtnOK, &QPushButton::clicked, this, ErrorHandler::guarded([this] { BtnOKClick(); }));
    connect(BtnCancel, &QPushButton::clicked, this, ErrorHandler::guarded([this] { BtnCancelClick(); }));
}

void TfmLend::BtnOKClick()
{
    try {
        Loans::lend(connection, book, EdBorrower->text(), DateLent->date(),
            CbDue->isChecked() ? DateDue->date() : QDate());
    } catch (const ELoanError& refusal) {
        Prompt::message(this, QMessageBox::Warning, u"提示"_s, QString::fromStdString(refusal.message()));
        return;
    }
    accept();
}

void TfmLend::BtnCancelClick()
{
    reject();
}

bool TfmLend::lendBook(QWidget* parent, Connection& connection, qint64 book, const QString& title)
{
    TfmLend dialog(connection, book, title, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool TfmLend::returnBook(QWidget* parent, Connection& connection, qint64 book, const QString& title)
{
    auto open = Loans::openLoan(connection, book);
    if (!open) {
        Prompt::message(parent, QMessageBox::Information, u"提示"_s, u"这本书没有借出。"_s);
        return false;
    }
    open->title = title;
    return returnLoan(parent, connection, *open);
}

bool TfmLend::returnLoan(QWidget* parent, Connection& connection, const Loan& loan)
{
    const QString question = u"《%1》已由%2归还？"_s.arg(loan.title, loan.borrower);
    if (Prompt::message(parent, QMessageBox::Question, u"提示"_s, question, QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return false;
    Loans::giveBackLoan(connection, loan.id, TDataModule2::instance()->clock.today());
    return true;
}
