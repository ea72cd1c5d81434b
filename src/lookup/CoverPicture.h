#pragma once

// A cover as it comes from a book source, made into what the book row keeps:
// a JPEG file (tag "jpg") under the editor's picture rules: a picture larger
// than Thumbnails::MaxPixels, or one that does not decode, is refused.
// Runs off the window's thread on bytes from the network.

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace Lookup {

struct CoverPicture
{
    QByteArray jpeg; // empty: refused
    QImage preview; // fitted into the preview size
};

CoverPicture coverPicture(const QByteArray& downloaded, QSize preview);

} // namespace Lookup
