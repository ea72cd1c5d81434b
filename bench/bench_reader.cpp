// Reading and exporting an e-book of the store, against the floor measured in
// the same run.
//
// Reading: from the encrypted store file to page 1 drawn.
//   floor   the file read whole, decrypted in place with the AES instructions,
//           loaded by QPdfDocument from that memory, page 1 rendered;
//   memory  AesDecryptFileToString handed to the viewer (OpenOwnedDocument), page 1;
//   scratch the old way: AesDecryptFile into a scratch copy in "temp", the copy
//           read whole and deleted, then the viewer and page 1.
// Peak memory above the idle level of each way, as a multiple of the PDF's size.
// Export: EbookExport::write (in memory, then a safe write with fsync) against
// OpenSSL decrypting the same store file into a new file, without and with fsync.
//
//   bench_reader [MiB]      (default 50)

#include "crypto/AES.h"
#include "crypto/AesNi.h"
#include "crypto/ElAES.h"
#include "ebooks/EbookExport.h"
#include "ebooks/PdfViewer.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPdfDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRuns = 3;
constexpr size_t kChunk = size_t(1) << 20;
const QSize kPageSize(800, 1100);

void fail(const char* what)
{
    std::perror(what);
    std::exit(1);
}

// A scanned book: pages of 1000 x 1000 grey noise (1 MB each, uncompressed),
// the first with a line of text as well.
QByteArray makePdf(int pages)
{
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets { 0 };
    auto object = [&](const QByteArray& body) {
        offsets << pdf.size();
        pdf += QByteArray::number(offsets.size() - 1) + " 0 obj\n" + body + "\nendobj\n";
    };
    QByteArray kids;
    for (int p = 0; p < pages; ++p)
        kids += QByteArray::number(3 + 3 * p) + " 0 R ";
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>");
    uint64_t x = 0x9E3779B97F4A7C15ull;
    QByteArray image(1000 * 1000, '\0');
    for (int p = 0; p < pages; ++p) {
        const int self = 3 + 3 * p;
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /XObject << /Im "
            + QByteArray::number(self + 2)
            + " 0 R >> /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> /Contents "
            + QByteArray::number(self + 1) + " 0 R >>");
        const QByteArray content = "q 500 0 0 500 47 300 cm /Im Do Q BT /F1 24 Tf 60 780 Td (Page "
            + QByteArray::number(p + 1) + ") Tj ET\n";
        object("<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream");
        for (char& c : image) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            c = char(x);
        }
        object("<< /Type /XObject /Subtype /Image /Width 1000 /Height 1000 /ColorSpace /DeviceGray "
               "/BitsPerComponent 8 /Length 1000000 >>\nstream\n"
            + image + "\nendstream");
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(offsets.size()) + "\n0000000000 65535 f \n";
    for (qsizetype i = 1; i < offsets.size(); ++i)
        pdf += QByteArray::number(offsets[i]).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(offsets.size()) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

double seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Resident memory now and its peak since the last reset, in bytes.
qint64 statusField(const char* name)
{
    QFile status(u"/proc/self/status"_s);
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(qstrlen(name)).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

// Peak memory of one way, run alone in a fresh process of this program, above
// the level it had before the read.
qint64 peakAbove(const char* way, const QString& store, const QString& scratch)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { u"--peak"_s, QString::fromLatin1(way), store, scratch });
    child.waitForFinished(-1);
    return child.readAllStandardOutput().trimmed().toLongLong();
}

void renderFirstPage(QPdfDocument& document)
{
    if (document.render(0, kPageSize).isNull())
        fail("render");
}

// The floor: no stream layers, the file decrypted in place in one buffer.
void floorRead(const std::string& store)
{
    const int fd = ::open(store.c_str(), O_RDONLY);
    if (fd < 0)
        fail("open store");
    int64_t length = 0;
    if (::read(fd, &length, 8) != 8)
        fail("header");
    const off_t total = ::lseek(fd, 0, SEEK_END) - 8;
    QByteArray bytes(qsizetype(total), Qt::Uninitialized);
    if (::pread(fd, bytes.data(), size_t(total), 8) != total)
        fail("read");
    ::close(fd);
    AesKey256 key;
    std::memcpy(key.data(), kEbookKey, key.size());
    AesRoundKeys256 rk;
    AesExpandDecryptKey(key, rk);
    aesni::decryptBlocks(rk.data(), 14, reinterpret_cast<uint8_t*>(bytes.data()), size_t(total) / 16);
    bytes.truncate(qsizetype(length));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.load(&buffer);
    renderFirstPage(document);
}

// The viewer exists before "阅读" is pressed: the reads hand it the document.
void memoryRead(PdfViewer& viewer, const std::string& store)
{
    if (!viewer.OpenOwnedDocument(AesDecryptFileToString(store, kEbookKey, 2), QString()))
        fail("open");
    renderFirstPage(*viewer.document());
    viewer.OpenDocumentStream(QByteArray(), QString()); // let it go again
}

