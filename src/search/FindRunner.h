#pragma once

#include "search/FindQuery.h"

#include "search/FindHit.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>

class FullTextLibrary;
class ThreadTask;

// Runs the searches of the search box away from the window's thread, each as
// a background task: each find() stops the one before it, and only the newest reports.
class FindRunner : public QObject
{
    Q_OBJECT
public:
    // library may be null: then no full-text search.
    FindRunner(QString databasePath, FullTextLibrary* library, QObject* parent = nullptr);
    ~FindRunner() override;

    void find(const FindQuery& query, bool fullText);
    // Stops the running search; nothing more is reported for it.
    void cancel();
    // Tests: waits for the running search to end and delivers what it found.
    void waitForDone();

signals:
    void found(const QString& text, const FindResults& results);
    void failed(const QString& text, const QString& message);

private:
    QString m_databasePath;
    FullTextLibrary* m_library;
    QThreadPool m_pool; // one thread: a newer search starts once the older has stopped
    QPointer<ThreadTask> m_task;
};
