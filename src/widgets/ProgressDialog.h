#pragma once

#include <QProgressDialog>

// The program's progress dialog for long work on the user-interface thread:
// modal to its window, shown only when the work lasts more than a moment, and
// left open until the work ends (whatever the counts say meanwhile).
class ProgressDialog : public QProgressDialog
{
public:
    // Without cancelButton the dialog has no cancel button.
    ProgressDialog(QWidget* parent, const QString& label, const QString& cancelButton = QString());

    // Shows done of total, lets events through (the window repaints, the cancel
    // button answers) and returns false once the user has cancelled.
    bool report(qint64 done, qint64 total);

private:
    static constexpr int steps = 1000; // byte counts pass the dialog's int range
};
