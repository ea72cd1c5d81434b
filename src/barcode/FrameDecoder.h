#pragma once

// Reads camera frames for ISBN barcodes on a lane of its own (the tasks
// room's TaskLane), through one worker kept for all of them (BarcodeScan::frame).
//
// One frame is decoded at a time and a frame offered meanwhile is dropped:
// a camera sends 30 frames a second and a decode takes longer than one, so
// queueing them would make what is read lag ever further behind what the
// camera sees. The caller asks wantsFrame() before it spends time turning a
// frame into a picture.
//
// Decoding in the worker rather than on this thread keeps an abort of the
// barcode library from taking the program down; a frame whose worker died is
// reported and the next frame starts a new one.

#include "tasks/TaskLane.h"

#include <QImage>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>

class PdfWorkerClient;

class FrameDecoder : public QObject
{
    Q_OBJECT
public:
    explicit FrameDecoder(QObject* parent = nullptr);
    ~FrameDecoder() override; // stops the decode under way and the thread

    // Whether a frame offered now would be decoded.
    bool wantsFrame() const { return !m_busy.load(); }
    // Takes the frame when idle; false when it was dropped.
    bool offer(const QImage& frame);

    // Frames decoded since it was made (dropped ones not counted).
    int decodedCount() const { return m_decoded; }

signals:
    // A frame was decoded: the ISBNs in it, possibly none.
    void decoded(const QStringList& isbns);
    // A frame could not be decoded (the worker failed on it).
    void failed(const QString& why);

private:
    void decode(const QImage& frame); // on the lane
    void deliver(const QStringList& isbns, bool ok, const QString& why);

    std::atomic<bool> m_busy { false };
    std::atomic<bool> m_cancel { false };
    int m_decoded = 0;
    std::unique_ptr<PdfWorkerClient> m_worker; // made, used and dropped on the lane only
    Tasks::TaskLane m_lane { QStringLiteral("camera frames") };
};
