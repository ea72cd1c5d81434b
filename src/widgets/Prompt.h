#pragma once

// Every message box and file dialog of the program goes through here, so a test
// can script the answers and read back what was shown.

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace Prompt {

// Shows a message box and returns the button that closed it. details, when
// not empty, is a long text the box shows behind its "显示详情" button;
// defaultButton, when given, is the one Enter presses.
QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                    const QString& text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                    const QString& details = QString(),
                                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// The common case: one OK button.
void information(QWidget* parent, const QString& caption, const QString& text);
void error(QWidget* parent, const QString& caption, const QString& text);

QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
QStringList getOpenFileNames(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
// The open-picture dialog: a file-open dialog with a preview of the selected picture.
QString getOpenPictureName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
// confirmOverwrite false: an existing file is chosen without a question.
QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                        bool confirmOverwrite = true);
// A folder; "" when cancelled. Scripted answers come from enqueueFileNames.
QString getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir);

// --- for tests -------------------------------------------------------------

struct Shown
{
    QString caption;
    QString text;
    QString details = {};
};

// In scripted mode no window opens. A box with only an OK button is answered
// with OK; any other box and every file dialog takes the next scripted answer,
// and aborts the process loudly when none was scripted.
void setScripted(bool on);
bool isScripted();
void enqueueAnswer(QMessageBox::StandardButton answer);
void enqueueFileNames(const QStringList& names);   // an empty list answers "cancelled"
QList<Shown> takeShown();                          // everything shown since the last call
Shown lastShown();
// Runs at each scripted prompt, as it is shown (a test looks at the other windows then); empty: none.
void setOnShown(std::function<void(const Shown&)> observer);

} // namespace Prompt
