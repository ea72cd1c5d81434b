#pragma once

// The program's side of reading ISBN barcodes: a photo or a camera frame is
// handed to the worker's "barcode" job (pdfworker/BarcodeJob.cpp), so a
// picture that makes the barcode library abort costs a worker, never the
// program. A photo whose worker died that way is tried once more without the
// downscaled copies that set the abort off.
//
// Blocking, like PdfWorkerClient: call from a thread that may wait
// (PhotoScan.h and FrameDecoder.h do), never the window's.

#include <QImage>
#include <QString>
#include <QStringList>

#include <atomic>

class PdfWorkerClient;
struct WorkerSettings;

namespace BarcodeScan {

// A camera frame bigger than this is scaled down before it is sent.
inline constexpr int MaxFrameWidth = 1920;
inline constexpr int MaxFrameHeight = 1080;

enum class Outcome
{
    Found, // isbns holds at least one
    NoBarcode, // read, no ISBN barcode in it
    CannotOpen, // missing or unreadable file
    NotAPicture, // no picture reader takes it
    Failed, // the worker could not finish (detail names how)
    Cancelled,
};

struct Result
{
    Outcome outcome = Outcome::Failed;
    QStringList isbns;
    QString detail;
    bool retried = false; // the first worker died on the photo
};

// How a barcode worker is started: at normal priority, someone is waiting for it.
WorkerSettings workerSettings();

Result photo(PdfWorkerClient& worker, const QString& path, const std::atomic<bool>* cancel = nullptr);
Result frame(PdfWorkerClient& worker, const QImage& frame, const std::atomic<bool>* cancel = nullptr);

// What to tell the family about a photo that gave no ISBN.
QString message(const Result& result, const QString& path);

} // namespace BarcodeScan
