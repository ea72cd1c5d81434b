#include "search/TextExtraction.h"

#include <QBuffer>
#include <QEventLoop>
#include <QPdfDocument>
#include <QPdfSelection>

namespace TextExtraction {

Extracted extract(const QByteArray& pdf, const QString& password, const std::atomic<bool>* stop)
{
    if (pdf.isEmpty())
        return {};
    QBuffer source;
    source.setData(pdf);
    source.open(QIODevice::ReadOnly);
    return extract(source, password, stop);
}

Extracted extract(QIODevice& pdf, const QString& password, const std::atomic<bool>* stop)
{
    Extracted result;
    if (pdf.size() == 0)
        return result;
    QPdfDocument document;
    document.setPassword(password);
    document.load(&pdf);
    if (document.status() == QPdfDocument::Status::Loading) {
        QEventLoop loading;
        QObject::connect(&document, &QPdfDocument::statusChanged, &loading, [&loading](QPdfDocument::Status status) {
            if (status != QPdfDocument::Status::Loading)
                loading.quit();
        });
        loading.exec();
    }
    if (document.status() != QPdfDocument::Status::Ready) {
        result.outcome
            = document.error() == QPdfDocument::Error::IncorrectPassword ? Outcome::NeedsPassword : Outcome::Unreadable;
        return result;
    }
    const int pages = document.pageCount();
    result.pages.reserve(pages);
    for (int page = 0; page < pages; ++page) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            result.outcome = Outcome::Cancelled;
            result.pages.clear();
            return result;
        }
        result.pages << document.getAllText(page).text();
    }
    document.close();
    result.outcome = Outcome::Done;
    return result;
}

} // namespace TextExtraction
