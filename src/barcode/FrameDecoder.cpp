#include "barcode/FrameDecoder.h"

#include "barcode/BarcodeScan.h"
#include "pdfworker/PdfWorkerClient.h"

FrameDecoder::FrameDecoder(QObject* parent)
    : QObject(parent)
{
    m_thread = std::thread([this] { loop(); });
}

FrameDecoder::~FrameDecoder()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_cancel = true; // a decode under way ends within PdfWorkerClient::WaitSliceMs
    m_wake.notify_all();
    m_thread.join();
}

bool FrameDecoder::offer(const QImage& frame)
{
    if (frame.isNull())
        return false;
    bool expected = false;
    if (!m_busy.compare_exchange_strong(expected, true))
        return false;
    {
        std::lock_guard lock(m_mutex);
        m_pending = frame;
    }
    m_wake.notify_one();
    return true;
}

void FrameDecoder::loop()
{
    // The worker lives and dies on this thread, as its process object must.
    PdfWorkerClient worker(BarcodeScan::workerSettings());
    for (;;) {
        QImage frame;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_pending.isNull(); });
            if (m_stopping)
                return;
            frame = std::exchange(m_pending, QImage());
        }
        const BarcodeScan::Result result = BarcodeScan::frame(worker, frame, &m_cancel);
        if (result.outcome == BarcodeScan::Outcome::Cancelled)
            return;
        const bool ok = result.outcome == BarcodeScan::Outcome::Found
            || result.outcome == BarcodeScan::Outcome::NoBarcode;
        // This object outlives the thread (its destructor joins it), so the
        // queued call finds it; one queued after the destructor began is dropped with it.
        QMetaObject::invokeMethod(
            this, [this, isbns = result.isbns, ok, why = result.detail] { deliver(isbns, ok, why); },
            Qt::QueuedConnection);
    }
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
