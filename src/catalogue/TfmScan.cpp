#include "catalogue/TfmScan.h"

#include "barcode/FrameDecoder.h"
#include "widgets/Prompt.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QCameraDevice>
#include <QLabel>
#include <QMediaDevices>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>
#include <QtMath>

using namespace Qt::StringLiterals;

namespace {

const QString Caption = u"摄像头扫描"_s;
const QString Aim = u"把书背面的条码对准摄像头，保持不动。"_s;
const QString NoCamera = u"没有找到摄像头。请接上摄像头后再试，也可以用“照片识别”读取书背面条码的照片。"_s;

// A short high tone (0.12 s, 1.2 kHz) when a book is read; the system's beep
// when there is no sound output.
void chime()
{
    QAudioFormat format;
    format.setSampleRate(22050);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || !device.isFormatSupported(format)) {
        QApplication::beep();
        return;
    }
    const int samples = format.sampleRate() * 12 / 100;
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    auto* out = reinterpret_cast<qint16*>(pcm.data());
    for (int i = 0; i < samples; ++i) {
        const double fade = std::min(1.0, double(samples - i) / 400.0);
        out[i] = qint16(9000.0 * fade * std::sin(2.0 * M_PI * 1200.0 * i / format.sampleRate()));
    }
    // Outlives the window, which may close at once: ends itself when played.
    auto* sink = new QAudioSink(device, format, qApp);
    auto* buffer = new QBuffer(sink);
    buffer->setData(pcm);
    buffer->open(QIODevice::ReadOnly);
    QObject::connect(sink, &QAudioSink::stateChanged, sink, [sink](QAudio::State state) {
        if (state == QAudio::IdleState || state == QAudio::StoppedState) {
            sink->stop();
            sink->deleteLater();
        }
    });
    sink->start(buffer);
}

} // namespace

TfmScan::TfmScan(Mode mode, QWidget* parent)
    : QDialog(parent)
    , m_mode(mode)
    , m_view(new QVideoWidget(this))
    , m_status(new QLabel(Aim, this))
    , m_close(new QPushButton(mode == Mode::OneBook ? u"取消"_s : u"完成"_s, this))
    , m_decoder(new FrameDecoder(this))
{
    setObjectName(u"TfmScan"_s);
    setWindowTitle(Caption);
    m_view->setObjectName(u"VideoScan"_s);
    m_view->setMinimumSize(480, 360);
    m_status->setObjectName(u"LblScan"_s);
    m_status->setWordWrap(true);
    m_close->setObjectName(u"BtnScanClose"_s);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_status);
    layout->addWidget(m_close, 0, Qt::AlignRight);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_decoder, &FrameDecoder::decoded, this, &TfmScan::decoded);

    m_firstFrame.setSingleShot(true);
    m_firstFrame.setInterval(8000);
    connect(&m_firstFrame, &QTimer::timeout, this, [this] {
        if (!m_sawFrame)
            fail(u"摄像头没有送来画面。它可能正被其他程序使用，请关闭其他使用摄像头的程序后再试。"_s);
    });
    connect(this, &QDialog::finished, this, &TfmScan::stopCamera);
}

TfmScan::~TfmScan()
{
    stopCamera();
}

TfmScan* TfmScan::open(Mode mode, QWidget* parent)
{
    auto* scan = new TfmScan(mode, parent);
    if (!scan->start()) {
        delete scan;
        return nullptr;
    }
    scan->setAttribute(Qt::WA_DeleteOnClose);
    scan->setWindowModality(Qt::WindowModal);
    scan->show();
    return scan;
}

bool TfmScan::start()
{
    const QList<QCameraDevice> cameras = QMediaDevices::videoInputs();
    return start(cameras.isEmpty() ? QCameraDevice() : cameras.first());
}

bool TfmScan::start(const QCameraDevice& device)
{
    stopCamera();
    m_failed = false;
    m_sawFrame = false;
    // Given no device, the media backend would show a test pattern of its own
    // as if it were a camera.
    if (device.isNull()) {
        fail(NoCamera);
        return false;
    }
    m_camera = new QCamera(device, this);
    connect(m_camera, &QCamera::errorOccurred, this, &TfmScan::cameraFailed);
    // A backend that cannot make the camera at all says so only here, not by a signal.
    if (m_camera->error() != QCamera::NoError) {
        cameraFailed(m_camera->error(), m_camera->errorString());
        return false;
    }
    m_session.setCamera(m_camera);
    m_session.setVideoOutput(m_view);
    connect(m_view->videoSink(), &QVideoSink::videoFrameChanged, this, &TfmScan::videoFrame, Qt::UniqueConnection);
    m_camera->start();
    if (!m_failed && m_camera && m_camera->error() != QCamera::NoError)
        cameraFailed(m_camera->error(), m_camera->errorString());
    if (!m_failed)
        watchForPicture();
    return !m_failed;
}

void TfmScan::watchForPicture()
{
    m_sawFrame = false;
    m_firstFrame.start();
}

void TfmScan::stopCamera()
{
    m_firstFrame.stop();
    if (!m_camera)
        return;
    m_camera->disconnect(this);
    m_camera->stop();
    m_session.setCamera(nullptr);
    m_camera->deleteLater();
    m_camera = nullptr;
}

void TfmScan::videoFrame(const QVideoFrame& frame)
{
    if (!frame.isValid())
        return;
    m_sawFrame = true;
    // Turning a frame into a picture takes a few milliseconds: only for the
    // frame the decoder will take, a few times a second.
    if (m_decoder->wantsFrame())
        takeFrame(frame.toImage());
}

void TfmScan::takeFrame(const QImage& frame)
{
    m_sawFrame = true;
    m_decoder->offer(frame);
}

void TfmScan::decoded(const QStringList& isbns)
{
    const QString isbn = m_confirmer.add(isbns);
    if (isbn.isEmpty())
        return;
    chime();
    m_scanned << isbn;
    emit isbnScanned(isbn);
    if (m_mode == Mode::OneBook) {
        accept();
        return;
    }
    m_status->setText(u"已读到 ISBN %1（本次共 %2 本）。请换下一本书。"_s.arg(isbn).arg(m_scanned.size()));
}

void TfmScan::cameraFailed(QCamera::Error error, const QString& detail)
{
    if (error == QCamera::NoError)
        return;
    const QString why = detail.trimmed().isEmpty() ? QString() : u"（%1）"_s.arg(detail.trimmed());
    fail(u"无法打开摄像头%1。它可能正被其他程序使用，或本程序没有使用摄像头的权限。"_s.arg(why));
}

void TfmScan::fail(const QString& text)
{
    if (m_failed)
        return;
    m_failed = true;
    stopCamera();
    m_status->setText(text);
    Prompt::error(isVisible() ? this : parentWidget(), Caption, text);
    if (isVisible())
        reject();
}
