#include "ebooks/OrphanBooks.h"

#include "data/Trash.h"

#include "data/RecordSet.h"
#include "ebooks/EbookStore.h"
#include "widgets/Prompt.h"
#include "widgets/SizeText.h"
#include "widgets/Titles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

// A file changed within the last minute may be another running copy's import in hand.
constexpr int SettledSeconds = 60;
// The column's width.
constexpr qsizetype NameLength = 50;

} // namespace

namespace OrphanBooks {

QString titleOf(const QString& storeFile, const WorkerSettings& settings, const PdfWorkerClient::Cancelled& cancelled)
{
    PdfWorkerClient worker(settings);
    const WorkerResult result = worker.run(WorkerJob::title(storeFile), {}, cancelled);
    return result.result() == u"ok"_s ? result.body.value(u"title"_s).toString().simplified() : QString();
}

QStringList ask(QWidget* parent, RecordSet& list, const EbookStore& store)
{
    const QDateTime settled = QDateTime::currentDateTime().addSecs(-SettledSeconds);
    store.removeUnfinished(settled);
    store.removeStrayCompanions();
    RecordSet rows(list.connection());
    rows.setSql(u"select filename from dzbook"_s);
    rows.open();
    QSet<QString> listed;
    for (int row = 0; row < rows.recordCount(); ++row)
        listed.insert(rows.textAt(row, 0));
    for (const QString& binned : Trash::storedNames(list.connection()))
        listed.insert(binned); // a book in the bin whose file has not followed it yet

    const QStringList found = store.unlisted(listed, settled);
    if (found.isEmpty())
        return {};
    // Which files, behind 显示详情: their names in the store, sizes and times.
    QStringList details;
    for (const QString& storedName : found) {
        const QFileInfo file(store.path(storedName));
        details << u"%1    %2    %3"_s.arg(
            storedName, sizeText(file.size()), file.lastModified().toString(u"yyyy-MM-dd HH:mm"_s));
    }
    if (Prompt::message(parent, QMessageBox::Question, Titles::hint(),
            u"发现 %1 个没有记录的电子书文件，是否恢复？"_s.arg(found.size()), QMessageBox::Ok | QMessageBox::Cancel,
            u"电子书文件夹：%1\n\n%2"_s.arg(QDir::toNativeSeparators(store.folder()), details.join(u'\n')))
        != QMessageBox::Ok)
        return {};
    return found;
}

int takeBack(RecordSet& list, const QStringList& found, const QStringList& titles)
{
    if (!list.isOpen())
        list.open();
    int untitled = 0;
    int added = 0;
    for (qsizetype i = 0; i < found.size(); ++i) {
        const QString& storedName = found.at(i);
        QString name = titles.value(i).left(NameLength).trimmed();
        if (name.isEmpty())
            name = u"找回的电子书 %1"_s.arg(++untitled);
        try {
            list.append();
            list.setText(u"name"_s, name);
            list.setText(u"filename"_s, storedName);
            list.post();
        } catch (...) {
            if (list.state() == RecordSet::State::Insert)
                list.cancel();
            throw;
        }
        ++added;
    }
    return added;
}

} // namespace OrphanBooks
