#include "ebooks/ImportProgress.h"

#include "ebooks/EbookImport.h"
#include "widgets/ErrorHandler.h"
#include "widgets/SizeText.h"
#include "widgets/TaskProgress.h"

#include <QLocale>

using namespace Qt::StringLiterals;

ImportProgress::ImportProgress(std::unique_ptr<EbookImport> job, WriteRow writeRow, QWidget* parent)
    : BackgroundTask(parent)
    , m_import(std::move(job))
    , m_writeRow(std::move(writeRow))
    , m_progress(new TaskProgress(this, parent, u"导入电子书"_s))
{
    m_progress->setDialogObjectName(u"ImportProgress"_s);
    m_progress->setModality(Qt::NonModal);
    m_timer.setInterval(TaskProgress::UpdateMs);
    connect(&m_timer, &QTimer::timeout, this, &ImportProgress::showProgress);
}

ImportProgress::~ImportProgress()
{
    m_import->cancel();
    if (m_storing) {
        delete m_storing.data(); // waits for its work
        // Stored but its row never written: the file goes again.
        if (m_storedWhole && *m_storedWhole)
            m_import->discardCurrent();
    }
}

QProgressDialog* ImportProgress::dialog() const
{
    return m_progress->dialog();
}

void ImportProgress::start()
{
    if (state() != State::Ready)
        return;
    markRunning();
    m_timer.start();
    step();
}

void ImportProgress::cancel()
{
    m_import->cancel();
    BackgroundTask::cancel();
}

void ImportProgress::step()
{
    if (!m_import->next()) {
        end();
        return;
    }
    showProgress();
    auto whole = std::make_shared<std::atomic<bool>>(false);
    m_storedWhole = whole;
    EbookImport* job = m_import.get();
    m_storing = new ThreadTask(
        [job, whole](TaskControl&) {
            job->storeCurrent();
            *whole = true;
        },
        this);
    connect(m_storing, &BackgroundTask::finished, this, &ImportProgress::stored);
    m_storing->start();
}

void ImportProgress::stored()
{
    ThreadTask* task = m_storing;
    m_storing = nullptr;
    task->deleteLater();
    if (const std::exception_ptr error = task->error()) {
        const bool cancelled = ErrorHandler::guard([error] {
            try {
                std::rethrow_exception(error);
            } catch (const EImportCancelled&) { }
        });
        end(cancelled ? State::Succeeded : State::Failed, task->errorMessage());
        return;
    }
    const bool written = ErrorHandler::guard([this] {
        try {
            m_writeRow(m_import->title(), m_import->storedName());
        } catch (...) {
            m_import->discardCurrent();
            throw;
        }
    });
    if (!written) {
        end(State::Failed);
        return;
    }
    m_import->commitCurrent();
    step();
}

void ImportProgress::showProgress()
{
    if (isFinished())
        return;
    const qint64 done = m_import->bytesDone();
    const qint64 total = m_import->bytesTotal();
    reportStep(done, total,
        u"正在导入第 %1 个文件，共 %2 个：\n%3\n%4 / %5"_s.arg(m_import->index() + 1)
            .arg(m_import->count())
            .arg(m_import->name(), sizeText(done), sizeText(total)));
}

void ImportProgress::end(State state, const QString& message)
{
    m_timer.stop();
    finish(cancelRequested() ? State::Cancelled : state, message);
}
