#include "ebooks/BookChecks.h"

#include "pdfworker/WorkerTask.h"

#include <QCborArray>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

void endTask(QPointer<ThreadTask>& task)
{
    if (task) {
        task->disconnect();
        task->cancel();
        task->setAutoDelete(true);
    }
    task.clear();
}

} // namespace

QList<PdfViewer::OutlineEntry> BookChecks::outlineOf(const WorkerResult& result)
{
    QList<PdfViewer::OutlineEntry> entries;
    if (result.result() != u"ok"_s)
        return entries;
    for (const QCborValue& item : result.body.value(u"items"_s).toArray()) {
        const QCborMap map = item.toMap();
        entries.append({ map.value(u"title"_s).toString(), int(map.value(u"page"_s).toInteger()),
            int(map.value(u"level"_s).toInteger()) });
    }
    return entries;
}

QStringList BookChecks::labelsOf(const WorkerResult& result)
{
    QStringList labels;
    if (result.result() == u"ok"_s)
        for (const QCborValue& label : result.body.value(u"labels"_s).toArray())
            labels << label.toString();
    return labels;
}

BookChecks::BookChecks(PdfGuard& guard, QObject* parent)
    : QObject(parent)
    , m_guard(guard)
{
    m_pool.setMaxThreadCount(4);
}

BookChecks::~BookChecks()
{
    // Tasks still running end their workers; the pool waits for them.
    for (QPointer<ThreadTask>* task : { &m_check, &m_outline })
        if (*task)
            (*task)->cancel();
    m_pool.waitForDone();
}

int BookChecks::startCheck(const QString& storeFile, const QString& storedName, const QString& password)
{
    cancelCheck();
    const int serial = ++m_serial;
    auto outcome = std::make_shared<PdfGuard::Outcome>();
    auto* task = new ThreadTask([this, outcome, storeFile, storedName, password](TaskControl& control) {
        *outcome = m_guard.check(storeFile, storedName, password, [&control] { return control.isCancelled(); });
    });
    task->setParent(this);
    task->setPool(&m_pool);
    task->setCancellable(true);
    connect(task, &BackgroundTask::finished, this, [this, task, serial, outcome] {
        if (m_check == task)
            m_check.clear();
        task->deleteLater();
        if (task->state() == BackgroundTask::State::Succeeded)
            emit checked(serial, *outcome);
    });
    m_check = task;
    task->start();
    return serial;
}

void BookChecks::cancelCheck()
{
    endTask(m_check);
}

int BookChecks::startOutline(const QString& storeFile, const QString& password)
{
    endTask(m_outline);
    const int serial = ++m_serial;
    const WorkerSettings settings = m_guard.workerSettings();
    auto* task = new WorkerTask(settings, WorkerJob::outline(storeFile, password), {}, this);
    task->setPool(&m_pool);
    connect(task, &BackgroundTask::finished, this, [this, task, serial] {
        if (m_outline == task)
            m_outline.clear();
        task->deleteLater();
        const WorkerResult& result = task->result();
        if (result.end != WorkerEnd::Done && result.end != WorkerEnd::Cancelled) // a broken outline: none shown
            qWarning("outline left out: %s", qPrintable(result.limitName()));
        if (task->state() == BackgroundTask::State::Succeeded)
            emit outlineRead(serial, outlineOf(result), labelsOf(result));
    });
    m_outline = task;
    task->start();
    return serial;
}
