#include "search/FullTextLibrary.h"

#include "Exception.h"
#include "data/Statement.h"
#include "format/Companion.h"
#include "search/FieldSearch.h"
#include "text/TextForms.h"
#include "tasks/BackgroundTask.h"

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

struct Book
{
    QString storedName;
    QString password;
};

// A book's text is smaller than the book: a companion claiming more than this
// is not one the builder made (a crafted backup), and is made again.
qint64 textLimitFor(qint64 storeFileBytes)
{
    return 4 * qMax<qint64>(storeFileBytes, 0) + 1024 * 1024;
}

} // namespace

FullTextLibrary::FullTextLibrary(QString storeFolder, QString databasePath, WorkerSettings worker, QObject* parent)
    : QObject(parent)
    , m_storeFolder(std::move(storeFolder))
    , m_databasePath(std::move(databasePath))
    , m_worker(std::move(worker))
{
    // The builder is a background task that lasts as long as the library, on a
    // pool of its own; it only waits for the worker, which runs at idle priority.
    m_pool.setMaxThreadCount(1);
    m_builder = new ThreadTask([this](TaskControl&) { run(); }, this);
    m_builder->setCancellable(false);
    m_builder->setPool(&m_pool);
    m_builder->start();
}

FullTextLibrary::~FullTextLibrary()
{
    {
        const std::lock_guard lock(m_workMutex);
        m_stop = true;
    }
    m_wake.notify_all();
    // The builder sees the stop within a wait slice and kills its worker.
    delete m_builder;
    m_pool.waitForDone();
}

void FullTextLibrary::refresh()
{
    {
        const std::lock_guard lock(m_workMutex);
        m_refreshAsked = true;
    }
    m_wake.notify_all();
}

void FullTextLibrary::forget(const QString& storedName)
{
    const std::lock_guard lock(m_keptMutex);
    if (const auto found = m_kept.constFind(storedName); found != m_kept.constEnd()) {
        m_keptBytes -= found->bytes;
        m_kept.erase(found);
    }
}

void FullTextLibrary::clear()
{
    const std::lock_guard lock(m_keptMutex);
    m_kept.clear();
    m_keptBytes = 0;
}

qint64 FullTextLibrary::cachedBytes() const
{
    const std::lock_guard lock(m_keptMutex);
    return m_keptBytes;
}

void FullTextLibrary::keep(const QString& storedName, const std::shared_ptr<const BookText>& text)
{
    const qint64 bytes = text->utf8.size() + text->pageStarts.size() * qint64(sizeof(qint32));
    const std::lock_guard lock(m_keptMutex);
    if (const auto found = m_kept.constFind(storedName); found != m_kept.constEnd()) {
        m_keptBytes -= found->bytes;
        m_kept.erase(found);
    }
    // The least recently used go until the new one fits; one larger than the
    // whole budget is searched but not kept.
    const qint64 budget = m_cacheBudget.load();
    while (!m_kept.isEmpty() && m_keptBytes + bytes > budget) {
        auto oldest = m_kept.begin();
        for (auto it = m_kept.begin(); it != m_kept.end(); ++it)
            if (it->used < oldest->used)
                oldest = it;
        m_keptBytes -= oldest->bytes;
        m_kept.erase(oldest);
    }
    if (bytes > budget)
        return;
    m_kept.insert(storedName, { text, bytes, ++m_uses });
    m_keptBytes += bytes;
}

std::shared_ptr<const BookText> FullTextLibrary::text(const QString& storedName)
{
    {
        const std::lock_guard lock(m_keptMutex);
        if (const auto found = m_kept.find(storedName); found != m_kept.end()) {
            found->used = ++m_uses;
            return found->text;
        }
    }
    const QString storePath = m_storeFolder + u'/' + storedName;
    Companion::ReadResult read = Companion::readChecked(storePath, textLimitFor(QFileInfo(storePath).size()));
    switch (read.status) {
    case Companion::ReadStatus::Sound:
        break;
    case Companion::ReadStatus::Missing:
        refresh();
        return nullptr;
    case Companion::ReadStatus::Damaged:
    case Companion::ReadStatus::TooLarge:
        // Proven not a sound companion of this book: it goes, and the builder makes it again.
        qWarning("full text of %s: %s (%s); made again", qPrintable(storedName),
            read.status == Companion::ReadStatus::TooLarge ? "too large" : "damaged", qPrintable(read.error));
        Companion::remove(storePath);
        refresh();
        return nullptr;
    case Companion::ReadStatus::ReadError:
        // Perhaps a passing fault: the file stays.
        qWarning("full text of %s cannot be read: %s", qPrintable(storedName), qPrintable(read.error));
        emit textUnreadable(storedName, read.error);
        return nullptr;
    }
    auto shared = std::make_shared<const BookText>(std::move(*read.text));
    keep(storedName, shared);
    return shared;
}

QString FullTextLibrary::problem() const
{
    const std::lock_guard lock(m_problemMutex);
    return m_problem;
}

