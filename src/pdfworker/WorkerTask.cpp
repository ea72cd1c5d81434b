#include "pdfworker/WorkerTask.h"

using namespace Qt::StringLiterals;

WorkerTask::WorkerTask(
    const WorkerSettings& settings, const WorkerJob& job, const PdfWorkerClient::OnFrame& onFrame, QObject* parent)
    : WorkerTask(std::make_shared<WorkerResult>(), settings, job, onFrame, parent)
{ }

WorkerTask::WorkerTask(std::shared_ptr<WorkerResult> result, const WorkerSettings& settings, const WorkerJob& job,
    const PdfWorkerClient::OnFrame& onFrame, QObject* parent)
    : ThreadTask(
          [result, settings, job, onFrame](TaskControl& control) {
              PdfWorkerClient worker(settings);
              *result = worker.run(
                  job,
                  [&](const WorkerProtocol::Frame& frame) {
                      if (onFrame)
                          onFrame(frame);
                      if (frame.type == WorkerProtocol::FrameType::Progress)
                          control.step(frame.body.value(u"done"_s).toInteger(), frame.body.value(u"total"_s).toInteger());
                  },
                  [&control] { return control.isCancelled(); });
          },
          parent)
    , m_result(std::move(result))
{ }
