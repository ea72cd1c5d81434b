#include "lookup/BookLookup.h"

#include "data/Isbn.h"
#include "lookup/BookSource.h"
#include "lookup/CoverPicture.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Lookup {

namespace {
    constexpr int CoverRequest = -1;
}

struct BookLookup::Request
{
    int ticket = 0;
    int source = CoverRequest; // the index of the source asked, or a cover
    QUrl url;
    qint64 maxBytes = 0;
    QByteArray body;
    QString failure; // set when this side stopped the request
};

struct BookLookup::Job
{
    Answer answer;
    std::vector<SourceAnswer> answers;
    std::vector<QString> failures;
    int waiting = 0;
};

namespace {

    std::vector<std::unique_ptr<BookSource>> standardSources()
    {
        std::vector<std::unique_ptr<BookSource>> sources;
        sources.push_back(openLibrary());
        sources.push_back(googleBooks());
        return sources;
    }

    QString sizeText(qint64 bytes)
    {
        return u"%1 MB"_s.arg(bytes / (1024 * 1024));
    }

} // namespace

BookLookup::BookLookup(QObject* parent)
    : BookLookup(standardSources(), parent)
{ }

BookLookup::BookLookup(std::vector<std::unique_ptr<BookSource>> sources, QObject* parent)
    : QObject(parent)
    , m_sources(std::move(sources))
    , m_network(new QNetworkAccessManager(this))
{
    qRegisterMetaType<Lookup::Answer>();
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    m_pool.setMaxThreadCount(2);
}

BookLookup::~BookLookup()
{
    m_jobs.clear();
    const QList<QNetworkReply*> replies = m_running.keys();
    for (QNetworkReply* reply : replies) {
        reply->disconnect(this);
        reply->abort();
        delete m_running.take(reply);
    }
    qDeleteAll(m_queue);
    m_queue.clear();
    m_pool.waitForDone();
}

int BookLookup::lookUp(const QString& isbn)
{
    const int ticket = m_nextTicket++;
    auto job = std::make_shared<Job>();
    job->answer.typed = isbn;
    m_jobs.insert(ticket, job);
    const std::optional<QString> digits = Isbn::isbn13(isbn);
    if (!digits || m_sources.empty()) {
        job->answer.outcome = Answer::Outcome::Invalid;
        QTimer::singleShot(0, this, [this, ticket] { deliver(ticket); });
        return ticket;
    }
    job->answer.isbn13 = *digits;
    job->answers.resize(m_sources.size());
    job->failures.resize(m_sources.size());
    job->waiting = int(m_sources.size());
    for (int i = 0; i < int(m_sources.size()); ++i)
        enqueue({ ticket, i, m_sources[std::size_t(i)]->requestUrl(*digits), MaxAnswerBytes, {}, {} });
    pump();
    return ticket;
}

void BookLookup::cancel(int ticket)
{
    if (!m_jobs.remove(ticket))
        return;
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        if ((*it)->ticket == ticket) {
            delete *it;
            it = m_queue.erase(it);
        } else {
            ++it;
        }
    }
    const QList<QNetworkReply*> replies = m_running.keys();
    for (QNetworkReply* reply : replies) {
        if (m_running.value(reply)->ticket == ticket)
            reply->abort(); // finished() follows at once and frees the slot
    }
    pump();
}

void BookLookup::cancelAll()
{
    const QList<int> tickets = m_jobs.keys();
    for (int ticket : tickets)
        cancel(ticket);
}

QString BookLookup::hostKey(const QUrl& url) const
{
    return url.host().toLower() + u':' + QString::number(url.port(url.scheme() == u"https"_s ? 443 : 80));
}

void BookLookup::enqueue(Request request)
{
    m_queue << new Request(std::move(request));
}

void BookLookup::pump()
{
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        const QString host = hostKey((*it)->url);
        if (m_perHost.value(host) >= PerHost) {
            ++it;
            continue;
        }
        Request* request = *it;
        it = m_queue.erase(it);
        m_perHost[host] += 1;
        startRequest(*request);
        delete request;
    }
}

void BookLookup::startRequest(const Request& request)
{
    QNetworkRequest asked(request.url);
    asked.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    asked.setMaximumRedirectsAllowed(MaxRedirects);
    asked.setTransferTimeout(m_requestMs + 1000); // the timer below ends it first, with its reason
    asked.setHeader(QNetworkRequest::UserAgentHeader, u"qinghe-library/1.0"_s);
    QNetworkReply* reply = m_network->get(asked);
    auto* held = new Request(request);
    m_running.insert(reply, held);
    const auto stop = [this, reply](const QString& why) {
        Request* running = m_running.value(reply);
        if (running && running->failure.isEmpty())
            running->failure = why;
        reply->abort();
    };
    const QUrl origin = request.url;
    connect(reply, &QNetworkReply::redirected, this, [reply, origin, stop](const QUrl& to) {
        // Never from https down to http elsewhere, nor to another host in the clear.
        const bool sameHost = to.host().compare(origin.host(), Qt::CaseInsensitive) == 0 && to.port() == origin.port()
            && to.scheme() == origin.scheme();
        if (to.scheme() == u"https"_s || sameHost)
            emit reply->redirectAllowed();
        else
            stop(u"拒绝转向 %1"_s.arg(to.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery)));
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, held, stop] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > held->maxBytes)
            stop(u"回答超过 %1"_s.arg(sizeText(held->maxBytes)));
    });
    connect(reply, &QNetworkReply::readyRead, this, [reply, held, stop] {
        held->body += reply->readAll();
        if (held->body.size() > held->maxBytes)
            stop(u"回答超过 %1"_s.arg(sizeText(held->maxBytes)));
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { requestEnded(reply); });
    const int limit = m_requestMs;
    QTimer::singleShot(limit, reply, [stop, limit] { stop(u"等待超过 %1 秒"_s.arg(limit / 1000.0)); });
}

