#include "barcode/BarcodeScan.h"

#include "pdfworker/GreyPhoto.h"
#include "pdfworker/PdfWorkerClient.h"

#include <QCborArray>
#include <QDir>

using namespace Qt::StringLiterals;

namespace BarcodeScan {
namespace {

    WorkerJob job(QCborMap request, int jobMs)
    {
        WorkerJob made;
        request.insert(u"job"_s, u"barcode"_s);
        request.insert(u"backstopSeconds"_s, jobMs / 1000 + 60);
        made.request = request;
        made.stepMs = jobMs;
        made.jobMs = jobMs;
        made.replyBytes = 1024 * 1024;
        return made;
    }

    Result judge(const WorkerResult& answer)
    {
        Result result;
        if (answer.end == WorkerEnd::Cancelled) {
            result.outcome = Outcome::Cancelled;
            return result;
        }
        if (answer.end != WorkerEnd::Done) {
            result.detail = answer.limitName();
            return result;
        }
        const QString word = answer.body.value(u"result"_s).toString();
        if (word == u"unreadable"_s) {
            result.outcome = Outcome::CannotOpen;
        } else if (word == u"damaged"_s) {
            result.outcome = Outcome::NotAPicture;
        } else if (word == u"ok"_s) {
            for (const QCborValue& isbn : answer.body.value(u"isbns"_s).toArray())
                result.isbns << isbn.toString();
            result.outcome = result.isbns.isEmpty() ? Outcome::NoBarcode : Outcome::Found;
        }
        return result;
    }

    // A phone photo of 50 megapixels is read in a few seconds on a slow computer.
    constexpr int PhotoJobMs = 60000;
    constexpr int FrameJobMs = 10000;

} // namespace

WorkerSettings workerSettings()
{
    WorkerSettings settings = WorkerSettings::standard();
    settings.idlePriority = false;
    return settings;
}

Result photo(PdfWorkerClient& worker, const QString& path, const std::atomic<bool>* cancel)
{
    const WorkerResult first = worker.run(job({ { u"path"_s, path } }, PhotoJobMs), {}, cancel);
    if (first.end != WorkerEnd::Crash)
        return judge(first);
    // The library's abort comes from its downscaled copies: without them it reads on.
    Result again
        = judge(worker.run(job({ { u"path"_s, path }, { u"downscale"_s, false } }, PhotoJobMs), {}, cancel));
    again.retried = true;
    return again;
}

Result frame(PdfWorkerClient& worker, const QImage& frame, const std::atomic<bool>* cancel)
{
    QImage grey = GreyPhoto::toGrey(frame);
    if (grey.width() > MaxFrameWidth || grey.height() > MaxFrameHeight)
        grey = grey.scaled(MaxFrameWidth, MaxFrameHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (grey.isNull()) {
        Result none;
        none.outcome = Outcome::NotAPicture;
        return none;
    }
    QByteArray pixels;
    pixels.reserve(qsizetype(grey.width()) * grey.height());
    for (int y = 0; y < grey.height(); ++y)
        pixels.append(reinterpret_cast<const char*>(grey.constScanLine(y)), grey.width());
    // Camera frames never use downscaled copies: small already, and no abort to wait for.
    const QCborMap request { { u"width"_s, grey.width() }, { u"height"_s, grey.height() }, { u"pixels"_s, pixels },
        { u"downscale"_s, false } };
    return judge(worker.run(job(request, FrameJobMs), {}, cancel));
}

QString message(const Result& result, const QString& path)
{
    const QString name = QDir::toNativeSeparators(path);
    switch (result.outcome) {
    case Outcome::Found:
    case Outcome::Cancelled:
        return QString();
    case Outcome::NoBarcode:
        return u"照片“%1”上没有找到图书的 ISBN 条码。请拍清楚书背面的条码（条码完整、对焦清晰）后再试。"_s.arg(name);
    case Outcome::CannotOpen:
        return u"无法打开照片“%1”。"_s.arg(name);
    case Outcome::NotAPicture:
        return u"“%1”不是能识别的图片（支持 JPEG、PNG、WebP、BMP），或文件已损坏。"_s.arg(name);
    case Outcome::Failed:
        break;
    }
    return u"识别照片“%1”时出错（%2），没有读到 ISBN。"_s.arg(name, result.detail);
}

} // namespace BarcodeScan
