// The PDF worker against its floors, in one run on the same machine:
//   text of a real book through the worker ÷ pdftotext on the same file (CPU of
//   the processes, the worker's and ours together);
//   the whole check of a large album ÷ reading it once through the decrypting
//   device, and the worker's peak memory for it.
//
//     bench_pdfworker [rounds] [pdf] [album MB]

#include "format/EncryptedPdfDevice.h"
#include "ebooks/EbookStore.h"
#include "pdfworker/PdfWorkerClient.h"
#include "format/BookText.h"
#include "text/TextForms.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <sys/resource.h>
#include <time.h>

using namespace Qt::StringLiterals;

namespace {

double cpuMs(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// CPU of this process and of its finished children.
double allCpuMs()
{
    return cpuMs(RUSAGE_SELF) + cpuMs(RUSAGE_CHILDREN);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

qint64 peakKb(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

QString storeOf(const QTemporaryDir& dir, const QString& source, const QString& name)
{
    EbookStore store(dir.filePath(u"corvina"_s));
    QDir().mkpath(store.folder());
    store.store(source, name);
    return store.path(name);
}

bool text(const QString& pdf, int rounds)
{
    if (!QFileInfo::exists(pdf)) {
        std::printf("text: %s not found; skipped\n", qPrintable(pdf));
        return true;
    }
    QTemporaryDir dir;
    const QString storeFile = storeOf(dir, pdf, u"202601010000000001"_s);
    std::vector<double> ours, theirs, oursWall, theirsWall;
    int pages = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer wall;
        double before = allCpuMs();
        wall.start();
        {
            PdfWorkerClient worker;
            QStringList read;
            const WorkerResult result = worker.run(WorkerJob::text(storeFile, {}),
                [&](const WorkerProtocol::Frame& frame) { read << frame.body.value(u"text"_s).toString(); });
            const BookText kept = TextForms::bookText(read);
            pages = kept.pageCount();
            if (result.end != WorkerEnd::Done)
                std::printf("worker: %s\n", qPrintable(result.limitName()));
        } // the worker ends here: its CPU is counted
        oursWall.push_back(double(wall.elapsed()));
        ours.push_back(allCpuMs() - before);
        before = allCpuMs();
        wall.restart();
        QProcess::execute(u"pdftotext"_s, { pdf, dir.filePath(u"out.txt"_s) });
        theirsWall.push_back(double(wall.elapsed()));
        theirs.push_back(allCpuMs() - before);
    }
    const double ratio = median(ours) / median(theirs);
    std::printf("text of %s (%d pages) through the worker %.0f ms CPU (%.0f wall) / pdftotext %.0f ms CPU (%.0f wall): "
                "ratio %.2f, goal <= 2.0: %s\n",
        qPrintable(QFileInfo(pdf).fileName()), pages, median(ours), median(oursWall), median(theirs),
        median(theirsWall), ratio, ratio <= 2.0 ? "met" : "NOT met");
    return ratio <= 2.0;
}

// An album: pages each holding one large image of noise, as a scanned book has.
void writeAlbum(const QString& path, qint64 megabytes)
{
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    constexpr int side = 1024; // 1024 x 1024 RGB: 3 MB a page
    const qint64 pages = std::max<qint64>(1, megabytes / 3);
    QList<qint64> offsets;
    auto object = [&](const QByteArray& body) {
        offsets << out.pos();
        out.write(QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n");
    };
    out.write("%PDF-1.4\n");
    // 1 catalogue, 2 pages, then per page: page, contents, image.
    QByteArray kids;
    for (qint64 page = 0; page < pages; ++page)
        kids += QByteArray::number(3 + 3 * page) + " 0 R ";
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>");
    QByteArray noise(side * side * 3, Qt::Uninitialized);
    for (qint64 page = 0; page < pages; ++page) {
        const qint64 first = 3 + 3 * page;
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 600 600] /Resources << /XObject << /I "
            + QByteArray::number(first + 2) + " 0 R >> >> /Contents " + QByteArray::number(first + 1) + " 0 R >>");
        const QByteArray draw = "q 600 0 0 600 0 0 cm /I Do Q";
        object("<< /Length " + QByteArray::number(draw.size()) + " >>\nstream\n" + draw + "\nendstream");
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        offsets << out.pos();
        out.write(QByteArray::number(offsets.size()) + " 0 obj\n<< /Type /XObject /Subtype /Image /Width "
            + QByteArray::number(side) + " /Height " + QByteArray::number(side)
            + " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Length " + QByteArray::number(noise.size())
            + " >>\nstream\n");
        out.write(noise);
        out.write("\nendstream\nendobj\n");
    }
    const qint64 xref = out.pos();
    out.write("xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n");
    for (const qint64 offset : offsets)
        out.write(QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n");
    out.write("trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n");
}

bool album(qint64 megabytes, int rounds)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(u"album.pdf"_s);
    writeAlbum(source, megabytes);
    const QString storeFile = storeOf(dir, source, u"202601010000000002"_s);
    QFile::remove(source);
    std::vector<double> check, read;
    qint64 peak = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer wall;
        wall.start();
        {
            PdfWorkerClient worker;
            const WorkerResult result = worker.run(WorkerJob::check(storeFile, {}));
            peak = std::max(peak, peakKb(worker.workerPid()));
            if (result.result() != u"ok"_s)
                std::printf("check: %s %s\n", qPrintable(result.limitName()), qPrintable(result.result()));
        }
        check.push_back(double(wall.elapsed()));
        wall.restart();
        {
            EncryptedPdfDevice device(storeFile);
            QByteArray chunk(1 << 20, Qt::Uninitialized);
            while (device.read(chunk.data(), chunk.size()) > 0) { }
        }
        read.push_back(double(wall.elapsed()));
    }
    const double ratio = median(check) / median(read);
    std::printf("check of a %lld MB album through the worker %.0f ms / reading it once through the decrypting device "
                "%.0f ms: ratio %.2f, goal <= 1.2: %s; worker peak %lld MB, goal <= 100: %s\n",
        megabytes, median(check), median(read), ratio, ratio <= 1.2 ? "met" : "NOT met", peak / 1024,
        peak / 1024 <= 100 ? "met" : "NOT met");
    return ratio <= 1.2 && peak / 1024 <= 100;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The worker is the built program, unless one is named.
    if (qEnvironmentVariableIsEmpty("QINGHE_PDF_WORKER"))
        qputenv("QINGHE_PDF_WORKER", QINGHE_PROGRAM);
    const QStringList args = app.arguments();
    const int rounds = args.size() > 1 ? std::max(1, args[1].toInt()) : 5;
    const QString pdf = args.size() > 2 ? args[2] : u"/usr/share/debian-reference/debian-reference.zh-cn.pdf"_s;
    const qint64 megabytes = args.size() > 3 ? args[3].toLongLong() : 790;
    const bool textMet = text(pdf, rounds);
    const bool albumMet = album(megabytes, std::min(rounds, 3));
    return textMet && albumMet ? 0 : 1;
}
