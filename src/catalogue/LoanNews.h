#pragma once

#include <QObject>

// Word that a book was lent or returned, from whichever window did it (the
// editor, the quick view, the 借阅 page), for the screens that show loans: the
// status bar's overdue note, the 借阅 lists and the shelf's marks.
class LoanNews : public QObject
{
    Q_OBJECT
public:
    static LoanNews& instance();
    static void announce() { emit instance().changed(); }

signals:
    void changed();

private:
    LoanNews() = default;
};