void scratchRead(PdfViewer& viewer, const std::string& store, const QString& scratch)
{
    {
        AesDecryptFile(store, scratch.toStdString(), kEbookKey, 2);
        QFile copy(scratch);
        copy.open(QIODevice::ReadOnly);
        const QByteArray bytes = copy.readAll();
        if (!viewer.OpenDocumentStream(bytes, QString()))
            fail("open");
        copy.remove();
    }
    renderFirstPage(*viewer.document());
    viewer.OpenDocumentStream(QByteArray(), QString()); // let it go again
}

void sslDecrypt(const std::string& source, const std::string& dest, bool sync)
{
    const int in = ::open(source.c_str(), O_RDONLY);
    const int out = ::open(dest.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0)
        fail("open");
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_DecryptInit_ex(ctx, EVP_aes_256_ecb(), nullptr, reinterpret_cast<const unsigned char*>(kEbookKey), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int64_t length = 0;
    if (::read(in, &length, 8) != 8)
        fail("read header");
    const auto buf = std::make_unique<unsigned char[]>(kChunk);
    for (ssize_t n; (n = ::read(in, buf.get(), kChunk)) > 0;) {
        int outLen = 0;
        if (!EVP_DecryptUpdate(ctx, buf.get(), &outLen, buf.get(), int(n)) || ::write(out, buf.get(), size_t(n)) != n)
            fail("cipher/write");
    }
    if (::ftruncate(out, length) != 0 || (sync && ::fsync(out) != 0))
        fail("truncate");
    EVP_CIPHER_CTX_free(ctx);
    ::close(out);
    ::close(in);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 5 && std::strcmp(argv[1], "--peak") == 0) {
        PdfViewer viewer;
        const std::string store = argv[3];
        const qint64 idle = statusField("VmRSS:");
        if (std::strcmp(argv[2], "floor") == 0)
            floorRead(store);
        else if (std::strcmp(argv[2], "memory") == 0)
            memoryRead(viewer, store);
        else
            scratchRead(viewer, store, QString::fromLocal8Bit(argv[4]));
        std::printf("%lld\n", static_cast<long long>(statusField("VmHWM:") - idle));
        return 0;
    }
    const int mib = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    if (!AesHardwareAvailable())
        std::printf("note: no AES instructions; the floor uses them, so it cannot run here\n");

    QTemporaryDir dir;
    const QString plainPath = dir.filePath(u"book.pdf"_s);
    const QString storePath = dir.filePath(u"store"_s);
    const QString scratch = dir.filePath(u"scratch"_s);
    const QString exported = dir.filePath(u"exported.pdf"_s);
    const std::string ssl = dir.filePath(u"ssl.pdf"_s).toStdString();
    const std::string store = storePath.toStdString();
    {
        const QByteArray pdf = makePdf(mib);
        QFile f(plainPath);
        if (!f.open(QIODevice::WriteOnly) || f.write(pdf) != pdf.size())
            fail("write pdf");
    }
    AesEncryptFile(plainPath.toStdString(), store, kEbookKey, 2);
    const double size = double(QFile(plainPath).size());
    std::printf("e-book of %.1f MB (%d pages), best of %d, taken turn about\n", size / 1e6, mib, kRuns);

    PdfViewer viewer;
    // Warm up the PDF engine and the page cache once.
    memoryRead(viewer, store);
    double floor = 1e9, memory = 1e9, old = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        floor = std::min(floor, seconds([&] { floorRead(store); }));
        memory = std::min(memory, seconds([&] { memoryRead(viewer, store); }));
        old = std::min(old, seconds([&] { scratchRead(viewer, store, scratch); }));
    }
    std::printf("read    floor %.3f s  in memory %.3f s (x%.2f of the floor)  scratch copy %.3f s (x%.2f; in memory "
                "takes x%.2f of it)\n",
        floor, memory, memory / floor, old, old / floor, memory / old);

    const qint64 peakFloor = peakAbove("floor", storePath, scratch);
    const qint64 peakMemory = peakAbove("memory", storePath, scratch);
    const qint64 peakOld = peakAbove("scratch", storePath, scratch);
    std::printf("peak    above idle: floor x%.2f  in memory x%.2f  scratch copy x%.2f  (of the PDF's size)\n",
        double(peakFloor) / size, double(peakMemory) / size, double(peakOld) / size);

    double ours = 1e9, sslPlain = 1e9, sslSynced = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        QFile::remove(exported);
        ::unlink(ssl.c_str());
        ::sync();
        ours = std::min(ours, seconds([&] { EbookExport::write(storePath, exported); }));
        ::unlink(ssl.c_str());
        ::sync();
        sslPlain = std::min(sslPlain, seconds([&] { sslDecrypt(store, ssl, false); }));
        ::unlink(ssl.c_str());
        ::sync();
        sslSynced = std::min(sslSynced, seconds([&] { sslDecrypt(store, ssl, true); }));
    }
    std::printf("export  ours %.3f s  openssl %.3f s (x%.2f)  openssl with fsync %.3f s (x%.2f)\n", ours, sslPlain,
        ours / sslPlain, sslSynced, ours / sslSynced);
    auto bytes = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray book = bytes(plainPath);
    const bool same = bytes(exported) == book && bytes(QString::fromStdString(ssl)) == book;
    std::printf("both exports equal the book: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
