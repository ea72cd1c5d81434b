// The catalogue editor's loans and reading dates: "借出" and "归还" beside the
// lending fields, and the three dates of the current book, each corrected in place.

#include "catalogue/Loans.h"
#include "data/udata.h"
#include "data/ReadingDates.h"
#include "catalogue/manig.h"
#include "catalogue/ulend.h"
#include "data/RecordSet.h"
#include "widgets/DateField.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

QHBoxLayout* TForm2::buildLoanRow(QWidget* page)
{
    auto* layout = new QHBoxLayout;
    layout->setSpacing(6);
    auto add = [&](const QString& caption, DateField*& edit, const QString& name) {
        auto* label = new QLabel(caption, page);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        layout->addWidget(label);
        edit = new DateField(page);
        edit->setObjectName(name);
        edit->setMaximumWidth(110);
        // However the field is left (Tab, a click, Return), a changed date is saved or refused.
        connect(edit, &DateField::committed, this, [this, edit] {
            ErrorHandler::guard([this, edit] { dateEdited(edit); });
        });
        layout->addWidget(edit);
    };
    add(u"入库日期"_s, EdDateAdded, u"EdDateAdded"_s);
    add(u"开始阅读"_s, EdDateStarted, u"EdDateStarted"_s);
    add(u"读完日期"_s, EdDateFinished, u"EdDateFinished"_s);
    layout->addSpacing(12);
    LblLoan = new QLabel(page);
    LblLoan->setObjectName(u"LblLoan"_s);
    layout->addWidget(LblLoan, 1);
    for (auto [name, text, handler] : { std::tuple { u"BtnLend"_s, u"借出"_s, &TForm2::BtnLendClick },
             std::tuple { u"BtnReturn"_s, u"归还"_s, &TForm2::BtnReturnClick } }) {
        auto* button = new QPushButton(text, page);
        button->setObjectName(name);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, handler] { ErrorHandler::guard([this, handler] { (this->*handler)(); }); });
        layout->addWidget(button);
    }
    return layout;
}

std::optional<qint64> TForm2::currentBook() const
{
    if (!DBmaster->isOpen() || DBmaster->isEmpty() || DBmaster->state() == RecordSet::State::Insert)
        return std::nullopt;
    return DBmaster->asInteger(u"id"_s);
}

void TForm2::refreshLoanAndDates()
{
    const std::optional<qint64> book = currentBook();
    Connection& connection = DBmaster->connection();
    const ReadingDates dates = book ? ReadingDates::read(connection, ReadingDates::Kind::Book, *book) : ReadingDates();
    for (auto [edit, date] : { std::pair { EdDateAdded, dates.added }, std::pair { EdDateStarted, dates.started },
             std::pair { EdDateFinished, dates.finished } }) {
        edit->setDate(date);
        edit->setEnabled(book.has_value()); // a book not yet saved has no dates of its own
    }
    const auto loan = book ? Loans::openLoan(connection, *book) : std::nullopt;
    LblLoan->setText(loan ? Loans::describe(*loan, TDataModule2::instance()->clock.today()) : QString());
    LblLoan->setStyleSheet(loan && loan->isOverdue(TDataModule2::instance()->clock.today()) ? u"color: red"_s : QString());
}

void TForm2::dateEdited(DateField* edit)
{
    const std::optional<qint64> book = currentBook();
    if (!book)
        return;
    QDate date;
    if (!edit->read(date)) {
        // The text stays as typed and pending: corrected and left again, it is saved.
        Prompt::message(this, QMessageBox::Warning, Titles::hint(), DateField::formHint());
        edit->setFocus();
        return;
    }
    Connection& connection = DBmaster->connection();
    ReadingDates dates = ReadingDates::read(connection, ReadingDates::Kind::Book, *book);
    (edit == EdDateAdded ? dates.added : edit == EdDateStarted ? dates.started : dates.finished) = date;
    ReadingDates::write(connection, ReadingDates::Kind::Book, *book, dates);
    edit->setDate(date);
}

bool TForm2::readyForLoan()
{
    if (DBmaster->state() != RecordSet::State::Browse) {
        Prompt::message(this, QMessageBox::Warning, Titles::hint(), u"请先保存当前记录。"_s);
        return false;
    }
    return currentBook().has_value();
}

void TForm2::BtnLendClick()
{
    if (!readyForLoan())
        return;
    if (TfmLend::lendBook(this, DBmaster->connection(), *currentBook(), DBmaster->asText(u"name"_s))) {
        DBmaster->refresh(); // "是否借人" and "借书人" as the loan made them
        refreshLoanAndDates();
    }
}

void TForm2::BtnReturnClick()
{
    if (!readyForLoan())
        return;
    if (TfmLend::returnBook(this, DBmaster->connection(), *currentBook(), DBmaster->asText(u"name"_s))) {
        DBmaster->refresh();
        refreshLoanAndDates();
    }
}
