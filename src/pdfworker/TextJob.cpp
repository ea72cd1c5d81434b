// "text": every page's text for the full-text search, one Page frame
// {page, text} each, then {result, pages}.
//
// The viewer's engine opens the book first (through the decrypting device):
// it says whether the password is right and how many pages the viewer shows.
// The text itself comes from poppler, the library behind pdftotext, in
// pdftotext's reading order: measured on a real 251-page manual it needs about
// as much time as pdftotext, where the viewer's engine, which works out every
// character's place, needs two to three times as much. poppler reads from
// memory, so a book up to PopplerMaxBytes is deciphered into one buffer; a
// bigger one, or one whose page count poppler sees otherwise than the viewer,
// is read with the viewer's engine, page by page from the store file.

#include "pdfworker/WorkerJobs.h"

#include "format/EncryptedPdfDevice.h"

#include <QPdfDocument>
#include <QPdfSelection>

#include <poppler-document.h>
#include <poppler-page.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace PdfWorker {
namespace {

    constexpr qint64 PopplerMaxBytes = 256 * 1024 * 1024;
    // A page's text beyond this is cut: no book holds that much on one page.
    constexpr qsizetype MaxPageChars = 2 * 1024 * 1024;

    void sendPage(Reply& reply, int page, QString text)
    {
        if (text.size() > MaxPageChars)
            text.truncate(MaxPageChars);
        reply.page({ { u"page"_s, page }, { u"text"_s, text } });
    }

    bool throughPoppler(EncryptedPdfDevice& book, const QString& password, int pages, Reply& reply)
    {
        if (book.size() > PopplerMaxBytes)
            return false;
        QByteArray bytes(qsizetype(book.size()), Qt::Uninitialized);
        if (!book.seek(0) || book.read(bytes.data(), bytes.size()) != bytes.size())
            return false;
        const std::string secret = password.toStdString();
        std::unique_ptr<poppler::document> document(
            poppler::document::load_from_raw_data(bytes.constData(), int(bytes.size()), secret, secret));
        if (!document || document->is_locked() || document->pages() != pages)
            return false;
        for (int page = 0; page < pages; ++page) {
            std::unique_ptr<poppler::page> one(document->create_page(page));
            if (!one) {
                sendPage(reply, page, QString());
                continue;
            }
            const poppler::byte_array utf8 = one->text(poppler::rectf(), poppler::page::non_raw_non_physical_layout).to_utf8();
            sendPage(reply, page, QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
        }
        return true;
    }

} // namespace

QCborMap runText(const QCborMap& job, Reply& reply)
{
    const QString password = job.value(u"password"_s).toString();
    return withBook(job, [&](QPdfDocument& document, EncryptedPdfDevice& book) -> QCborMap {
        const QCborMap done { { u"result"_s, u"ok"_s }, { u"pages"_s, document.pageCount() } };
        const int pages = document.pageCount();
        if (!job.value(u"viewerEngine"_s).toBool()) {
            document.close(); // poppler's buffer does not come on top of the engine's memory
            if (throughPoppler(book, password, pages, reply))
                return done;
            if (const Opened again = openDocument(document, book, password); again != Opened::Ready)
                return { { u"result"_s, resultWord(again) } };
        }
        for (int page = 0; page < pages; ++page)
            sendPage(reply, page, document.getAllText(page).text());
        return done;
    });
}

} // namespace PdfWorker
