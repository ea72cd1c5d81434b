#include "ebooks/BookFind.h"

#include "pdfworker/WorkerTask.h"

#include <QCborArray>

#include <mutex>

using namespace Qt::StringLiterals;

// What the worker sent and the window has not taken yet.
struct BookFind::Found
{
    std::mutex mutex;
    QString text;
    int pages = -1;
    int done = 0;
    QList<QPair<int, QList<QList<QRectF>>>> matches;
};

namespace {

QList<QList<QRectF>> matchesOf(const QCborArray& sent)
{
    QList<QList<QRectF>> matches;
    for (const QCborValue& match : sent) {
        const QCborArray numbers = match.toArray();
        QList<QRectF> rectangles;
        for (qsizetype i = 0; i + 3 < numbers.size(); i += 4)
            rectangles << QRectF(numbers.at(i).toDouble(), numbers.at(i + 1).toDouble(), numbers.at(i + 2).toDouble(),
                numbers.at(i + 3).toDouble());
        matches << rectangles;
    }
    return matches;
}

} // namespace

BookFind::BookFind(QObject* parent)
    : QObject(parent)
    , m_settings(WorkerSettings::standard())
{
    // The family waits for what it looks for: the worker runs at the normal priority.
    m_settings.idlePriority = false;
    m_pool.setMaxThreadCount(2);
}

BookFind::~BookFind()
{
    stop();
    m_pool.waitForDone();
}

void BookFind::setSource(const QString& storeFile, const QString& password)
{
    stop();
    m_storeFile = storeFile;
    m_password = password;
}

bool BookFind::searched(int page) const
{
    if (m_pages <= 0 || page < 0 || page >= m_pages)
        return false;
    return (page - m_first + m_pages) % m_pages < m_done;
}

void BookFind::stop()
{
    if (m_task) {
        m_task->disconnect(this);
        m_task->cancel();
        m_task->setAutoDelete(true);
    }
    m_task.clear();
    m_text.clear();
    m_first = 0;
    m_pages = -1;
    m_done = 0;
    m_count = 0;
    m_matches.clear();
}

void BookFind::start(const QStringList& forms, int page)
{
    stop();
    if (forms.isEmpty() || m_storeFile.isEmpty())
        return;
    m_first = qMax(0, page);
    m_text = forms.first();
    auto found = std::make_shared<Found>();
    // Whatever ends the job (a book the engine cannot search, a limit), what
    // was found stands and the search is over.
    auto* task = new WorkerTask(m_settings, WorkerJob::find(m_storeFile, m_password, forms, m_first),
        [found](const WorkerProtocol::Frame& frame) {
            const std::lock_guard lock(found->mutex);
            if (frame.type == WorkerProtocol::FrameType::Page) {
                found->matches.append({ int(frame.body.value(u"page"_s).toInteger()),
                    matchesOf(frame.body.value(u"matches"_s).toArray()) });
                if (frame.body.contains(u"text"_s))
                    found->text = frame.body.value(u"text"_s).toString();
            } else if (frame.type == WorkerProtocol::FrameType::Progress) {
                found->done = int(frame.body.value(u"done"_s).toInteger());
                found->pages = int(frame.body.value(u"total"_s).toInteger());
            }
        });
    task->setParent(this);
    task->setPool(&m_pool);
    connect(task, &BackgroundTask::progressed, this, [this, found] { take(found); });
    connect(task, &BackgroundTask::finished, this, [this, task, found] {
        take(found);
        if (m_task == task)
            m_task.clear();
        task->deleteLater();
        if (m_pages < 0)
            m_pages = 0; // nothing was looked at, nor will be
        m_done = m_pages; // nothing more to wait for
        emit changed();
    });
    m_task = task;
    task->start();
}

void BookFind::take(const std::shared_ptr<Found>& found)
{
    const std::lock_guard lock(found->mutex);
    if (!found->text.isEmpty())
        m_text = found->text;
    if (found->pages >= 0) {
        m_pages = found->pages;
        m_done = found->done;
    }
    for (const auto& [page, matches] : std::as_const(found->matches)) {
        m_count += int(matches.size());
        m_matches.insert(page, matches);
    }
    found->matches.clear();
    emit changed();
}
