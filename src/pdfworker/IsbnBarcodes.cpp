#include "pdfworker/IsbnBarcodes.h"

#include <QPainter>
#include <QTransform>

#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace IsbnBarcodes {
namespace {

    // A turned copy is made no bigger than this on its longer side: a
    // barcode that fills a tenth of a phone photo's width still has two
    // pixels a bar at this size.
    constexpr int TurnedSide = 2400;

    // Smaller copies are made of a picture whose shorter side is longer than
    // this (ZXing's own threshold).
    constexpr int MinCopySide = 500;

    // ZXing reads a barcode up to about a tenth of a right angle off the
    // line it scans; these turns, with its own right-angle ones, leave no
    // angle further than that from one of them.
    constexpr double SlantedTurns[] = { 45.0, 22.5, 67.5 };

    QStringList decode(const QImage& grey)
    {
        ZXing::DecodeHints hints;
        hints.setFormats(ZXing::BarcodeFormat::EAN13)
            .setTryHarder(true)
            .setTryRotate(true)
            .setTryDownscale(false)
            .setEanAddOnSymbol(ZXing::EanAddOnSymbol::Ignore);
        const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum,
            int(grey.bytesPerLine()));
        QStringList found;
        for (const ZXing::Result& result : ZXing::ReadBarcodes(view, hints)) {
            if (!result.isValid())
                continue;
            const ZXing::ByteArray& bytes = result.bytes();
            const QString text = QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
            if (isBookCode(text) && !found.contains(text))
                found << text;
        }
        return found;
    }

    QImage turned(const QImage& grey, double degrees)
    {
        QImage source = grey;
        if (std::max(grey.width(), grey.height()) > TurnedSide)
            source = grey.scaled(TurnedSide, TurnedSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const QTransform turn = QTransform().rotate(degrees);
        const QRect bounds = turn.mapRect(QRectF(source.rect())).toAlignedRect();
        // The corners a turn opens are white, like paper around a barcode.
        QImage out(bounds.size(), QImage::Format_Grayscale8);
        out.fill(Qt::white);
        QPainter painter(&out);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(out.width() / 2.0, out.height() / 2.0);
        painter.rotate(degrees);
        painter.drawImage(QPointF(-source.width() / 2.0, -source.height() / 2.0), source);
        painter.end();
        return out;
    }

} // namespace

bool isBookCode(const QString& text)
{
    if (text.size() != 13 || !(text.startsWith(u"978"_s) || text.startsWith(u"979"_s)))
        return false;
    int sum = 0;
    for (int i = 0; i < 13; ++i) {
        if (!text[i].isDigit())
            return false;
        sum += text[i].digitValue() * (i % 2 ? 3 : 1);
    }
    return sum % 10 == 0;
}

QStringList read(const QImage& grey, const Options& options)
{
    if (grey.isNull())
        return {};
    const QImage lum = grey.format() == QImage::Format_Grayscale8 ? grey : grey.convertToFormat(QImage::Format_Grayscale8);
    QStringList found = decode(lum);
    // Smaller copies, made here rather than by ZXing: its own merging of what
    // it finds on them is what aborts. A copy a third the size each time, as it would.
    QImage smaller = lum;
    while (found.isEmpty() && options.downscale && std::min(smaller.width(), smaller.height()) > MinCopySide) {
        smaller = smaller.scaled(smaller.width() / 3, smaller.height() / 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        found = decode(smaller);
    }
    for (const double degrees : SlantedTurns) {
        if (!found.isEmpty() || !options.slantedTurns)
            break;
        found = decode(turned(lum, degrees));
    }
    return found;
}

} // namespace IsbnBarcodes
