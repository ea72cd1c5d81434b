#pragma once

// Starts the automatic backup (AutoBackup.h) when one is due, on a thread of its
// own, and tells how it goes in one line for the status bar:
//   "正在自动备份…… 40%", "自动备份完成：<file>",
//   "自动备份未完成：找不到备份文件夹 <folder>", "自动备份未完成：<why>".
// The window's thread never waits on it; destroying the runner stops the work
// (what it leaves is no file under a backup's name).

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class Connection;
class ThreadTask;

class AutoBackupRunner : public QObject
{
    Q_OBJECT
public:
    explicit AutoBackupRunner(Connection& connection, QObject* parent = nullptr);
    ~AutoBackupRunner() override;

    // Reads the settings; starts a backup when one is due. True when one started.
    bool startIfDue();
    bool isRunning() const;
    QString statusText() const { return m_status; }

    // Tests: the time it runs at, and a look at the file before it is checked.
    void setNow(std::function<QDateTime()> now) { m_now = std::move(now); }
    void setAfterWrite(std::function<void(const QString& path)> hook) { m_afterWrite = std::move(hook); }

signals:
    void statusChanged(const QString& text);
    // The backup has ended, whatever the outcome (the status says which).
    void ended();

private:
    void setStatus(const QString& text);

    Connection& m_connection;
    QPointer<ThreadTask> m_task;
    QString m_status;
    std::function<QDateTime()> m_now;
    std::function<void(const QString&)> m_afterWrite;
};
