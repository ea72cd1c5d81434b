// The catalogue editor's printed catalogue: every book or those the search shows, as a PDF.

#include "catalogue/CataloguePrint.h"
#include "catalogue/manig.h"
#include "catalogue/uprint.h"
#include "data/RecordSet.h"
#include "data/Settings.h"
#include "widgets/ProgressDialog.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {
const QString printSetting = QStringLiteral("catalogue-print");
}

void TForm2::BtnPrintClick()
{
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
    int pages = 0;
    {
        ProgressDialog progress(this, u"正在生成书目……"_s, u"取消"_s);
        pages = CataloguePrint::catalogue(connection, path, shown, !choice.onlyShown(), choice.options(),
            [&progress](qint64 done, qint64 total) { return progress.report(done, total); });
    }
    if (pages > 0)
        Prompt::information(this, Titles::hint(), u"书目已保存（%1 页）：\n%2"_s.arg(pages).arg(QDir::toNativeSeparators(path)));
}
