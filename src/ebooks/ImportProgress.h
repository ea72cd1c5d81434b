#pragma once

#include "tasks/BackgroundTask.h"

#include <QPointer>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class EbookImport;
class QProgressDialog;
class QWidget;
class TaskProgress;

// An import as one background task, behind its progress dialog (shown after a
// moment, not modal: the window stays usable meanwhile) with a cancel button.
// Each file is encrypted by a task of its own on a worker thread, then its row
// is written here, on the user-interface thread. Errors are reported through
// the application's error handler and stop the import; cancelling undoes the
// file in hand and keeps the files before it.
class ImportProgress : public BackgroundTask
{
    Q_OBJECT
public:
    using WriteRow = std::function<void(const QString& name, const QString& storedName)>;

    ImportProgress(std::unique_ptr<EbookImport> job, WriteRow writeRow, QWidget* parent);
    // Cancels and waits for the file in hand, which then leaves nothing behind.
    ~ImportProgress() override;

    void start() override;
    void cancel() override;
    QProgressDialog* dialog() const;

private:
    void step();
    void stored();
    void showProgress();
    // Ends the import: Cancelled whenever cancel() was called, else as state says.
    void end(State state = State::Succeeded, const QString& message = QString());

    std::unique_ptr<EbookImport> m_import;
    WriteRow m_writeRow;
    TaskProgress* m_progress;
    QPointer<ThreadTask> m_storing; // the file in hand
    std::shared_ptr<std::atomic<bool>> m_storedWhole;
    QTimer m_timer;
};
