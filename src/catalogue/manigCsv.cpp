// The catalogue editor's CSV commands: the paper books out to a file and in from one.

#include "catalogue/CatalogueCsv.h"
#include "catalogue/manig.h"
#include "shell/Prompt.h"
#include "shell/RecordSet.h"
#include "shell/Titles.h"
#include "shell/Unittest.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QString fileFilter()
{
    return u"CSV 文件 (*.csv);;所有文件 (*)"_s;
}

// A long read or write on this thread behind a progress dialog: each report
// lets events through, so the window repaints and the cancel button answers.
class CsvProgressDialog
{
public:
    CsvProgressDialog(QWidget* parent, const QString& label)
        : m_dialog(label, u"取消"_s, 0, steps, parent)
    {
        m_dialog.setWindowTitle(Titles::application());
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(400);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setValue(0);
    }

    CsvProgress callback()
    {
        return [this](qint64 done, qint64 total) {
            m_dialog.setValue(total > 0 ? int(std::clamp<qint64>(done * steps / total, 0, steps)) : 0);
            QCoreApplication::processEvents();
            return !m_dialog.wasCanceled();
        };
    }

private:
    static constexpr int steps = 1000; // byte counts pass int's range
    QProgressDialog m_dialog;
};

} // namespace

void TForm2::BtnCsvExportClick()
{
    // What is being typed is written first, so the file holds what the window shows.
    if (DBmaster->state() == RecordSet::State::Edit || DBmaster->state() == RecordSet::State::Insert)
        DBmaster->post();
    const QString suggested
        = QDir::home().filePath(u"青禾书目-%1.csv"_s.arg(QDate::currentDate().toString(u"yyyyMMdd"_s)));
    QString path = Prompt::getSaveFileName(this, u"导出CSV"_s, suggested, fileFilter());
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += u".csv"_s;
    int count = 0;
    try {
        CsvProgressDialog progress(this, u"正在导出书目……"_s);
        count = CatalogueCsv::exportTo(DBmaster->connection(), path, progress.callback());
    } catch (const ECsvCancelled&) {
        return; // the file was not written
    }
    Prompt::information(
        this, Titles::hint(), u"已导出 %1 本图书到\n%2"_s.arg(count).arg(QDir::toNativeSeparators(path)));
}

void TForm2::BtnCsvImportClick()
{
    const QString path = Prompt::getOpenFileName(this, u"导入CSV"_s, QString(), fileFilter());
    if (path.isEmpty())
        return;
    Connection& connection = DBmaster->connection();
    CsvImportPlan plan;
    try {
        CsvProgressDialog progress(this, u"正在读取 %1……"_s.arg(QFileInfo(path).fileName()));
        plan = CatalogueCsv::plan(connection, path, progress.callback());
    } catch (const ECsvCancelled&) {
        return;
    }
    const QString preview = CatalogueCsv::previewText(plan);
    if (plan.toAdd == 0) {
        Prompt::information(this, Titles::hint(), preview);
        return;
    }
    if (Prompt::message(this, QMessageBox::Question, Titles::hint(), preview, QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return;

    // The list is read again afterwards, which drops what was not saved, as a search does.
    DBmaster->cancel();
    int added = 0;
    try {
        CsvProgressDialog progress(this, u"正在导入图书……"_s);
        added = CatalogueCsv::apply(connection, plan, progress.callback());
    } catch (const ECsvCancelled&) {
        return; // rolled back: nothing was added
    }
    runSearch(searchText);
    if (QWidget* main = parentWidget()) {
        QEvent refresh(MainRefreshEvent);
        QCoreApplication::sendEvent(main, &refresh);
    }
    Prompt::information(this, Titles::hint(), u"已导入 %1 本图书。"_s.arg(added));
}
