#pragma once

// A PDF worker job as a background task (tasks/BackgroundTask.h): the job runs
// in a worker of its own, waited for on a pool thread, never the window's. Its
// Progress frames become the task's steps; every frame also reaches onFrame,
// on that pool thread. Cancelling the task kills the worker at once.
//
//     auto* task = new WorkerTask(settings, WorkerJob::title(storeFile), {}, this);
//     connect(task, &BackgroundTask::finished, this, [task] { use(task->result()); task->deleteLater(); });
//     task->start();

#include "pdfworker/PdfWorkerClient.h"
#include "tasks/BackgroundTask.h"

#include <memory>

class WorkerTask : public ThreadTask
{
    Q_OBJECT
public:
    WorkerTask(const WorkerSettings& settings, const WorkerJob& job,
        const PdfWorkerClient::OnFrame& onFrame = {}, QObject* parent = nullptr);

    // How the job ended; read once finished() has come.
    const WorkerResult& result() const { return *m_result; }

private:
    WorkerTask(std::shared_ptr<WorkerResult> result, const WorkerSettings& settings, const WorkerJob& job,
        const PdfWorkerClient::OnFrame& onFrame, QObject* parent);

    std::shared_ptr<WorkerResult> m_result;
};
