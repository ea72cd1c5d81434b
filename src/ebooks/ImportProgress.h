#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QTimer>

#include <exception>
#include <functional>
#include <memory>

class EbookImport;
class QProgressDialog;
class QWidget;

// Runs an import off the user-interface thread behind a progress dialog with a
// cancel button; the window stays usable meanwhile. Each file is encrypted on
// a worker thread, then its row is written here, on the user-interface thread.
// Errors are reported through the application's error handler and stop the
// import; cancelling undoes the file in hand and keeps the files before it.
class ImportProgress : public QObject
{
    Q_OBJECT
public:
    using WriteRow = std::function<void(const QString& name, const QString& storedName)>;

    ImportProgress(std::unique_ptr<EbookImport> job, WriteRow writeRow, QWidget* parent);
    // Cancels and waits for the file in hand, which then leaves nothing behind.
    ~ImportProgress() override;

    void start();
    void cancel();
    bool isFinished() const { return m_finished; }
    QProgressDialog* dialog() const { return m_dialog; }

signals:
    void finished();

private:
    void step();
    void stored();
    void showProgress();
    void finish();

    std::unique_ptr<EbookImport> m_import;
    WriteRow m_writeRow;
    QProgressDialog* m_dialog;
    QFutureWatcher<std::exception_ptr> m_watcher;
    QTimer m_timer;
    bool m_storing = false;
    bool m_finished = false;
};
