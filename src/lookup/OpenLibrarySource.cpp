// Open Library's books API: {base}/api/books?bibkeys=ISBN:{isbn}&jscmd=data&format=json
// answers an object keyed by "ISBN:{isbn}", {} for an ISBN it does not know.

#include "lookup/BookSource.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace Lookup {
namespace {

    QString names(const QJsonArray& list, const QString& separator)
    {
        QStringList out;
        for (const QJsonValue& entry : list) {
            const QString name = entry.isObject() ? entry.toObject().value(u"name"_s).toString() : entry.toString();
            if (!name.trimmed().isEmpty())
                out << name.trimmed();
        }
        return out.join(separator);
    }

    // A description is a text or {"type": "/type/text", "value": text}.
    QString text(const QJsonValue& value)
    {
        return value.isObject() ? value.toObject().value(u"value"_s).toString() : value.toString();
    }

    class OpenLibrarySource : public BookSource
    {
    public:
        explicit OpenLibrarySource(QUrl base)
            : m_base(std::move(base))
        { }

        QString name() const override { return u"Open Library"_s; }

        QUrl requestUrl(const QString& isbn13) const override
        {
            QUrl url = m_base;
            url.setPath(m_base.path().chopped(m_base.path().endsWith(u'/') ? 1 : 0) + u"/api/books"_s);
            QUrlQuery query;
            query.addQueryItem(u"bibkeys"_s, u"ISBN:"_s + isbn13);
            query.addQueryItem(u"jscmd"_s, u"data"_s);
            query.addQueryItem(u"format"_s, u"json"_s);
            url.setQuery(query);
            return url;
        }

        SourceAnswer parse(const QByteArray& answer, const QString& isbn13) const override
        {
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(answer, &error);
            if (error.error != QJsonParseError::NoError || !document.isObject())
                return { SourceAnswer::Kind::Malformed, {} };
            const QJsonValue entry = document.object().value(u"ISBN:"_s + isbn13);
            if (entry.isUndefined() || entry.isNull())
                return { SourceAnswer::Kind::NotFound, {} };
            if (!entry.isObject())
                return { SourceAnswer::Kind::Malformed, {} };
            const QJsonObject book = entry.toObject();
            BookFields fields;
            fields.name = book.value(u"title"_s).toString().trimmed();
            const QString subtitle = book.value(u"subtitle"_s).toString().trimmed();
            if (!subtitle.isEmpty())
                fields.name += (fields.name.isEmpty() ? QString() : u"："_s) + subtitle;
            fields.zuozhe = names(book.value(u"authors"_s).toArray(), u"，"_s);
            const QJsonArray publishers = book.value(u"publishers"_s).toArray();
            fields.publish = publishers.isEmpty() ? QString() : names({ publishers.first() }, QString());
            // Its "notes" are a cataloguer's (bibliographies, editions), no summary.
            fields.contentjj = text(book.value(u"description"_s));
            for (const QJsonValue& language : book.value(u"languages"_s).toArray()) {
                fields.yuzhong = languageName(language.toObject().value(u"key"_s).toString());
                if (!fields.yuzhong.isEmpty())
                    break;
            }
            const QUrl cover(book.value(u"cover"_s).toObject().value(u"large"_s).toString());
            if (cover.isValid() && (cover.scheme() == u"https"_s || cover.scheme() == u"http"_s))
                fields.cover = cover;
            if (fields.isEmpty() && !fields.cover.isValid())
                return { SourceAnswer::Kind::NotFound, {} };
            return { SourceAnswer::Kind::Found, fields };
        }

        bool preferredFor(const QString& isbn13) const override { return !isbn13.startsWith(u"9787"_s); }

    private:
        QUrl m_base;
    };

} // namespace

QUrl baseUrl(const char* variable, const QString& publicAddress)
{
    const QString set = qEnvironmentVariable(variable).trimmed();
    const QUrl url(set.isEmpty() ? publicAddress : set);
    return url.isValid() && !url.host().isEmpty() ? url : QUrl(publicAddress);
}

std::unique_ptr<BookSource> openLibrary()
{
    return std::make_unique<OpenLibrarySource>(baseUrl("QINGHE_OPENLIBRARY_URL", u"https://openlibrary.org"_s));
}

} // namespace Lookup
