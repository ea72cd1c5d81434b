#include "backup/AutoBackup.h"

#include "backup/Backup.h"
#include "backup/Restore.h"
#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "format/BackupFormat.h"
#include "platform/Processes.h"
#include "tasks/BackgroundTask.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

const QString prefix = u"青禾书屋自动备份-"_s;
const QString extension = u".qhbak"_s;

// A file being written and checked: hidden, with the writer's process id, never under a backup's name.
QString partName(const QString& name)
{
    return u'.' + name + u'.' + QString::number(QCoreApplication::applicationPid()) + u".part"_s;
}

// What a run that was killed left: its process is gone.
void removeDeadParts(const QDir& folder)
{
    const QString start = u'.' + prefix;
    for (const QString& name : folder.entryList({ start + u'*' + u".part"_s }, QDir::Files | QDir::Hidden)) {
        bool numeric = false;
        const qint64 pid = name.section(u'.', -2, -2).toLongLong(&numeric);
        if (numeric && Processes::isGone(pid))
            QFile::remove(folder.filePath(name));
    }
}

struct RemoveUnlessKept
{
    QString path;
    bool keep = false;
    ~RemoveUnlessKept()
    {
        if (!keep)
            QFile::remove(path);
    }
};

} // namespace

namespace AutoBackup {

QString fileName(const QString& stamp)
{
    return prefix + stamp + extension;
}

QString stampOf(const QDateTime& at)
{
    return at.toLocalTime().toString(u"yyyyMMdd-HHmmss"_s);
}

QString stampInName(const QString& fileName)
{
    static const QRegularExpression form(
        u"^"_s + QRegularExpression::escape(prefix) + u"(\\d{8}-\\d{6}(?:-\\d{1,3})?)"_s
        + QRegularExpression::escape(extension) + u"$"_s);
    const auto match = form.match(fileName);
    return match.hasMatch() ? match.captured(1) : QString();
}

bool isDue(const QString& folder, int days, const QDateTime& last, const QDateTime& now)
{
    if (folder.trimmed().isEmpty() || days <= 0)
        return false;
    // A last backup "in the future" means the clock was wrong then or is now: one more does no harm.
    return !last.isValid() || last.addDays(days) <= now || last > now.addDays(1);
}

Outcome run(const Job& job, TaskControl& control)
{
    Outcome outcome;
    const QFileInfo folderInfo(job.folder);
    if (job.folder.trimmed().isEmpty() || !folderInfo.isDir()) {
        outcome.kind = Outcome::FolderMissing;
        return outcome;
    }
    const QDir folder(folderInfo.absoluteFilePath());
    removeDeadParts(folder);

    // A name no file has yet (two libraries may share the folder).
    QString stamp = stampOf(job.now);
    for (int n = 1; QFileInfo::exists(folder.filePath(fileName(stamp))) && n < 1000; ++n)
        stamp = stampOf(job.now) + u'-' + QString::number(n);
    const QString target = folder.filePath(fileName(stamp));
    const QString part = folder.filePath(partName(fileName(stamp)));

    ConnectionString settings(job.connectionString);
    settings.setValue(u"Mode"_s, u"Read"_s);
    Connection connection(settings.toString());
    connection.open();

    RemoveUnlessKept written { part };
    // Half the bar for writing, half for the check.
    const auto half = [&control](int which, qint64 done, qint64 total) {
        const qint64 all = std::max<qint64>(total, 1);
        control.step(which * all + done, 2 * all);
    };
    {
        Backup backup(connection);
        backup.setProgress([&](qint64 done, qint64 total) {
            half(0, done, total);
            if (control.isCancelled())
                backup.cancel();
        });
        if (!backup.write(part)) {
            outcome.kind = Outcome::Cancelled;
            return outcome;
        }
    }
    if (job.afterWrite)
        job.afterWrite(part);
    {
        Restore check(connection);
        check.setProgress([&](qint64 done, qint64 total) {
            half(1, done, total);
            if (control.isCancelled())
                check.cancel();
        });
        try {
            if (!check.verify(part)) {
                outcome.kind = Outcome::Cancelled;
                return outcome;
            }
        } catch (const Exception& error) {
            BackupFormat::fail(u"备份文件没有通过校验：%1"_s.arg(QString::fromStdString(error.message())));
        }
    } // its staging folder goes here
    BackupFormat::renameDurably(part, target);
    written.keep = true;
    outcome.file = target;

    // Only now that the new one is whole: the oldest beyond the number kept.
    QStringList made;
    for (const QString& old : job.made)
        if (!stampInName(fileName(old)).isEmpty() && old != stamp && !made.contains(old))
            made << old;
    made.sort();
    made << stamp;
    while (made.size() > std::max(job.keep, 1)) {
        const QString path = folder.filePath(fileName(made.first()));
        const QFileInfo old(path);
        // Only a plain file under the name it was given: a link or folder put there is not ours.
        if (old.isFile() && !old.isSymLink()) {
            if (!QFile::remove(path))
                break; // tried again after the next backup
            outcome.removed << path;
        }
        made.removeFirst();
    }
    outcome.made = made;
    return outcome;
}

} // namespace AutoBackup
