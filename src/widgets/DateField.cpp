#include "widgets/DateField.h"

#include "data/ReadingDates.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QScopedValueRollback>

using namespace Qt::StringLiterals;

DateField::DateField(QWidget* parent)
    : QLineEdit(parent)
{
    setPlaceholderText(u"年-月-日"_s);
}

QString DateField::formHint()
{
    return u"日期应写作 年-月-日，例如 2024-03-05（也可写 2024/3/5 或 2024年3月5日）；留空表示没有。"_s;
}

bool DateField::read(QDate& date) const
{
    return ReadingDates::parse(text(), date);
}

void DateField::setDate(const QDate& date)
{
    m_accepted = ReadingDates::format(date);
    if (text() != m_accepted) // the same date again (a reopening) leaves the edit alone
        setText(m_accepted);
}

bool DateField::offer()
{
    if (m_offering || text() == m_accepted || !isSignalConnected(QMetaMethod::fromSignal(&DateField::committed)))
        return true;
    const QScopedValueRollback<bool> busy(m_offering, true);
    emit committed();
    return text() == m_accepted;
}

bool DateField::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && !offer())
            return true; // refused: the field keeps the focus for the correction
    }
    return QLineEdit::event(event);
}

void DateField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason)
        offer();
}

void DateField::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        offer();
    QLineEdit::keyPressEvent(event); // and on to a dialog's default button, as in any field
}
