#include "backup/BackupDialogs.h"

#include "backup/Backup.h"
#include "backup/Compaction.h"
#include "backup/Restore.h"
#include "data/RecordSet.h"
#include "data/Sql.h"
#include "format/BackupFormat.h"
#include "tasks/BackgroundTask.h"
#include "widgets/TaskProgress.h"
#include "widgets/ErrorHandler.h"
#include "widgets/InputHold.h"
#include "widgets/Prompt.h"
#include "widgets/SizeText.h"
#include "widgets/Titles.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QPointer>
#include <QScopeGuard>
#include <QStandardPaths>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString fileFilter = u"青禾书屋备份 (*.qhbak);;所有文件 (*)"_s;
const QString extension = u".qhbak"_s;

QString defaultFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() || !QFileInfo(documents).isDir() ? QDir::homePath() : documents;
}

QString message(const Exception& error)
{
    return QString::fromStdString(error.message());
}

// The dialog of a backup or a check: the bytes done of all, 取消, over every window
// (nothing else starts meanwhile), shown after a moment as every task's is.
void showProgress(BackgroundTask* task, QWidget* parent, const QString& label)
{
    auto* progress = new TaskProgress(task, parent, Titles::application());
    progress->setDialogObjectName(u"BackupProgress"_s);
    progress->setModality(Qt::ApplicationModal);
    progress->setLabel([label](qint64 done, qint64 total, const QString&) {
        return u"%1\n%2 / %3"_s.arg(label, sizeText(done), sizeText(total));
    });
}

// The message of what a thread's work threw.
QString failureOf(const BackgroundTask& task)
{
    try {
        task.rethrow();
    } catch (const Exception& error) {
        return message(error);
    } catch (...) {
    }
    return task.errorMessage();
}

class WaitCursor
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// A restore replaces the store folder with everything in it, a backup saved there included.
bool insideStore(const QString& path)
{
    const QString store = QFileInfo(AppPaths::path(u"corvina"_s)).canonicalFilePath();
    const QString folder = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    return !store.isEmpty() && (folder == store || folder.startsWith(store + u'/'));
}

QString savedText(Connection& connection, const Backup::Result& result, const QString& path)
{
    // One arg() for all: a path may itself hold "%2".
    QString text
        = u"备份完成，已保存到：\n%1\n\n纸书 %2 本，电子书 %3 本，共 %4。"_s.arg(QDir::toNativeSeparators(path),
            QString::number(result.books), QString::number(result.ebooks), sizeText(result.bytes));
    if (!result.missing.isEmpty()) {
        text += u"\n\n以下 %1 本电子书的文件在电子书库中找不到，没有备份："_s.arg(result.missing.size());
        constexpr int listed = 10;
        for (const QString& stored : result.missing.mid(0, listed)) {
            QString name;
            try {
                name = connection.scalar(u"select name from dzbook where filename="_s + Sql::quoted(stored));
            } catch (const Exception&) { }
            text += u"\n  "_s + (name.isEmpty() ? stored : name);
        }
        if (result.missing.size() > listed)
            text += u"\n  ……"_s;
    }
    if (result.unlisted > 0)
        text += u"\n\n电子书库中另有 %1 个没有记录的电子书文件，没有备份。"_s.arg(result.unlisted);
    return text;
}

QString confirmationText(const Restore::Summary& s)
{
    const QString created
        = s.created.isValid() ? QLocale::c().toString(s.created.toLocalTime(), u"yyyy-MM-dd HH:mm"_s) : u"不详"_s;
    QString text = u"确定要用这个备份恢复书库吗？\n\n备份时间：%1\n现在的书库：纸书 %2 本，电子书 %3 本\n"
                   "备份中的书库：纸书 %4 本，电子书 %5 本\n\n现在的纸书和电子书将全部换成备份中的。"_s.arg(created)
                       .arg(s.booksNow)
                       .arg(s.ebooksNow)
                       .arg(s.booksInBackup)
                       .arg(s.ebooksInBackup);
    if (s.ebooksNotInBackup > 0)
        text += u"备份之后导入的 %1 本电子书将随现在的电子书库一起删除。"_s.arg(s.ebooksNotInBackup);
    text += u"\n已打开的窗口中没有保存的修改将被放弃。"_s;
    return text;
}

