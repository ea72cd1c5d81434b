// "barcode": the ISBNs in a photo of a book's back cover, or in one grey frame
// of a camera. The job holds a photo's path, or the frame itself
// (width, height, pixels: one byte a pixel, row after row); "downscale" false
// reads without the downscaled copies (after a worker died on them).
// Answers {result: ok | unreadable | damaged, isbns}.

#include "pdfworker/WorkerJobs.h"

#include "pdfworker/GreyPhoto.h"
#include "pdfworker/IsbnBarcodes.h"

#include <QCborArray>

using namespace Qt::StringLiterals;

namespace PdfWorker {
namespace {

    QImage frameOf(const QCborMap& job)
    {
        const qint64 width = job.value(u"width"_s).toInteger();
        const qint64 height = job.value(u"height"_s).toInteger();
        const QByteArray pixels = job.value(u"pixels"_s).toByteArray();
        if (width <= 0 || height <= 0 || width * height != pixels.size())
            return {};
        QImage frame(int(width), int(height), QImage::Format_Grayscale8);
        for (int y = 0; y < frame.height(); ++y)
            std::copy_n(pixels.constData() + qint64(y) * width, width, frame.scanLine(y));
        return frame;
    }

} // namespace

QCborMap runBarcode(const QCborMap& job, Reply&)
{
    QImage grey;
    if (job.contains(u"pixels"_s)) {
        grey = frameOf(job);
        if (grey.isNull())
            return { { u"result"_s, u"damaged"_s } };
    } else {
        const GreyPhoto::Photo photo = GreyPhoto::read(job.value(u"path"_s).toString());
        if (photo.problem == GreyPhoto::Problem::CannotOpen)
            return { { u"result"_s, u"unreadable"_s } };
        if (photo.problem != GreyPhoto::Problem::None)
            return { { u"result"_s, u"damaged"_s } };
        grey = photo.grey;
    }
    IsbnBarcodes::Options options;
    options.downscale = job.value(u"downscale"_s).toBool(true);
    // A camera sends the next frame soon: the slanted turns are for photos.
    options.slantedTurns = !job.contains(u"pixels"_s);
    const QStringList isbns = IsbnBarcodes::read(grey, options);
    return { { u"result"_s, u"ok"_s }, { u"isbns"_s, QCborArray::fromStringList(isbns) } };
}

} // namespace PdfWorker
