#pragma once

// Looks books up by ISBN in the online sources (BookSource.h), on the window's
// thread without ever blocking it: the network is Qt's, asynchronous; answers
// and covers are parsed and decoded on a thread pool.
//
// Each ISBN is asked of every source at once; each field is taken from the
// first answer that has it, the source preferred for the ISBN first (Chinese
// publishers, 978-7, are better covered by Google Books). The cover then comes
// from Open Library, else Google Books, as JPEG.
//
// Limits: 10 s a request, at most 4 requests at once to one host (so both
// services are asked side by side), answers over 2 MB and covers over 10 MB
// refused, redirects followed only to https or within the same host. The
// system's proxy is used.
//
//     auto* lookup = new BookLookup(this);
//     connect(lookup, &BookLookup::answered, this, [](int ticket, const Lookup::Answer& answer) { ... });
//     const int ticket = lookup->lookUp(u"978-7-02-000220-7"_s);

#include "lookup/BookFields.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QThreadPool>

#include <memory>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace Lookup {

class BookSource;

struct Answer
{
    enum class Outcome
    {
        Found,
        NotFound,
        Invalid, // not a valid ISBN (check digit, length)
        Unreachable, // no source answered usably: reason says why
    };
    Outcome outcome = Outcome::NotFound;
    QString typed; // as asked
    QString isbn13; // its 13 digits (empty when invalid)
    BookFields fields; // cleaned and cut to the columns
    QByteArray coverJpeg; // empty: no cover
    QImage coverPreview; // the cover fitted into the preview size
    QString reason; // Unreachable: the network's own words
};

class BookLookup : public QObject
{
    Q_OBJECT
public:
    static constexpr int RequestMs = 10000;
    static constexpr int PerHost = 4;
    static constexpr qint64 MaxAnswerBytes = qint64(2) * 1024 * 1024;
    static constexpr qint64 MaxCoverBytes = qint64(10) * 1024 * 1024;
    static constexpr int MaxRedirects = 5;

    // The standard sources (their bases from the environment).
    explicit BookLookup(QObject* parent = nullptr);
    BookLookup(std::vector<std::unique_ptr<BookSource>> sources, QObject* parent = nullptr);
    ~BookLookup() override;

    // The size covers are previewed at (default 240 × 320).
    void setPreviewSize(QSize size) { m_preview = size; }
    // How long one request may take (RequestMs unless set; tests shorten it).
    void setRequestTimeout(int ms) { m_requestMs = ms; }

    // Starts a look-up; answered() follows (also for an invalid ISBN, later
    // on the event loop). Returns its ticket.
    int lookUp(const QString& isbn);
    // Drops a look-up: its requests are aborted and nothing is answered.
    void cancel(int ticket);
    void cancelAll();
    bool isBusy() const { return !m_jobs.isEmpty(); }
    int pending() const { return int(m_jobs.size()); }

signals:
    void answered(int ticket, const Lookup::Answer& answer);

private:
    struct Job;
    struct Request;
    void enqueue(Request request);
    void pump();
    void startRequest(const Request& request);
    void requestEnded(QNetworkReply* reply);
    void sourceEnded(int ticket, int source, const QByteArray& body, const QString& failure);
    void coverEnded(int ticket, const QByteArray& body);
    void finishSources(int ticket);
    void deliver(int ticket);
    QString hostKey(const QUrl& url) const;

    std::vector<std::unique_ptr<BookSource>> m_sources;
    QNetworkAccessManager* m_network;
    QThreadPool m_pool;
    QSize m_preview { 240, 320 };
    int m_requestMs = RequestMs;
    int m_nextTicket = 1;
    QHash<int, std::shared_ptr<Job>> m_jobs;
    QList<Request*> m_queue;
    QHash<QNetworkReply*, Request*> m_running;
    QHash<QString, int> m_perHost;
};

} // namespace Lookup

Q_DECLARE_METATYPE(Lookup::Answer)