// Handlers that run on a set's signals may make or free sets: each is checked before use.
QList<QPointer<RecordSet>> liveSets(const Connection& connection)
{
    QList<QPointer<RecordSet>> sets;
    for (RecordSet* set : connection.recordSets())
        sets.append(set);
    return sets;
}

bool ownedBy(const QObject* object, const QObject* owner)
{
    for (; owner && object; object = object->parent())
        if (object == owner)
            return true;
    return false;
}

} // namespace

namespace BackupDialogs {

BackgroundTask* backup(QWidget* parent, Connection& connection)
{
    QString path = Prompt::getSaveFileName(
        parent, u"备份数据"_s, defaultFolder() + u'/' + Backup::defaultFileName(), fileFilter);
    if (path.isEmpty())
        return nullptr;
    if (!path.endsWith(extension, Qt::CaseInsensitive))
        path += extension;
    if (insideStore(path)) {
        Prompt::error(parent, Titles::product(),
            u"备份不能保存在电子书库文件夹“corvina”中（恢复时它会被整个替换），请换一个文件夹。"_s);
        return nullptr;
    }
    // Written on a thread from a connection of its own; the snapshot is taken through it.
    struct Outcome
    {
        bool written = false;
        Backup::Result result;
    };
    auto outcome = std::make_shared<Outcome>();
    auto* task = new ThreadTask(
        [source = connection.connectionString(), path, outcome](TaskControl& control) {
            Connection own(source);
            Backup backup(own);
            backup.setProgress([&control, &backup](qint64 done, qint64 total) {
                if (!control.step(done, total))
                    backup.cancel();
            });
            outcome->written = backup.write(path);
            outcome->result = backup.result();
        },
        parent);
    task->setObjectName(u"BackupTask"_s);
    task->setAutoDelete(true);
    showProgress(task, parent, u"正在备份数据……"_s);
    QPointer<QWidget> window = parent;
    QObject::connect(task, &BackgroundTask::finished, parent, [task, window, &connection, path, outcome] {
        // A backup written whole before 取消 arrived stands, and is told.
        if (task->state() == BackgroundTask::State::Failed)
            Prompt::error(window, Titles::product(), u"备份没有成功，没有留下备份文件：\n"_s + failureOf(*task));
        else if (!outcome->written)
            Prompt::information(window, Titles::hint(), u"备份已取消，没有留下备份文件。"_s);
        else
            Prompt::information(window, Titles::product(), savedText(connection, outcome->result, path));
    });
    task->start();
    return task;
}

BackgroundTask* restore(QWidget* parent, Connection& connection, std::function<void()> reread)
{
    const QString path = Prompt::getOpenFileName(parent, u"恢复数据"_s, defaultFolder(), fileFilter);
    if (path.isEmpty())
        return nullptr;
    // Checked and unpacked on a thread, reading the library in use through a
    // connection of its own; the swap itself is quick and happens here.
    auto restore = std::make_shared<Restore>(connection);
    auto verified = std::make_shared<bool>(false);
    auto* task = new ThreadTask(
        [source = connection.connectionString(), path, restore, verified](TaskControl& control) {
            Connection own(source);
            restore->readThrough(&own);
            const auto back = qScopeGuard([&restore] { restore->readThrough(nullptr); });
            restore->setProgress([&control, &restore](qint64 done, qint64 total) {
                if (!control.step(done, total))
                    restore->cancel();
            });
            *verified = restore->verify(path);
        },
        parent);
    task->setObjectName(u"BackupTask"_s);
    task->setAutoDelete(true);
    showProgress(task, parent, u"正在检查备份文件……"_s);
    QPointer<QWidget> window = parent;
    QObject::connect(task, &BackgroundTask::finished, parent,
        [task, window, &connection, restore, verified, reread = std::move(reread)] {
            if (task->state() == BackgroundTask::State::Failed) {
                Prompt::error(
                    window, Titles::product(), u"这个备份不能恢复，书库没有任何改动：\n"_s + failureOf(*task));
                return;
            }
            if (task->state() == BackgroundTask::State::Cancelled || !*verified)
                return; // nothing was changed
            apply(window, connection, *restore, reread);
        });
    task->start();
    return task;
}

void apply(QWidget* parent, Connection& connection, Restore& restore, const std::function<void()>& reread)
{
    const Restore::Summary summary = restore.summary();
    if (Prompt::message(parent, QMessageBox::Question, Titles::product(), confirmationText(summary),
            QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return;

    // Pending edits are dropped, never posted into either library.
    for (const QPointer<RecordSet>& set : liveSets(connection))
        if (set)
            set->cancel();
    QString failure;
    {
        const WaitCursor wait;
        try {
            restore.apply();
        } catch (const Exception& error) {
            failure = message(error);
        }
        ErrorHandler::guard(reread);
    }
    if (!failure.isEmpty()) {
        Prompt::error(parent, Titles::product(), failure);
        return;
    }
    Prompt::information(parent, Titles::product(),
        u"恢复完成：纸书 %1 本，电子书 %2 本。"_s.arg(summary.booksInBackup).arg(summary.ebooksInBackup));
}

void rereadRecordSets(Connection& connection, const QObject* skip)
{
    for (const QPointer<RecordSet>& set : liveSets(connection)) {
        if (!set || !set->isOpen() || ownedBy(set, skip))
            continue;
        try {
            set->cancel();
            set->refresh();
        } catch (const Exception&) {
            set->close();
        }
    }
}

BackgroundTask* compact(QWidget* parent, Connection& connection, std::function<void()> reopened)
{
    const QString password = Compaction::databasePassword();
    const QString path = connection.databasePath();
    connection.hold(u"正在压缩数据库，请稍候再试。"_s);
    struct Outcome
    {
        bool compacted = false;
        QString reason;
    };
    auto outcome = std::make_shared<Outcome>();
    auto* task = new ThreadTask(
        [path, password, outcome](TaskControl&) {
            outcome->compacted = Compaction::RunCompaction(path, password, &outcome->reason);
        },
        parent);
    task->setObjectName(u"CompactTask"_s);
    task->setCancellable(false); // the rename at its end is one step; the copy before it is quick
    task->setAutoDelete(true);
    QPointer<InputHold> hold = new InputHold(task);
    auto* progress = new TaskProgress(task, parent, Titles::application());
    progress->setDialogObjectName(u"CompactProgress"_s);
    progress->setModality(Qt::ApplicationModal);
    progress->setLabel([](qint64, qint64, const QString&) { return u"正在压缩数据库……"_s; });
    QObject::connect(task, &BackgroundTask::finished, parent,
        [parent, &connection, task, outcome, hold, reopened = std::move(reopened)] {
            delete hold.data(); // the messages below wait for the user
            connection.release();
            if (task->state() == BackgroundTask::State::Failed)
                Prompt::information(parent, Titles::application(), failureOf(*task));
            else if (outcome->compacted)
                Prompt::information(parent, Titles::application(), u"压库成功"_s);
            else
                Prompt::error(parent, Titles::product(), u"压缩失败："_s + outcome->reason);
            // Back online in every outcome; a library that cannot be opened is reported.
            ErrorHandler::guard([&] {
                connection.open();
                if (reopened)
                    reopened();
            });
        });
    task->start();
    return task;
}

} // namespace BackupDialogs