void BookLookup::requestEnded(QNetworkReply* reply)
{
    std::unique_ptr<Request> request(m_running.take(reply));
    reply->disconnect(this);
    reply->deleteLater();
    if (!request)
        return;
    const QString host = hostKey(request->url);
    if (--m_perHost[host] <= 0)
        m_perHost.remove(host);
    if (request->failure.isEmpty() && reply->error() == QNetworkReply::NoError) {
        request->body += reply->readAll();
        if (request->body.size() > request->maxBytes)
            request->failure = u"回答超过 %1"_s.arg(sizeText(request->maxBytes));
    } else if (request->failure.isEmpty()) {
        request->failure = reply->errorString();
    }
    if (m_jobs.contains(request->ticket)) {
        if (request->source == CoverRequest)
            coverEnded(request->ticket, request->failure.isEmpty() ? request->body : QByteArray());
        else
            sourceEnded(request->ticket, request->source, request->body, request->failure);
    }
    pump();
}

void BookLookup::sourceEnded(int ticket, int source, const QByteArray& body, const QString& failure)
{
    const std::shared_ptr<Job> job = m_jobs.value(ticket);
    if (!failure.isEmpty()) {
        job->failures[std::size_t(source)] = failure;
        if (--job->waiting == 0)
            finishSources(ticket);
        return;
    }
    const BookSource* parser = m_sources[std::size_t(source)].get();
    const QString isbn13 = job->answer.isbn13;
    m_pool.start([this, parser, body, isbn13, ticket, source] {
        SourceAnswer parsed = parser->parse(body, isbn13);
        QMetaObject::invokeMethod(this, [this, ticket, source, parsed = std::move(parsed)] {
            const std::shared_ptr<Job> job = m_jobs.value(ticket);
            if (!job)
                return; // cancelled meanwhile
            job->answers[std::size_t(source)] = parsed;
            if (parsed.kind == SourceAnswer::Kind::Malformed)
                job->failures[std::size_t(source)] = u"%1 的回答无法识别"_s.arg(m_sources[std::size_t(source)]->name());
            if (--job->waiting == 0)
                finishSources(ticket);
        }, Qt::QueuedConnection);
    });
}

void BookLookup::finishSources(int ticket)
{
    const std::shared_ptr<Job> job = m_jobs.value(ticket);
    std::vector<int> order(m_sources.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_partition(order.begin(), order.end(),
        [&](int i) { return m_sources[std::size_t(i)]->preferredFor(job->answer.isbn13); });
    QList<const BookFields*> found;
    QList<const BookFields*> covers;
    for (int i : order) {
        if (job->answers[std::size_t(i)].kind == SourceAnswer::Kind::Found)
            found << &job->answers[std::size_t(i)].fields;
    }
    for (const SourceAnswer& answer : job->answers) {
        if (answer.kind == SourceAnswer::Kind::Found)
            covers << &answer.fields;
    }
    if (!found.isEmpty()) {
        job->answer.outcome = Answer::Outcome::Found;
        job->answer.fields = fitted(merge(found, covers));
        if (job->answer.fields.cover.isValid()) {
            enqueue({ ticket, CoverRequest, job->answer.fields.cover, MaxCoverBytes, {}, {} });
            pump();
            return;
        }
    } else {
        job->answer.outcome = Answer::Outcome::NotFound;
        for (const QString& failure : job->failures) {
            if (!failure.isEmpty()) {
                job->answer.outcome = Answer::Outcome::Unreachable;
                job->answer.reason = failure;
                break;
            }
        }
    }
    deliver(ticket);
}

void BookLookup::coverEnded(int ticket, const QByteArray& body)
{
    if (body.isEmpty()) {
        deliver(ticket); // a book without its cover is still found
        return;
    }
    const QSize preview = m_preview;
    m_pool.start([this, body, preview, ticket] {
        CoverPicture cover = coverPicture(body, preview);
        QMetaObject::invokeMethod(this, [this, ticket, cover = std::move(cover)] {
            const std::shared_ptr<Job> job = m_jobs.value(ticket);
            if (!job)
                return;
            job->answer.coverJpeg = cover.jpeg;
            job->answer.coverPreview = cover.preview;
            deliver(ticket);
        }, Qt::QueuedConnection);
    });
}

void BookLookup::deliver(int ticket)
{
    const std::shared_ptr<Job> job = m_jobs.take(ticket);
    if (job)
        emit answered(ticket, job->answer);
}

} // namespace Lookup
