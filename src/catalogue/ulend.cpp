#include "catalogue/ulend.h"

#include "data/udata.h"
#include "catalogue/LoanNews.h"
#include "catalogue/Loans.h"
#include "widgets/DateField.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Named.h"
#include "widgets/Prompt.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

DateField* dateField(const QString& name, const QDate& date, QWidget* parent)
{
    auto* field = named(new DateField(parent), name);
    field->setDate(date);
    return field;
}

} // namespace

LoanNews& LoanNews::instance()
{
    static LoanNews news;
    return news;
}

TfmLend::TfmLend(Connection& connection, qint64 book, const QString& title, QWidget* parent)
    : QDialog(parent)
    , connection(connection)
    , book(book)
    , EdBorrower(named(new QLineEdit(this), u"EdBorrower"_s))
    , DateLent(dateField(u"DateLent"_s, TDataModule2::instance()->clock.today(), this))
    , CbDue(named(new QCheckBox(u"归还期限"_s, this), u"CbDue"_s))
    , DateDue(dateField(u"DateDue"_s, TDataModule2::instance()->clock.today().addDays(30), this))
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
    completer->popup()->installEventFilter(this); // before the completer's own filter: Enter lends
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
    setTabOrder(EdBorrower, DateLent);
    setTabOrder(DateLent, CbDue);
    setTabOrder(CbDue, DateDue);
    setTabOrder(DateDue, BtnOK);
    setTabOrder(BtnOK, BtnCancel);

    connect(BtnOK, &QPushButton::clicked, this, ErrorHandler::guarded([this] { BtnOKClick(); }));
    connect(BtnCancel, &QPushButton::clicked, this, ErrorHandler::guarded([this] { BtnCancelClick(); }));
}

void TfmLend::BtnOKClick()
{
    QDate lent;
    QDate due;
    for (auto [field, date] : { std::pair { DateLent, &lent }, std::pair { DateDue, &due } }) {
        if (field->isEnabled() && !field->read(*date)) {
            Prompt::message(this, QMessageBox::Warning, u"提示"_s, DateField::formHint());
            field->setFocus();
            field->selectAll();
            return;
        }
    }
    try {
        Loans::lend(connection, book, EdBorrower->text(), lent, CbDue->isChecked() ? due : QDate());
    } catch (const ELoanError& refusal) {
        Prompt::message(this, QMessageBox::Warning, u"提示"_s, QString::fromStdString(refusal.message()));
        return;
    }
    accept();
}

bool TfmLend::eventFilter(QObject* watched, QEvent* event)
{
    // Enter on a suggested borrower takes that name and lends, as Enter in the
    // field would: one key, not one to choose and another to confirm.
    QCompleter* completer = EdBorrower->completer();
    if (completer && watched == completer->popup() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            const QModelIndex chosen = completer->popup()->currentIndex();
            if (chosen.isValid())
                EdBorrower->setText(chosen.data(completer->completionRole()).toString());
            completer->popup()->hide();
            ErrorHandler::guard([this] { BtnOKClick(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfmLend::BtnCancelClick()
{
    reject();
}

bool TfmLend::lendBook(QWidget* parent, Connection& connection, qint64 book, const QString& title)
{
    TfmLend dialog(connection, book, title, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    LoanNews::announce();
    return true;
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
    LoanNews::announce();
    return true;
}
