#include "backup/BackupDialogs.h"

#include "backup/Backup.h"
#include "backup/Restore.h"
#include "data/RecordSet.h"
#include "data/Sql.h"
#include "format/BackupFormat.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/SizeText.h"
#include "widgets/Titles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QPointer>
#include <QProgressDialog>
#include <QStandardPaths>

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

// The one progress dialog of a backup or a check: bytes done of all, a cancel button.
// It blocks the other windows, so nothing else starts while events come through.
class Progress
{
public:
    Progress(QWidget* parent, const QString& label, std::function<void()> cancel)
        : m_dialog(label, u"取消"_s, 0, 1000, parent)
        , m_label(label)
        , m_cancel(std::move(cancel))
    {
        m_dialog.setObjectName(u"BackupProgress"_s);
        m_dialog.setWindowTitle(Titles::application());
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setMinimumDuration(300);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setValue(0);
    }

    std::function<void(qint64, qint64)> callback()
    {
        return [this](qint64 done, qint64 total) {
            if (total > 0)
                m_dialog.setValue(int(std::clamp<qint64>(done * 1000 / total, 0, 1000)));
            m_dialog.setLabelText(u"%1\n%2 / %3"_s.arg(m_label, sizeText(done), sizeText(total)));
            QCoreApplication::processEvents();
            if (m_dialog.wasCanceled())
                m_cancel();
        };
    }

    void close() { m_dialog.close(); }

private:
    QProgressDialog m_dialog;
    QString m_label;
    std::function<void()> m_cancel;
};

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

void backup(QWidget* parent, Connection& connection)
{
    QString path = Prompt::getSaveFileName(
        parent, u"备份数据"_s, defaultFolder() + u'/' + Backup::defaultFileName(), fileFilter);
    if (path.isEmpty())
        return;
    if (!path.endsWith(extension, Qt::CaseInsensitive))
        path += extension;
    if (insideStore(path)) {
        Prompt::error(parent, Titles::product(),
            u"备份不能保存在电子书库文件夹“corvina”中（恢复时它会被整个替换），请换一个文件夹。"_s);
        return;
    }
    Backup backup(connection);
    bool written = false;
    {
        Progress progress(parent, u"正在备份数据……"_s, [&backup] { backup.cancel(); });
        backup.setProgress(progress.callback());
        try {
            written = backup.write(path);
        } catch (const Exception& error) {
            progress.close();
            Prompt::error(parent, Titles::product(), u"备份没有成功，没有留下备份文件：\n"_s + message(error));
            return;
        }
    }
    if (!written) {
        Prompt::information(parent, Titles::hint(), u"备份已取消，没有留下备份文件。"_s);
        return;
    }
    Prompt::information(parent, Titles::product(), savedText(connection, backup.result(), path));
}

bool restore(QWidget* parent, Connection& connection, const std::function<void()>& reread)
{
    const QString path = Prompt::getOpenFileName(parent, u"恢复数据"_s, defaultFolder(), fileFilter);
    if (path.isEmpty())
        return false;
    Restore restore(connection);
    {
        Progress progress(parent, u"正在检查备份文件……"_s, [&restore] { restore.cancel(); });
        restore.setProgress(progress.callback());
        try {
            if (!restore.verify(path))
                return false; // cancelled; nothing was changed
        } catch (const Exception& error) {
            progress.close();
            Prompt::error(parent, Titles::product(), u"这个备份不能恢复，书库没有任何改动：\n"_s + message(error));
            return false;
        }
    }
    const Restore::Summary summary = restore.summary();
    if (Prompt::message(parent, QMessageBox::Question, Titles::product(), confirmationText(summary),
            QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return false;

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
        return false;
    }
    Prompt::information(parent, Titles::product(),
        u"恢复完成：纸书 %1 本，电子书 %2 本。"_s.arg(summary.booksInBackup).arg(summary.ebooksInBackup));
    return true;
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

} // namespace BackupDialogs
