#pragma once

// 摄像头扫描: the live picture of the first camera, read for ISBN barcodes.
//
// Frames are decoded off the window's thread by a FrameDecoder (one at a time,
// those that come meanwhile dropped); an ISBN read in two frames in a row is
// taken: a short sound, isbnScanned(), and in the one-book mode the window
// closes. In the one-after-another mode (批量添加) it stays open for the next
// book and counts them.
//
// No camera, a camera that fails to start (in use, no permission) or sends no
// picture: a message says so and the window closes; nothing waits on the camera.
//
//     if (TfmScan* scan = TfmScan::open(TfmScan::Mode::OneBook, this))
//         connect(scan, &TfmScan::isbnScanned, this, &manig::...);

#include "barcode/IsbnConfirmer.h"

#include <QCamera>
#include <QDialog>
#include <QMediaCaptureSession>
#include <QTimer>

class FrameDecoder;
class QCameraDevice;
class QLabel;
class QPushButton;
class QVideoFrame;
class QVideoWidget;

class TfmScan : public QDialog
{
    Q_OBJECT
public:
    enum class Mode
    {
        OneBook,
        OneAfterAnother,
    };

    explicit TfmScan(Mode mode, QWidget* parent = nullptr);
    ~TfmScan() override;

    // Made, started on the first camera and shown window-modal (deleted when
    // closed); nullptr after the message when there is no camera.
    static TfmScan* open(Mode mode, QWidget* parent);

    // Starts the camera; false (after the message) when there is none.
    bool start();
    bool start(const QCameraDevice& device);
    // How long a started camera may go without a picture.
    void setFirstFrameTimeoutMs(int ms) { m_firstFrame.setInterval(ms); }

    // A picture from the camera (tests feed their own).
    void takeFrame(const QImage& frame);
    // The camera gave up: says why and closes.
    void cameraFailed(QCamera::Error error, const QString& detail);

    QStringList scanned() const { return m_scanned; }

signals:
    void isbnScanned(const QString& isbn);

private:
    void videoFrame(const QVideoFrame& frame);
    void decoded(const QStringList& isbns);
    void fail(const QString& text);
    void stopCamera();

    Mode m_mode;
    QVideoWidget* m_view;
    QLabel* m_status;
    QPushButton* m_close;
    QCamera* m_camera = nullptr;
    QMediaCaptureSession m_session;
    FrameDecoder* m_decoder;
    IsbnConfirmer m_confirmer;
    QTimer m_firstFrame;
    bool m_sawFrame = false;
    bool m_failed = false;
    QStringList m_scanned;
};
