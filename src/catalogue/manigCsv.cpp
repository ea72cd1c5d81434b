// The catalogue editor's CSV commands: the paper books out to a file and in from one.

#include "catalogue/CatalogueCsv.h"
#include "catalogue/manig.h"
#include "catalogue/LibraryTask.h"
#include "tasks/BackgroundTask.h"
#include "widgets/Prompt.h"
#include "data/RecordSet.h"
#include "widgets/Titles.h"
#include "widgets/MainRefresh.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString fileFilter()
{
    return u"CSV 文件 (*.csv);;所有文件 (*)"_s;
}

} // namespace

bool TForm2::isWorking() const
{
    return !job.isNull();
}

void TForm2::BtnCsvExportClick()
{
    if (isWorking())
        return;
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
    // A stopped export leaves no file: it is written under another name and renamed when whole.
    auto count = std::make_shared<int>(0);
    job = LibraryTask::start(
        this, DBmaster->connection().connectionString(), u"正在导出书目……"_s,
        [path, count](Connection& connection, const LibraryTask::Progress& progress) {
            *count = CatalogueCsv::exportTo(connection, path, progress);
        },
        [this, path, count] {
            Prompt::information(
                this, Titles::hint(), u"已导出 %1 本图书到\n%2"_s.arg(*count).arg(QDir::toNativeSeparators(path)));
        });
}

void TForm2::BtnCsvImportClick()
{
    if (isWorking())
        return;
    const QString path = Prompt::getOpenFileName(this, u"导入CSV"_s, QString(), fileFilter());
    if (path.isEmpty())
        return;
    auto plan = std::make_shared<CsvImportPlan>();
    job = LibraryTask::start(
        this, DBmaster->connection().connectionString(), u"正在读取 %1……"_s.arg(QFileInfo(path).fileName()),
        [path, plan](Connection& connection, const LibraryTask::Progress& progress) {
            *plan = CatalogueCsv::plan(connection, path, progress);
        },
        [this, plan] { confirmCsvImport(*plan); });
}

void TForm2::confirmCsvImport(const CsvImportPlan& plan)
{
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
    // All or nothing: a stopped import is rolled back.
    auto added = std::make_shared<int>(0);
    job = LibraryTask::start(
        this, DBmaster->connection().connectionString(), u"正在导入图书……"_s,
        [plan, added](Connection& connection, const LibraryTask::Progress& progress) {
            *added = CatalogueCsv::apply(connection, plan, progress);
        },
        [this, added] {
            runSearch(searchText);
            sendMainRefresh(parentWidget());
            Prompt::information(this, Titles::hint(), u"已导入 %1 本图书。"_s.arg(*added));
        });
}
