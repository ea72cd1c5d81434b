// Google Books: {base}/books/v1/volumes?q=isbn:{isbn} answers
// {"totalItems": n, "items": [{"volumeInfo": {...}}]}, "totalItems": 0 for an
// ISBN it does not know.

#include "lookup/BookSource.h"

#include "data/Isbn.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace Lookup {
namespace {

    class GoogleBooksSource : public BookSource
    {
    public:
        explicit GoogleBooksSource(QUrl base)
            : m_base(std::move(base))
        { }

        QString name() const override { return u"Google Books"_s; }

        QUrl requestUrl(const QString& isbn13) const override
        {
            QUrl url = m_base;
            url.setPath(m_base.path().chopped(m_base.path().endsWith(u'/') ? 1 : 0) + u"/books/v1/volumes"_s);
            QUrlQuery query;
            query.addQueryItem(u"q"_s, u"isbn:"_s + isbn13);
            url.setQuery(query);
            return url;
        }

        SourceAnswer parse(const QJsonValue& answer, const QString& isbn13) const override
        {
            if (!answer.isObject())
                return { SourceAnswer::Kind::Malformed, {} };
            const QJsonObject top = answer.toObject();
            const QJsonValue total = top.value(u"totalItems"_s);
            if (!total.isDouble())
                return { SourceAnswer::Kind::Malformed, {} };
            const QJsonArray items = top.value(u"items"_s).toArray();
            if (total.toDouble() <= 0 || items.isEmpty() || !items.first().isObject())
                return { SourceAnswer::Kind::NotFound, {} };
            const QJsonObject info = matchingItem(items, isbn13).value(u"volumeInfo"_s).toObject();
            BookFields fields;
            fields.name = info.value(u"title"_s).toString().trimmed();
            const QString subtitle = info.value(u"subtitle"_s).toString().trimmed();
            if (!subtitle.isEmpty())
                fields.name += (fields.name.isEmpty() ? QString() : u"："_s) + subtitle;
            QStringList authors;
            for (const QJsonValue& author : info.value(u"authors"_s).toArray()) {
                if (!author.toString().trimmed().isEmpty())
                    authors << author.toString().trimmed();
            }
            fields.zuozhe = authors.join(u"，"_s);
            fields.publish = info.value(u"publisher"_s).toString();
            fields.contentjj = info.value(u"description"_s).toString();
            fields.yuzhong = languageName(info.value(u"language"_s).toString());
            fields.cover = largestImage(info.value(u"imageLinks"_s).toObject());
            if (fields.isEmpty() && !fields.cover.isValid())
                return { SourceAnswer::Kind::NotFound, {} };
            return { SourceAnswer::Kind::Found, fields };
        }

        bool preferredFor(const QString& isbn13) const override { return isbn13.startsWith(u"9787"_s); }

    private:
        // A search by ISBN may list other editions too: the volume that carries
        // this ISBN (as ISBN-13 or ISBN-10), else the first, as the service ranks them.
        static QJsonObject matchingItem(const QJsonArray& items, const QString& isbn13)
        {
            const QString isbn10 = Isbn::toIsbn10(isbn13);
            for (const QJsonValue& item : items) {
                const QJsonArray ids = item.toObject().value(u"volumeInfo"_s).toObject().value(u"industryIdentifiers"_s).toArray();
                for (const QJsonValue& id : ids) {
                    const QString digits = Isbn::compact(id.toObject().value(u"identifier"_s).toString());
                    if (!digits.isEmpty() && (digits == isbn13 || digits == isbn10))
                        return item.toObject();
                }
            }
            return items.first().toObject();
        }

        QUrl largestImage(const QJsonObject& links) const
        {
            for (const char16_t* size : { u"extraLarge", u"large", u"medium", u"small", u"thumbnail", u"smallThumbnail" }) {
                QUrl url(links.value(QString::fromUtf16(size)).toString());
                if (!url.isValid() || (url.scheme() != u"https"_s && url.scheme() != u"http"_s))
                    continue;
                // The service writes its picture links as http: asked over https,
                // unless they are on the host this source was set to (a mirror).
                if (url.scheme() == u"http"_s && url.host() != m_base.host())
                    url.setScheme(u"https"_s);
                return url;
            }
            return {};
        }

        QUrl m_base;
    };

} // namespace

std::unique_ptr<BookSource> googleBooks()
{
    return std::make_unique<GoogleBooksSource>(
        baseUrl("QINGHE_GOOGLEBOOKS_URL", u"https://www.googleapis.com"_s));
}

} // namespace Lookup
