#include "widgets/FileDialogLook.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLocale>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

constexpr int DialogWidth = 820;
constexpr int Padding = 28;

void widen(QFileDialog* dialog)
{
    auto* tree = dialog->findChild<QTreeView*>(u"treeView"_s);
    if (!tree)
        return; // the desktop's own dialog
    if (dialog->width() < DialogWidth)
        dialog->resize(DialogWidth, dialog->height());
    QHeaderView* header = tree->header();
    const QFontMetrics metrics(header->font());
    const QString samples[] = {
        u"1023.99 MiB"_s, // size
        u"可移植文档格式文件"_s, // kind
        QLocale().toString(QDateTime(QDate(2026, 12, 28), QTime(23, 59)), QLocale::ShortFormat), // date
    };
    for (int column = 1; column <= 3 && column < header->count(); ++column) {
        const int needed = metrics.horizontalAdvance(samples[column - 1]) + Padding;
        if (header->sectionSize(column) < needed)
            header->resizeSection(column, needed);
    }
}

class Watcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto* dialog = qobject_cast<QFileDialog*>(watched))
                widen(dialog);
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void FileDialogLook::install()
{
    qApp->installEventFilter(new Watcher(qApp));
}
