#pragma once

// Reads the ISBN barcodes of one or more photos off the window's thread, one
// photo after another in one worker, and tells each photo's result as it
// comes. Used by the catalogue editor (one photo) and the batch window
// (several).
//
//     auto* scan = new PhotoScan(paths, this);
//     connect(scan, &PhotoScan::photoRead, this, [](int index, const BarcodeScan::Result& result) { ... });
//     connect(scan, &PhotoScan::finished, scan, &QObject::deleteLater);
//     scan->start();
//
// Destroying it cancels the scan: no signal comes after that.

#include "barcode/BarcodeScan.h"

#include <QObject>
#include <QStringList>

class BackgroundTask;
class ThreadTask;

class PhotoScan : public QObject
{
    Q_OBJECT
public:
    explicit PhotoScan(QStringList paths, QObject* parent = nullptr);
    ~PhotoScan() override;

    const QStringList& paths() const { return m_paths; }
    void start();
    // No photoRead() follows; finished() does.
    void cancel();
    bool isRunning() const;
    // The task doing the work once started (for a progress dialog), else nullptr.
    BackgroundTask* task() const;

signals:
    // paths()[index] has been read.
    void photoRead(int index, const BarcodeScan::Result& result);
    // After the last photo, or after cancel().
    void finished();

private:
    QStringList m_paths;
    ThreadTask* m_task = nullptr;
};

Q_DECLARE_METATYPE(BarcodeScan::Result)
