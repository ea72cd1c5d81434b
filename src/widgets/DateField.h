#pragma once

#include <QDate>
#include <QLineEdit>

// A day typed as a family writes it: 2026-12-01, 2026/12/01, 2026.12.1 or
// 2026年12月1日 (an empty field is no date). A plain line of text, so Tab leaves
// it for the next field instead of walking through its parts.
//
// "committed" is emitted when the user leaves the field with a text other than
// the one last accepted (setDate): by Tab or Backtab, Return, or the focus going
// elsewhere. A receiver accepts the text by calling setDate; a text it refuses
// stays pending, keeps the field on Tab, and is offered again at the next leave.
// Tab is seen by the field itself, so a leave counts even when the window has
// lost its activation to a message box and gets no focus events.
class DateField : public QLineEdit
{
    Q_OBJECT
public:
    explicit DateField(QWidget* parent = nullptr);

    // The day typed: false when the text is no date (an empty text is a null date).
    bool read(QDate& date) const;
    // Shows a day (null: nothing) as accepted.
    void setDate(const QDate& date);
    // What a refusal of a text that is no date says.
    static QString formHint();

signals:
    void committed();

protected:
    bool event(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Offers a changed text; false when a receiver refused it.
    bool offer();

    QString m_accepted;
    bool m_offering = false; // a refusal's message box takes the focus: no second offer
};
