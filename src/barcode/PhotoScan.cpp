#include "barcode/PhotoScan.h"

#include "pdfworker/PdfWorkerClient.h"
#include "tasks/BackgroundTask.h"

#include <QPointer>

PhotoScan::PhotoScan(QStringList paths, QObject* parent)
    : QObject(parent)
    , m_paths(std::move(paths))
{ }

PhotoScan::~PhotoScan()
{
    // Cancels the work and waits for it: nothing reaches this object afterwards.
    delete m_task;
}

bool PhotoScan::isRunning() const
{
    return m_task && m_task->isRunning();
}

BackgroundTask* PhotoScan::task() const
{
    return m_task;
}

void PhotoScan::cancel()
{
    if (m_task)
        m_task->cancel();
}

void PhotoScan::start()
{
    if (m_task)
        return;
    const QStringList paths = m_paths;
    QPointer<PhotoScan> self(this);
    m_task = new ThreadTask([paths, self](TaskControl& control) {
        PdfWorkerClient worker(BarcodeScan::workerSettings());
        for (int index = 0; index < paths.size() && !control.isCancelled(); ++index) {
            const BarcodeScan::Result result = BarcodeScan::photo(worker, paths[index], control.cancelFlag());
            if (result.outcome == BarcodeScan::Outcome::Cancelled)
                return;
            // Delivered on the window's thread; dropped there once the scan is cancelled.
            QMetaObject::invokeMethod(
                self.data(),
                [self, index, result] {
                    if (self && self->m_task && !self->m_task->wasCancelled())
                        emit self->photoRead(index, result);
                },
                Qt::QueuedConnection);
            control.step(index + 1, paths.size(), paths[index]);
        }
    });
    connect(m_task, &BackgroundTask::finished, this, &PhotoScan::finished);
    m_task->start();
}
