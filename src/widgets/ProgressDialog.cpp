#include "widgets/ProgressDialog.h"

#include "widgets/Titles.h"

#include <QCoreApplication>

#include <algorithm>

ProgressDialog::ProgressDialog(QWidget* parent, const QString& label, const QString& cancelButton)
    : QProgressDialog(label, cancelButton, 0, 0, parent)
{
    setWindowTitle(Titles::application());
    setWindowModality(Qt::WindowModal);
    setMinimumDuration(400);
    if (cancelButton.isEmpty())
        setCancelButton(nullptr);
    setAutoClose(false);
    setAutoReset(false);
    setValue(0);
}

bool ProgressDialog::report(qint64 done, qint64 total)
{
    setMaximum(steps);
    setValue(total > 0 ? int(std::clamp<qint64>(done * steps / total, 0, steps)) : 0);
    QCoreApplication::processEvents();
    return !wasCanceled();
}
