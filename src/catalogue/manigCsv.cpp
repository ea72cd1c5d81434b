// The catalogue editor's CSV commands: the paper books out to a file and in from one.

#include "catalogue/CatalogueCsv.h"
#include "catalogue/manig.h"
#include "widgets/ProgressDialog.h"
#include "widgets/Prompt.h"
#include "data/RecordSet.h"
#include "widgets/Titles.h"
#include "widgets/MainRefresh.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

QString fileFilter()
{
    return u"CSV 文件 (*.csv);;所有文件 (*)"_s;
}

// Long work behind a progress dialog with a cancel button.
CsvProgress reportTo(ProgressDialog& dialog)
{
    return [&dialog](qint64 done, qint64 total) { return dialog.report(done, total); };
}

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
        ProgressDialog progress(this, u"正在导出书目……"_s, u"取消"_s);
        count = CatalogueCsv::exportTo(DBmaster->connection(), path, reportTo(progress));
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
        ProgressDialog progress(this, u"正在读取 %1……"_s.arg(QFileInfo(path).fileName()), u"取消"_s);
        plan = CatalogueCsv::plan(connection, path, reportTo(progress));
    } catch (const ECsvCancelled&) {
        return;
    }
    const QString preview = CatalogueCsv::previewText(plan);
    const QString details = CatalogueCsv::previewDetails(plan);
    if (plan.toAdd == 0) {
        Prompt::message(this, QMessageBox::Information, Titles::hint(), preview, QMessageBox::Ok, details);
        return;
    }
    if (Prompt::message(this, QMessageBox::Question, Titles::hint(), preview, QMessageBox::Ok | QMessageBox::Cancel,
            details)
        != QMessageBox::Ok)
        return;

    // The list is read again afterwards, which drops what was not saved, as a search does.
    DBmaster->cancel();
    int added = 0;
    try {
        ProgressDialog progress(this, u"正在导入图书……"_s, u"取消"_s);
        added = CatalogueCsv::apply(connection, plan, reportTo(progress));
    } catch (const ECsvCancelled&) {
        return; // rolled back: nothing was added
    }
    runSearch(searchText);
    sendMainRefresh(parentWidget());
    Prompt::information(this, Titles::hint(), u"已导入 %1 本图书。"_s.arg(added));
}
