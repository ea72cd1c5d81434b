// The catalogue editor's printed catalogue: every book or those the search shows, as a PDF.

#include "catalogue/CataloguePrint.h"
#include "catalogue/manig.h"
#include "catalogue/uprint.h"
#include "data/RecordSet.h"
#include "data/Settings.h"
#include "catalogue/LibraryTask.h"
#include "tasks/BackgroundTask.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
const QString printSetting = QStringLiteral("catalogue-print");
}

void TForm2::BtnPrintClick()
{
    if (isWorking())
        return;
    Connection& connection = DBmaster->connection();
    QList<qint64> shown;
    if (DBmaster->isOpen()) {
        const int id = DBmaster->fieldIndex(u"id"_s);
        for (int row = 0; row < DBmaster->recordCount(); ++row) {
            bool ok = false;
            const qint64 book = DBmaster->textAt(row, id).toLongLong(&ok);
            if (ok) // a new row not yet saved has no id and is not printed
                shown << book;
        }
    }
    const int all = connection.scalar(u"select count(*) from baseshu"_s).toInt();
    TfmPrint choice(int(shown.size()), all, this);
    choice.recall(Settings::value(connection, printSetting));
    if (choice.exec() != QDialog::Accepted)
        return;
    Settings::setValue(connection, printSetting, choice.remembered());
    const QString suggested
        = QDir::home().filePath(u"青禾书目-%1.pdf"_s.arg(QDate::currentDate().toString(u"yyyyMMdd"_s)));
    QString path = Prompt::getSaveFileName(this, u"打印书目"_s, suggested, u"PDF 文件 (*.pdf)"_s);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += u".pdf"_s;
    auto pages = std::make_shared<int>(0);
    job = LibraryTask::start(
        this, connection.connectionString(), u"正在生成书目……"_s,
        [path, shown, all = !choice.onlyShown(), options = choice.options(), pages](
            Connection& own, const LibraryTask::Progress& progress) {
            *pages = CataloguePrint::catalogue(own, path, shown, all, options, progress);
        },
        [this, path, pages] {
            if (*pages > 0)
                Prompt::information(
                    this, Titles::hint(), u"书目已保存（%1 页）：\n%2"_s.arg(*pages).arg(QDir::toNativeSeparators(path)));
        });
}
