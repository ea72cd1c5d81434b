// "cover": a picture from the network made into the JPEG a book row keeps
// (pictures/CoverPicture.h), decoded here where a decoder's fault cannot
// reach the window. Answers {result: ok|refused, jpeg, preview: {width,
// height, pixels}} with the preview as plain RGB32 pixels.

#include "pdfworker/WorkerJobs.h"

#include "pictures/CoverPicture.h"

using namespace Qt::StringLiterals;

namespace PdfWorker {

QCborMap runCover(const QCborMap& job, Reply&)
{
    const QSize preview(int(job.value(u"previewWidth"_s).toInteger()), int(job.value(u"previewHeight"_s).toInteger()));
    const Pictures::CoverPicture cover = Pictures::coverPicture(job.value(u"bytes"_s).toByteArray(),
        preview.isValid() && preview.width() <= 1024 && preview.height() <= 1024 ? preview : QSize(240, 320));
    if (cover.jpeg.isEmpty())
        return { { u"result"_s, u"refused"_s } };
    const QImage pixels = cover.preview.convertToFormat(QImage::Format_RGB32);
    QByteArray bytes;
    for (int y = 0; y < pixels.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(pixels.constScanLine(y)), pixels.width() * 4);
    return { { u"result"_s, u"ok"_s }, { u"jpeg"_s, cover.jpeg },
        { u"preview"_s,
            QCborMap { { u"width"_s, pixels.width() }, { u"height"_s, pixels.height() }, { u"pixels"_s, bytes } } } };
}

} // namespace PdfWorker
