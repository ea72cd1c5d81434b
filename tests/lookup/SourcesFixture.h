#pragma once

// Both book sources served by one local BookServer in their real answer forms
// (recorded answers in tests/lookup/data), the environment pointed at it.
// A test changes what a source answers for one ISBN through `special`.

#include "lookup/BookServer.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QUrlQuery>

class SourcesFixture
{
public:
    enum Source
    {
        OpenLibrary,
        GoogleBooks,
    };

    SourcesFixture()
    {
        qputenv("no_proxy", "127.0.0.1,localhost");
        qputenv("QINGHE_OPENLIBRARY_URL", server.base().toString().toUtf8());
        qputenv("QINGHE_GOOGLEBOOKS_URL", server.base().toString().toUtf8());
        cover = jpeg(QSize(300, 450));
        server.route = [this](const QByteArray& target) { return answer(target); };
    }

    // A picture file of this size and type.
    static QByteArray jpeg(QSize size, const char* format = "JPEG")
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor(40, 90, 160));
        QPainter painter(&image);
        painter.fillRect(QRect(QPoint(size.width() / 4, size.height() / 4), size / 2), QColor(240, 200, 60));
        painter.end();
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, format);
        return bytes;
    }

    // A valid ISBN-13 from twelve digits.
    static QString isbn13(const QString& twelve)
    {
        int sum = 0;
        for (int i = 0; i < 12; ++i)
            sum += twelve.at(i).digitValue() * (i % 2 ? 3 : 1);
        return twelve + QString::number((10 - sum % 10) % 10);
    }

    QByteArray recorded(const QString& name) const
    {
        QFile file(QStringLiteral(LOOKUP_DATA "/") + name);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll().replace("{base}", server.base().toString().toUtf8());
    }

    BookServer::Reply answer(const QByteArray& target)
    {
        // Through a proxy the request names the whole address: its path and query are what count.
        const QUrl url = target.startsWith("http://") ? QUrl(QString::fromLatin1(target))
                                                      : QUrl(server.base().toString() + QString::fromLatin1(target));
        const QUrlQuery query(url);
        if (url.path() == QStringLiteral("/api/books"))
            return sourceAnswer(OpenLibrary, query.queryItemValue(QStringLiteral("bibkeys")).mid(5));
        if (url.path() == QStringLiteral("/books/v1/volumes"))
            return sourceAnswer(GoogleBooks, query.queryItemValue(QStringLiteral("q")).mid(5));
        if (url.path().startsWith(QStringLiteral("/b/id/")) || url.path() == QStringLiteral("/books/content")) {
            if (coverReply)
                return *coverReply;
            BookServer::Reply reply { 200, cover, delayMs };
            reply.contentType = "image/jpeg";
            return reply;
        }
        if (extra)
            return extra(url);
        return { 404, "not found" };
    }

    BookServer::Reply sourceAnswer(Source source, const QString& isbn)
    {
        const auto key = std::make_pair(int(source), isbn);
        if (special.contains(key))
            return special.value(key);
        const QString prefix = source == OpenLibrary ? QStringLiteral("openlibrary-") : QStringLiteral("google-");
        QByteArray body = recorded(prefix + isbn + QStringLiteral(".json"));
        if (body.isEmpty())
            body = recorded(prefix + QStringLiteral("unknown.json"));
        return { 200, body, delayMs };
    }

    BookServer server;
    QByteArray cover;
    std::optional<BookServer::Reply> coverReply;
    QMap<std::pair<int, QString>, BookServer::Reply> special;
    std::function<BookServer::Reply(const QUrl&)> extra; // other paths (redirect targets)
    int delayMs = 0;
};
