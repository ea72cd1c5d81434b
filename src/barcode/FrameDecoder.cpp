#include "barcode/FrameDecoder.h"

#include "barcode/BarcodeScan.h"
#include "pdfworker/PdfWorkerClient.h"

FrameDecoder::FrameDecoder(QObject* parent)
    : QObject(parent)
{ }

FrameDecoder::~FrameDecoder()
{
    m_cancel = true; // a decode under way ends within PdfWorkerClient::WaitSliceMs
    m_lane.stop([this] { m_worker.reset(); });
}

bool FrameDecoder::offer(const QImage& frame)
{
    if (frame.isNull())
        return false;
    bool expected = false;
    if (!m_busy.compare_exchange_strong(expected, true))
        return false;
    m_lane.post([this, frame] { decode(frame); });
    return true;
}

void FrameDecoder::decode(const QImage& frame)
{
    if (m_cancel)
        return;
    // The worker lives and dies on the lane, as its process object must.
    if (!m_worker)
        m_worker = std::make_unique<PdfWorkerClient>(BarcodeScan::workerSettings());
    const BarcodeScan::Result result = BarcodeScan::frame(*m_worker, frame, &m_cancel);
    if (result.outcome == BarcodeScan::Outcome::Cancelled)
        return;
    const bool ok = result.outcome == BarcodeScan::Outcome::Found || result.outcome == BarcodeScan::Outcome::NoBarcode;
    // This object outlives the lane (its destructor stops it), so the queued
    // call finds it; one queued after the destructor began is dropped with it.
    QMetaObject::invokeMethod(
        this, [this, isbns = result.isbns, ok, why = result.detail] { deliver(isbns, ok, why); },
        Qt::QueuedConnection);
}

void FrameDecoder::deliver(const QStringList& isbns, bool ok, const QString& why)
{
    ++m_decoded;
    m_busy = false;
    if (ok)
        emit decoded(isbns);
    else
        emit failed(why);
}
