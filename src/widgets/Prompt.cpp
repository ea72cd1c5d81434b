#include "widgets/Prompt.h"

#include "widgets/PictureFileDialog.h"

#include <QFileDialog>
#include <QList>
#include <QQueue>

#include <cstdio>
#include <cstdlib>

namespace Prompt {
namespace {

struct Script
{
    bool on = false;
    QQueue<QMessageBox::StandardButton> answers;
    QQueue<QStringList> fileNames;
    QList<Shown> shown;
    Shown last;
    std::function<void(const Shown&)> onShown;
};

Script& script()
{
    static Script s;
    return s;
}

[[noreturn]] void unscripted(const QString& what, const QString& caption, const QString& text)
{
    std::fprintf(stderr, "Unscripted %s: caption \"%s\", text \"%s\"\n", qPrintable(what), qPrintable(caption),
                 qPrintable(text));
    std::abort();
}

void record(const QString& caption, const QString& text, const QString& details = {})
{
    script().shown.append({caption, text, details});
    script().last = {caption, text, details};
    if (script().onShown)
        script().onShown(script().last);
}

QStringList nextFileNames(const QString& caption)
{
    if (script().fileNames.isEmpty())
        unscripted(QStringLiteral("file dialog"), caption, {});
    record(caption, {});
    return script().fileNames.dequeue();
}

} // namespace

QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                    const QString& text, QMessageBox::StandardButtons buttons, const QString& details,
                                    QMessageBox::StandardButton defaultButton)
{
    if (script().on) {
        record(caption, text, details);
        if (!script().answers.isEmpty())
            return script().answers.dequeue();
        if (buttons == QMessageBox::Ok)
            return QMessageBox::Ok;
        unscripted(QStringLiteral("message box"), caption, text);
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setDetailedText(details);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void information(QWidget* parent, const QString& caption, const QString& text)
{
    message(parent, QMessageBox::Information, caption, text);
}

void error(QWidget* parent, const QString& caption, const QString& text)
{
    message(parent, QMessageBox::Critical, caption, text);
}

QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    if (script().on)
        return nextFileNames(caption).value(0);
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QStringList getOpenFileNames(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    if (script().on)
        return nextFileNames(caption);
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString getOpenPictureName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    if (script().on)
        return nextFileNames(caption).value(0);
    return PictureFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString getSaveFileName(
    QWidget* parent, const QString& caption, const QString& dir, const QString& filter, bool confirmOverwrite)
{
    if (script().on)
        return nextFileNames(caption).value(0);
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr,
        confirmOverwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite);
}

QString getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir)
{
    if (script().on)
        return nextFileNames(caption).value(0);
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

void setScripted(bool on)
{
    script() = Script{};
    script().on = on;
}

bool isScripted()
{
    return script().on;
}

void enqueueAnswer(QMessageBox::StandardButton answer)
{
    script().answers.enqueue(answer);
}

void enqueueFileNames(const QStringList& names)
{
    script().fileNames.enqueue(names);
}

QList<Shown> takeShown()
{
    return std::exchange(script().shown, {});
}

Shown lastShown()
{
    return script().last;
}

void setOnShown(std::function<void(const Shown&)> observer)
{
    script().onShown = std::move(observer);
}

} // namespace Prompt
