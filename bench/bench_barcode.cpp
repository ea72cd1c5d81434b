// Reading the ISBN barcode of a phone photo against ZXingReader (zxing-cpp-tools),
// the barcode library's own command-line reader, on the same files.
//
// 1. Speed: a 12-megapixel JPEG photo of a back cover (4000 x 3000, barcode a
//    quarter of its width, slightly turned and seen at an angle, grainy),
//    read through the worker as the editor reads it, against ZXingReader on
//    the same file, and against ZXingReader -noscale, which does not abort on
//    it as ZXingReader itself does on 12-megapixel photos. Wall-clock medians: the worker is a process as ZXingReader
//    is; "warm" reuses a started worker (the editor's second photo), "cold"
//    starts one. Goal <= 1.2 x.
// 2. Coverage: photos turned, blurred, grainy and small or big. The program
//    must read every photo ZXingReader reads, and those ZXingReader aborts on.
//
// Photos are made by ZXingWriter and ImageMagick's convert in a temporary folder.
//
//   bench_barcode [rounds]        (default 5)

#include "../tests/barcode/BarcodePhotos.h"

#include "barcode/BarcodeScan.h"
#include "pdfworker/PdfWorkerClient.h"

#include <QElapsedTimer>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString Book = u"9787020002207"_s;

double medianMs(int rounds, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        work();
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

enum class Reader
{
    Read,
    Missed,
    Aborted,
};

Reader zxingReader(const QString& path, const QStringList& options = {})
{
    int exitCode = 0;
    QByteArray output;
    BarcodePhotos::run(u"ZXingReader"_s, QStringList(options) << u"-1"_s << path, &exitCode, &output);
    if (exitCode == -1)
        return Reader::Aborted;
    return output.contains(Book.toLatin1()) ? Reader::Read : Reader::Missed;
}

WorkerSettings settings()
{
    WorkerSettings made = BarcodeScan::workerSettings();
    made.program = QStringLiteral(QINGHE_PROGRAM);
    return made;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    if (!BarcodePhotos::haveTools()) {
        std::fprintf(stderr, "bench_barcode: needs ZXingWriter and convert (zxing-cpp-tools, imagemagick)\n");
        return 1;
    }
    QTemporaryDir dir;
    const QString barcode = BarcodePhotos::barcode(dir.path(), Book);

    // 1. The 12-megapixel back cover.
    const QString cover = BarcodePhotos::photo(dir.path(), u"cover.jpg"_s, { barcode },
        { u"-resize"_s, u"170%"_s, u"-rotate"_s, u"2"_s }, u"4000x3000"_s,
        { u"-fill"_s, u"#403830"_s, u"-draw"_s, u"rectangle 300,200 3700,900"_s, u"-draw"_s,
            u"rectangle 300,1000 2000,1300"_s, u"-distort"_s, u"Perspective"_s,
            u"0,0 60,30  4000,0 3950,0  0,3000 0,3000  4000,3000 4000,2950"_s, u"-attenuate"_s, u"0.4"_s,
            u"+noise"_s, u"Gaussian"_s, u"-quality"_s, u"92"_s });
    const Reader reference = zxingReader(cover);
    PdfWorkerClient warm(settings());
    BarcodeScan::Result result = BarcodeScan::photo(warm, cover);
    const double zxingMs = medianMs(rounds, [&] { zxingReader(cover); });
    // Without its downscaled copies ZXingReader does not abort: a whole read to compare with.
    const Reader plain = zxingReader(cover, { u"-noscale"_s });
    const double plainMs = medianMs(rounds, [&] { zxingReader(cover, { u"-noscale"_s }); });
    const double warmMs = medianMs(rounds, [&] { result = BarcodeScan::photo(warm, cover); });
    const double coldMs = medianMs(rounds, [&] {
        PdfWorkerClient cold(settings());
        BarcodeScan::photo(cold, cover);
    });
    const auto said = [](Reader reader) {
        return reader == Reader::Read ? "read" : reader == Reader::Aborted ? "aborted" : "missed";
    };
    std::printf("12 MP photo: ZXingReader %.0f ms (%s), ZXingReader -noscale %.0f ms (%s), the program %.0f ms "
                "warm, %.0f ms cold (%s)\n",
        zxingMs, said(reference), plainMs, said(plain), warmMs, coldMs,
        result.isbns == QStringList { Book } ? "read" : "MISSED");
    std::printf("ratio: 12 MP photo %.2f x ZXingReader, %.2f x ZXingReader -noscale (cold: %.2f x, %.2f x) "
                "(goal <= 1.2)\n",
        warmMs / zxingMs, warmMs / plainMs, coldMs / zxingMs, coldMs / plainMs);

    // 2. Coverage.
    int photos = 0;
    int referenceRead = 0;
    int referenceAborted = 0;
    int programRead = 0;
    int workerDied = 0;
    QStringList missed;
    const QStringList turns { u"0"_s, u"3"_s, u"9"_s, u"16"_s, u"33"_s, u"58"_s, u"90"_s, u"177"_s };
    const QList<QStringList> spoils { {}, { u"-blur"_s, u"0x2"_s },
        { u"-attenuate"_s, u"0.7"_s, u"+noise"_s, u"Gaussian"_s, u"-quality"_s, u"60"_s } };
    for (const QString& page : { u"1600x1200"_s, u"4000x3000"_s })
        for (const QString& turn : turns)
            for (int spoil = 0; spoil < spoils.size(); ++spoil) {
                const QString name = u"p-%1-%2-%3.jpg"_s.arg(page, turn).arg(spoil);
                const QString path = BarcodePhotos::photo(dir.path(), name, { barcode },
                    { u"-resize"_s, page.startsWith(u'4') ? u"150%"_s : u"80%"_s, u"-rotate"_s, turn }, page,
                    spoils[spoil]);
                ++photos;
                const Reader byReference = zxingReader(path);
                const BarcodeScan::Result read = BarcodeScan::photo(warm, path);
                const bool byProgram = read.isbns == QStringList { Book };
                workerDied += read.retried;
                referenceRead += byReference == Reader::Read;
                referenceAborted += byReference == Reader::Aborted;
                programRead += byProgram;
                if (byReference != Reader::Missed && !byProgram)
                    missed << name;
            }
    std::printf("photos: %d; ZXingReader read %d and aborted on %d; the program read %d (its worker died on %d); of those ZXingReader read "
                "or aborted on, the program missed %lld (goal 0)%s%s\n",
        photos, referenceRead, referenceAborted, programRead, workerDied, qlonglong(missed.size()), missed.isEmpty() ? "" : ": ",
        qPrintable(missed.join(u", "_s)));
    return 0;
}
