#pragma once

// The ISBNs printed as barcodes in a grey picture (GreyPhoto.h).
//
// A book's barcode is an EAN-13 starting 978 or 979; its 5-digit add-on
// (the price) is ignored, and every other barcode on the cover (a shop's
// price code, a magazine's number) is passed over. The picture is read as it
// is and turned by right angles; when that finds nothing it is tried again
// turned by the angles between, so a photo taken askew is read too.
//
// Runs ZXing-C++, which on many ordinary photos aborts while it merges what it
// found on its own downscaled copies of the picture (Debian 12's version): the
// smaller copies are made and read here instead, one at a time. All the same,
// it is called only where an abort cannot take the program down (the worker's
// "barcode" job), and after a worker died on a photo it is called once more
// without any smaller copy.

#include <QImage>
#include <QStringList>

namespace IsbnBarcodes {

struct Options
{
    bool downscale = true; // when nothing is found, also look at smaller copies of a big picture
    bool slantedTurns = true; // when nothing is found, also try the angles between right angles
};

// Distinct ISBN-13s in the order found; empty when there are none.
QStringList read(const QImage& grey, const Options& options = {});

// Whether a barcode's text is a book's EAN-13 (978/979, check digit right).
bool isBookCode(const QString& text);

} // namespace IsbnBarcodes
