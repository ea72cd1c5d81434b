#pragma once

// A cover as it comes from a book source, made into what the book row keeps:
// a JPEG file (tag "jpg") under the editor's picture rules: a picture larger
// than Thumbnails::MaxPixels, or one that does not decode, is refused. The
// picture is always encoded anew, so what is stored is this program's own
// JPEG, whatever the source sent. Bytes from the network: runs in the PDF
// worker (its "cover" job), never in the window's process.

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace Pictures {

struct CoverPicture
{
    QByteArray jpeg; // empty: refused
    QImage preview; // fitted into the preview size
};

CoverPicture coverPicture(const QByteArray& downloaded, QSize preview);

} // namespace Pictures
