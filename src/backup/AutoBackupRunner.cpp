#include "backup/AutoBackupRunner.h"

#include "backup/AutoBackup.h"
#include "data/Connection.h"
#include "data/Options.h"
#include "data/Settings.h"
#include "tasks/BackgroundTask.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

using namespace Qt::StringLiterals;

AutoBackupRunner::AutoBackupRunner(Connection& connection, QObject* parent)
    : QObject(parent)
    , m_connection(connection)
    , m_now([] { return QDateTime::currentDateTimeUtc(); })
{ }

AutoBackupRunner::~AutoBackupRunner()
{
    delete m_task.data(); // cancels and waits for the work to return
}

bool AutoBackupRunner::isRunning() const
{
    return m_task && m_task->isRunning();
}

void AutoBackupRunner::setStatus(const QString& text)
{
    m_status = text;
    emit statusChanged(text);
}

bool AutoBackupRunner::startIfDue()
{
    if (isRunning())
        return false;
    const Options options = Options::load(m_connection);
    const QDateTime now = m_now();
    const QDateTime last
        = QDateTime::fromString(Settings::value(m_connection, QString::fromLatin1(AutoBackup::lastKey)), Qt::ISODate);
    if (!AutoBackup::isDue(options.backupFolder, options.backupDays, last, now))
        return false;

    AutoBackup::Job job;
    job.connectionString = m_connection.connectionString();
    job.folder = options.backupFolder;
    job.keep = options.backupKeep;
    job.now = now;
    job.made = Settings::value(m_connection, QString::fromLatin1(AutoBackup::madeKey)).split(u' ', Qt::SkipEmptyParts);
    job.afterWrite = m_afterWrite;
    auto outcome = std::make_shared<AutoBackup::Outcome>();
    auto* task = new ThreadTask([job, outcome](TaskControl& control) { *outcome = AutoBackup::run(job, control); }, this);
    task->setAutoDelete(true);
    m_task = task;
    const QString folder = QDir::toNativeSeparators(QFileInfo(job.folder).absoluteFilePath());
    connect(task, &BackgroundTask::progressed, this, [this](qint64 done, qint64 total) {
        const int percent = total > 0 ? int(done * 100 / total) : 0;
        setStatus(u"正在自动备份…… %1%"_s.arg(percent));
    });
    connect(task, &BackgroundTask::finished, this, [this, task, outcome, now, folder] {
        switch (task->state()) {
        case BackgroundTask::State::Succeeded:
            if (outcome->kind == AutoBackup::Outcome::FolderMissing) {
                // Said once; the next start tries again.
                setStatus(u"自动备份未完成：找不到备份文件夹 %1"_s.arg(folder));
            } else if (outcome->kind == AutoBackup::Outcome::Done) {
                try {
                    Settings::setValue(m_connection, QString::fromLatin1(AutoBackup::lastKey),
                        now.toUTC().toString(Qt::ISODate));
                    Settings::setValue(
                        m_connection, QString::fromLatin1(AutoBackup::madeKey), outcome->made.join(u' '));
                    setStatus(u"自动备份完成：%1"_s.arg(QDir::toNativeSeparators(outcome->file)));
                } catch (const Exception& error) {
                    setStatus(u"自动备份已写好，但无法记下：%1"_s.arg(QString::fromStdString(error.message())));
                }
            } else {
                setStatus(QString());
            }
            break;
        case BackgroundTask::State::Failed:
            setStatus(u"自动备份未完成：%1"_s.arg(task->errorMessage()));
            break;
        default:
            setStatus(QString());
            break;
        }
        emit ended();
    });
    setStatus(u"正在自动备份……"_s);
    task->start();
    return true;
}
