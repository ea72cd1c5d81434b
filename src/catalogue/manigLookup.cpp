// 联网查询: the current book filled from its ISBN by the online sources. The
// look-up runs while the window goes on working; Escape or another record
// stops it, and what it finds is written only into the book it was asked for.

#include "catalogue/LookupFill.h"
#include "catalogue/PicturePanel.h"
#include "catalogue/manig.h"
#include "data/RecordSet.h"
#include "lookup/BookLookup.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

using namespace Qt::StringLiterals;

void TForm2::BtnLookupClick()
{
    cancelLookup();
    if (!lookup) {
        lookup = new Lookup::BookLookup(this);
        lookup->setPreviewSize(panels[0]->pictureSize());
        connect(lookup, &Lookup::BookLookup::answered, this, [this](int ticket, const Lookup::Answer& answer) {
            ErrorHandler::guard([this, ticket, &answer] { lookupAnswered(ticket, answer); });
        });
    }
    const QString isbn = isbnEdit->text().trimmed(); // as shown, also before the field hands it to the book
    if (isbn.isEmpty()) {
        LblLookup->setText(u"请先填写 ISBN。"_s);
        return;
    }
    LblLookup->setText(u"正在查询 ISBN %1……（Esc 取消）"_s.arg(isbn));
    lookupTicket = lookup->lookUp(isbn);
}

void TForm2::cancelLookup()
{
    if (!lookupTicket)
        return;
    lookup->cancel(lookupTicket);
    lookupTicket = 0;
    LblLookup->setText(u"已取消查询。"_s);
}

void TForm2::keyPressEvent(QKeyEvent* event)
{
    // Escape stops a look-up first; the next one closes the window as always.
    if (event->key() == Qt::Key_Escape && lookupRunning()) {
        cancelLookup();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TForm2::lookupAnswered(int ticket, const Lookup::Answer& answer)
{
    if (ticket != lookupTicket)
        return;
    lookupTicket = 0;
    switch (answer.outcome) {
    case Lookup::Answer::Outcome::Invalid:
        LblLookup->setText(LookupFill::invalid(answer.typed.trimmed()));
        return;
    case Lookup::Answer::Outcome::NotFound:
        LblLookup->setText(LookupFill::notFound(answer.typed.trimmed()));
        return;
    case Lookup::Answer::Outcome::Unreachable:
        LblLookup->setText(LookupFill::unreachable(answer.reason));
        return;
    case Lookup::Answer::Outcome::Found:
        fillFromLookup(answer);
        return;
    }
}

void TForm2::fillFromLookup(const Lookup::Answer& answer)
{
    const LookupFill::Plan plan
        = LookupFill::plan([this](const QString& column) { return DBmaster->asText(column); }, answer.fields);
    QList<LookupFill::Change> changes = plan.fill;
    if (!plan.replace.isEmpty()
        && Prompt::message(this, QMessageBox::Question, Titles::hint(), plan.question(),
               QMessageBox::Yes | QMessageBox::No, QString(), QMessageBox::No)
            == QMessageBox::Yes)
        changes += plan.replace;
    const bool cover = !answer.coverJpeg.isEmpty() && DBmaster->asBytes(u"facepic"_s).isEmpty();
    if (changes.isEmpty() && !cover) {
        // Declined is not the same: the answer did differ.
        LblLookup->setText(plan.replace.isEmpty() ? u"查到的内容与已填写的相同，没有改动。"_s
                                                  : u"已保留填写的内容，没有改动。"_s);
        return;
    }
    DBmaster->edit();
    QStringList filled;
    for (const LookupFill::Change& change : changes) {
        DBmaster->setText(change.column, change.value);
        filled << change.label;
    }
    if (cover) {
        DBmaster->setBytes(u"facepic"_s, answer.coverJpeg);
        DBmaster->setText(u"格式"_s, u"jpg"_s);
        panels[0]->showPicture(answer.coverPreview);
        uploadedSinceRefresh[0] = true;
        filled << u"封面"_s;
    }
    LblLookup->setText(u"已填入%1，请检查后保存。"_s.arg(filled.join(u"、"_s)));
}
