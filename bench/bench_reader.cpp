// Reading and exporting e-books of the store, against floors measured in the
// same run.
//
// Reading: from the store file to page 1 drawn, for each size asked for.
//   floor   the viewer (Qt PDF) reading the same PDF from a plain file (a QFile),
//           page 1 rendered;
//   device  the program's way: the viewer opens an EncryptedPdfDevice over the
//           store file (deciphered in memory as the PDF engine reads), page 1.
// The same two again with Qt PDF alone (a QPdfDocument, no viewer).
// Peak memory above the idle level, each in a fresh process of this program:
// one book read, and two books read one after the other in the same viewer.
// Export: EbookExport::write (through the device, then a safe write with fsync)
// against OpenSSL deciphering the same store file into a new file, without
// and with fsync.
//
//   bench_reader [MiB...]      (default 50; a book is about 1 MB a page)
//   Big books need twice their size free in the temporary folder (TMPDIR).

#include "crypto/AES.h"
#include "crypto/ElAES.h"
#include "ebooks/EbookExport.h"
#include "ebooks/PdfViewer.h"
#include "format/EncryptedPdfDevice.h"

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

void renderFirstPage(QPdfDocument& document)
{
    if (document.render(0, kPageSize).isNull())
        fail("render");
}

// The viewer exists before "阅读" is pressed: the read hands it a device.
void viewerRead(PdfViewer& viewer, std::unique_ptr<QIODevice> book)
{
    if (!viewer.OpenDocumentDevice(std::move(book), QString()))
        fail("open");
    renderFirstPage(*viewer.document());
}

// The floor: the same viewer reading the plain PDF from its file.
void floorRead(PdfViewer& viewer, const QString& plain)
{
    viewerRead(viewer, std::make_unique<QFile>(plain));
}

void deviceRead(PdfViewer& viewer, const QString& store)
{
    viewerRead(viewer, std::make_unique<EncryptedPdfDevice>(store));
}

// Qt PDF alone, without the viewer: the document loaded from a device, page 1.
void bareRead(QIODevice& book)
{
    if (!book.isOpen())
        book.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.load(&book);
    renderFirstPage(document);
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

struct Book
{
    int mib;
    QString plain, store;
    double size;
};

Book makeBook(const QTemporaryDir& dir, int mib)
{
    Book book { mib, dir.filePath(u"book%1.pdf"_s.arg(mib)), dir.filePath(u"store%1"_s.arg(mib)), 0 };
    {
        const QByteArray pdf = makePdf(mib);
        QFile f(book.plain);
        if (!f.open(QIODevice::WriteOnly) || f.write(pdf) != pdf.size())
            fail("write pdf");
    }
    AesEncryptFile(book.plain.toStdString(), book.store.toStdString(), kEbookKey, 2);
    book.size = double(QFile(book.plain).size());
    return book;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A child measuring its peak: --peak store [store...], read one after the other.
    if (argc >= 3 && std::strcmp(argv[1], "--peak") == 0) {
        PdfViewer viewer;
        const qint64 idle = statusField("VmRSS:");
        for (int i = 2; i < argc; ++i)
            deviceRead(viewer, QString::fromLocal8Bit(argv[i]));
        std::printf("%lld\n", static_cast<long long>(statusField("VmHWM:") - idle));
        return 0;
    }
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << std::max(1, std::atoi(argv[i]));
    if (sizes.isEmpty())
        sizes << 50;

    QTemporaryDir dir;
    QList<Book> books;
    for (int mib : sizes)
        books << makeBook(dir, mib);

    PdfViewer viewer;
    deviceRead(viewer, books[0].store); // warm up the PDF engine once
    std::printf("first page, best of %d, taken turn about (goal: device <= x1.20 of the floor)\n", kRuns);
    bool met = true;
    for (const Book& book : books) {
        double floor = 1e9, device = 1e9, bareFloor = 1e9, bareDevice = 1e9;
        for (int i = 0; i < kRuns; ++i) {
            floor = std::min(floor, seconds([&] { floorRead(viewer, book.plain); }));
            device = std::min(device, seconds([&] { deviceRead(viewer, book.store); }));
            bareFloor = std::min(bareFloor, seconds([&] {
                QFile plain(book.plain);
                bareRead(plain);
            }));
            bareDevice = std::min(bareDevice, seconds([&] {
                EncryptedPdfDevice store(book.store);
                bareRead(store);
            }));
        }
        met = met && device <= 1.2 * floor;
        std::printf("  %7.1f MB  viewer: plain file %.4f s  store device %.4f s  x%.2f   "
                    "Qt PDF alone: plain file %.4f s  store device %.4f s  x%.2f\n",
            book.size / 1e6, floor, device, device / floor, bareFloor, bareDevice, bareDevice / bareFloor);
    }
    viewer.clear();

    std::printf("peak memory above idle (goal: <= 100 MB)\n");
    auto peak = [](const QStringList& stores) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), QStringList { u"--peak"_s } + stores);
        child.waitForFinished(-1);
        return double(child.readAllStandardOutput().trimmed().toLongLong()) / 1e6;
    };
    for (const Book& book : books) {
        const double one = peak({ book.store });
        met = met && one <= 100;
        std::printf("  %7.1f MB book: %.1f MB\n", book.size / 1e6, one);
    }
    if (books.size() > 1) {
        QStringList all;
        for (const Book& book : books)
            all << book.store;
        const double together = peak(all);
        met = met && together <= 100;
        std::printf("  all %lld books, one after the other: %.1f MB\n", static_cast<long long>(books.size()), together);
    }

    const Book& book = books.last();
    const QString exported = dir.filePath(u"exported.pdf"_s);
    const std::string ssl = dir.filePath(u"ssl.pdf"_s).toStdString();
    const std::string store = book.store.toStdString();
    double ours = 1e9, sslPlain = 1e9, sslSynced = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        QFile::remove(exported);
        ::unlink(ssl.c_str());
        ::sync();
        ours = std::min(ours, seconds([&] { EbookExport::write(book.store, exported); }));
        ::unlink(ssl.c_str());
        ::sync();
        sslPlain = std::min(sslPlain, seconds([&] { sslDecrypt(store, ssl, false); }));
        ::unlink(ssl.c_str());
        ::sync();
        sslSynced = std::min(sslSynced, seconds([&] { sslDecrypt(store, ssl, true); }));
    }
    std::printf("export of the %.1f MB book: ours %.3f s  openssl %.3f s (x%.2f)  openssl with fsync %.3f s (x%.2f)\n",
        book.size / 1e6, ours, sslPlain, ours / sslPlain, sslSynced, ours / sslSynced);
    auto bytes = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray plain = bytes(book.plain);
    const bool same = bytes(exported) == plain && bytes(QString::fromStdString(ssl)) == plain;
    std::printf("both exports equal the book: %s\ngoals met: %s\n", same ? "yes" : "NO", met ? "yes" : "NO");
    return same && met ? 0 : 1;
}
