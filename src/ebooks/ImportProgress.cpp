#include "ebooks/ImportProgress.h"

#include "ebooks/EbookImport.h"
#include "widgets/ErrorHandler.h"
#include "widgets/SizeText.h"

#include <QLocale>
#include <QProgressDialog>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

ImportProgress::ImportProgress(std::unique_ptr<EbookImport> job, WriteRow writeRow, QWidget* parent)
    : QObject(parent)
    , m_import(std::move(job))
    , m_writeRow(std::move(writeRow))
    , m_dialog(new QProgressDialog(parent))
{
    m_dialog->setObjectName(u"ImportProgress"_s);
    m_dialog->setWindowTitle(u"导入电子书"_s);
    m_dialog->setWindowModality(Qt::NonModal);
    m_dialog->setCancelButtonText(u"取消"_s);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumDuration(300);
    m_dialog->setRange(0, 1000);
    m_dialog->setMinimumWidth(420);
    connect(m_dialog, &QProgressDialog::canceled, this, &ImportProgress::cancel);
    connect(&m_watcher, &QFutureWatcher<std::exception_ptr>::finished, this, &ImportProgress::stored);
    m_timer.setInterval(100);
    connect(&m_timer, &QTimer::timeout, this, &ImportProgress::showProgress);
}

ImportProgress::~ImportProgress()
{
    m_import->cancel();
    if (m_storing) {
        m_watcher.waitForFinished();
        // Stored but its row never written: the file goes again.
        if (!m_watcher.result())
            m_import->discardCurrent();
    }
    delete m_dialog;
}

void ImportProgress::start()
{
    m_timer.start();
    step();
}

void ImportProgress::cancel()
{
    m_import->cancel();
}

void ImportProgress::step()
{
    if (!m_import->next()) {
        finish();
        return;
    }
    showProgress();
    m_storing = true;
    EbookImport* job = m_import.get();
    m_watcher.setFuture(QtConcurrent::run([job]() -> std::exception_ptr {
        try {
            job->storeCurrent();
            return nullptr;
        } catch (...) {
            return std::current_exception();
        }
    }));
}

void ImportProgress::stored()
{
    m_storing = false;
    if (const std::exception_ptr error = m_watcher.result()) {
        ErrorHandler::guard([error] {
            try {
                std::rethrow_exception(error);
            } catch (const EImportCancelled&) { }
        });
        finish();
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
        finish();
        return;
    }
    m_import->commitCurrent();
    step();
}

void ImportProgress::showProgress()
{
    if (m_finished)
        return;
    const qint64 done = m_import->bytesDone();
    const qint64 total = m_import->bytesTotal();
    m_dialog->setLabelText(u"正在导入第 %1 个文件，共 %2 个：\n%3\n%4 / %5"_s.arg(m_import->index() + 1)
                               .arg(m_import->count())
                               .arg(m_import->name(), sizeText(done), sizeText(total)));
    m_dialog->setValue(total > 0 ? int(done * 1000 / total) : 0);
}

void ImportProgress::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    m_dialog->hide();
    emit finished();
}