bool FullTextLibrary::waitUntilIdle(int milliseconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) {
        {
            const std::lock_guard lock(m_workMutex);
            if (!m_refreshAsked && !m_busy)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void FullTextLibrary::run()
{
    // The builder's own worker, made on its thread and ended with it.
    PdfWorkerClient worker(m_worker);
    for (;;) {
        {
            std::unique_lock lock(m_workMutex);
            m_wake.wait(lock, [this] { return m_stop || m_refreshAsked; });
            if (m_stop)
                return;
            m_refreshAsked = false;
            m_busy = true;
        }
        try {
            buildAll(worker);
        } catch (const std::exception&) {
            // A library that cannot be read now is looked at again at the next refresh.
        }
        m_pending = 0;
        emit pendingChanged(0);
        const std::lock_guard lock(m_workMutex);
        m_busy = false;
    }
}

void FullTextLibrary::buildAll(PdfWorkerClient& worker)
{
    QList<Book> todo;
    {
        sqlite3* db = FieldSearch::openReadOnly(m_databasePath);
        struct Closer
        {
            sqlite3* db;
            ~Closer() { FieldSearch::closeHandle(db); }
        } closer { db };
        Statement rows(db, "select filename, place from dzbook order by ID desc");
        while (rows.step()) {
            const Book book { rows.text(0), rows.text(1).trimmed() };
            if (book.storedName.isEmpty() || book.storedName.contains(u'/') || book.storedName.contains(u'\\'))
                continue;
            const QString storePath = m_storeFolder + u'/' + book.storedName;
            if (QFileInfo::exists(storePath + QLatin1String(Companion::suffix)) || !QFileInfo::exists(storePath))
                continue;
            if (const auto failed = m_failed.constFind(book.storedName);
                failed != m_failed.constEnd() && *failed == book.password)
                continue;
            todo << book;
        }
    }
    m_pending = int(todo.size());
    if (!todo.isEmpty())
        emit pendingChanged(m_pending);
    for (const Book& book : std::as_const(todo)) {
        if (m_stop)
            return;
        try {
            build(worker, book.storedName, book.password);
        } catch (const std::exception&) {
            m_failed.insert(book.storedName, book.password); // an unwritable companion: not again this run
        }
        m_pending = m_pending - 1;
        emit pendingChanged(m_pending);
    }
}

void FullTextLibrary::keepText(const QString& storePath, const BookText& text)
{
    try {
        Companion::write(storePath, text);
    } catch (const EWriteError& error) {
        bool first = false;
        QString why;
        {
            const std::lock_guard lock(m_problemMutex);
            first = m_problem.isEmpty();
            if (first)
                m_problem = u"无法在“%1”中保存电子书的文字：%2"_s.arg(
                    QDir::toNativeSeparators(m_storeFolder), QString::fromUtf8(error.what()));
            why = m_problem;
        }
        if (first)
            emit problemFound(why);
        throw;
    }
}

void FullTextLibrary::build(PdfWorkerClient& worker, const QString& storedName, const QString& password)
{
    const QString storePath = m_storeFolder + u'/' + storedName;
    switch (m_loadCheck ? m_loadCheck(storedName, password, [this] { return m_stop.load(); }) : LoadAnswer::Go) {
    case LoadAnswer::Go:
        break;
    case LoadAnswer::SetAside:
        m_failed.insert(storedName, password); // set aside: not again with this password
        return;
    case LoadAnswer::Later:
        return;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        QStringList pages;
        bool inOrder = true;
        const WorkerResult result = worker.run(WorkerJob::text(storePath, password),
            [&](const WorkerProtocol::Frame& frame) {
                if (frame.type != WorkerProtocol::FrameType::Page)
                    return;
                inOrder = inOrder && frame.body.value(u"page"_s).toInteger() == pages.size();
                pages << frame.body.value(u"text"_s).toString();
            },
            [this] { return m_stop.load(); });
        switch (result.end) {
        case WorkerEnd::Done:
            if (result.result() != u"ok"_s || !inOrder || result.body.value(u"pages"_s).toInteger() != pages.size()) {
                m_failed.insert(storedName, password); // a wrong password, a damaged book
                return;
            }
            m_failed.remove(storedName);
            m_faults.remove(storedName);
            keepText(storePath, TextForms::bookText(pages));
            // The book may have been deleted meanwhile: its companion goes with it.
            if (!QFileInfo::exists(storePath))
                Companion::remove(storePath);
            forget(storedName);
            emit textBuilt(storedName);
            return;
        case WorkerEnd::Failed:
        case WorkerEnd::PasswordTooLong:
            m_failed.insert(storedName, password);
            return;
        case WorkerEnd::Cancelled:
        case WorkerEnd::CannotStart:
        case WorkerEnd::KilledOutside:
        case WorkerEnd::Busy:
            return; // no judgement: the next refresh tries again
        default:
            break;
        }
        // An overrun of the worker's limits: set aside when it happens twice the same way.
        qWarning("text of %s: the worker ended (%s)", qPrintable(storedName), qPrintable(result.limitName()));
        if (m_faults.value(storedName) == result.limitName()) {
            m_failed.insert(storedName, password);
            return;
        }
        m_faults.insert(storedName, result.limitName());
    }
}
