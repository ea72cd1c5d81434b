#pragma once

// Photos of barcodes made for the tests and the benchmark: ZXingWriter draws
// the barcode, ImageMagick's convert lays it on a page and spoils it the way
// a camera does (turned, blurred, noisy, seen at an angle, JPEG).

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace BarcodePhotos {

using namespace Qt::StringLiterals;

inline bool haveTools()
{
    return !QStandardPaths::findExecutable(u"ZXingWriter"_s).isEmpty()
        && !QStandardPaths::findExecutable(u"convert"_s).isEmpty();
}

inline bool run(const QString& program, const QStringList& arguments, int* exitCode = nullptr,
    QByteArray* output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        return false;
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::CrashExit ? -1 : process.exitCode();
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// An EAN-13 barcode as a PNG, bars five pixels a module.
inline QString barcode(const QDir& dir, const QString& digits)
{
    const QString path = dir.filePath(u"ean-%1.png"_s.arg(digits));
    if (!QFile::exists(path))
        run(u"ZXingWriter"_s, { u"-size"_s, u"600x300"_s, u"EAN-13"_s, digits, path });
    return path;
}

// The barcode of picture (an EAN-13 as barcode() draws it) with a 5-digit
// add-on drawn beside it, as books print their price.
inline QImage withAddOn(const QImage& picture, const QString& fiveDigits)
{
    static const char* const codeL[] = { "0001101", "0011001", "0010011", "0111101", "0100011", "0110001",
        "0101111", "0111011", "0110111", "0001011" };
    static const char* const codeG[] = { "0100111", "0110011", "0011011", "0100001", "0011101", "0111001",
        "0000101", "0010001", "0001001", "0010111" };
    static const char* const parity[]
        = { "GGLLL", "GLGLL", "GLLGL", "GLLLG", "LGGLL", "LLGGL", "LLLGG", "LGLGL", "LGLLG", "LLGLG" };
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    // Where the bars are, and so the module width.
    const int row = grey.height() / 2;
    int first = -1;
    int last = -1;
    for (int x = 0; x < grey.width(); ++x)
        if (grey.constScanLine(row)[x] < 128) {
            if (first < 0)
                first = x;
            last = x;
        }
    const int module = (last - first + 1) / 95;
    int digits[5];
    for (int i = 0; i < 5; ++i)
        digits[i] = fiveDigits[i].digitValue();
    const int check = (3 * (digits[0] + digits[2] + digits[4]) + 9 * (digits[1] + digits[3])) % 10;
    QString bits = u"1011"_s;
    for (int i = 0; i < 5; ++i) {
        if (i > 0)
            bits += u"01"_s;
        bits += QLatin1String(parity[check][i] == 'L' ? codeL[digits[i]] : codeG[digits[i]]);
    }
    const int start = last + 1 + 9 * module;
    QImage out(start + (int(bits.size()) + 12) * module, grey.height(), QImage::Format_Grayscale8);
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.drawImage(0, 0, grey);
    for (int i = 0; i < bits.size(); ++i)
        if (bits[i] == u'1')
            painter.fillRect(start + i * module, grey.height() / 6, module, grey.height() * 5 / 6, Qt::black);
    painter.end();
    return out;
}

// Lays the pictures side by side on a page of the given size, spoils it
// (convert options between the composition and the output) and writes it.
// The pictures' own options (a turn) come first.
inline QString photo(const QDir& dir, const QString& name, const QStringList& pictures, const QStringList& turn,
    const QString& page, const QStringList& spoil)
{
    const QString path = dir.filePath(name);
    QStringList arguments { u"-background"_s, u"white"_s };
    arguments << pictures << u"+append"_s << u"-bordercolor"_s << u"white"_s << u"-border"_s << u"40"_s << turn;
    arguments << u"("_s << u"-size"_s << page << u"xc:#e8e0d0"_s << u")"_s << u"+swap"_s << u"-gravity"_s
              << u"center"_s << u"-composite"_s << spoil << path;
    return run(u"convert"_s, arguments) ? path : QString();
}

} // namespace BarcodePhotos
