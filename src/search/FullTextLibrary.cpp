#include "search/FullTextLibrary.h"

#include "format/EncryptedPdfDevice.h"

#include "crypto/AES.h"
#include "data/Statement.h"
#include "format/Companion.h"
#include "search/FieldSearch.h"
#include "search/TextExtraction.h"
#include "search/TextForms.h"

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

FullTextLibrary* programLibrary = nullptr;

struct Book
{
    QString storedName;
    QString password;
};

} // namespace

FullTextLibrary::FullTextLibrary(QString storeFolder, QString databasePath, QObject* parent)
    : QObject(parent)
    , m_storeFolder(std::move(storeFolder))
    , m_databasePath(std::move(databasePath))
{
    m_thread = QThread::create([this] { run(); });
    m_thread->setObjectName(u"FullTextBuilder"_s);
    m_thread->start(QThread::LowestPriority);
}

FullTextLibrary::~FullTextLibrary()
{
    {
        const std::lock_guard lock(m_workMutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread->wait();
    delete m_thread;
    if (programLibrary == this)
        programLibrary = nullptr;
}

FullTextLibrary* FullTextLibrary::current()
{
    return programLibrary;
}

void FullTextLibrary::setCurrent(FullTextLibrary* library)
{
    programLibrary = library;
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
    m_kept.remove(storedName);
}

void FullTextLibrary::clear()
{
    const std::lock_guard lock(m_keptMutex);
    m_kept.clear();
}

std::shared_ptr<const BookText> FullTextLibrary::text(const QString& storedName)
{
    {
        const std::lock_guard lock(m_keptMutex);
        if (const auto found = m_kept.constFind(storedName); found != m_kept.constEnd())
            return *found;
    }
    const QString storePath = m_storeFolder + u'/' + storedName;
    std::optional<BookText> read = Companion::read(storePath);
    if (!read) {
        // A damaged one goes, so that the builder makes it again.
        Companion::remove(storePath);
        refresh();
        return nullptr;
    }
    auto shared = std::make_shared<const BookText>(std::move(*read));
    const std::lock_guard lock(m_keptMutex);
    m_kept.insert(storedName, shared);
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
            buildAll();
        } catch (const std::exception&) {
            // A library that cannot be read now is looked at again at the next refresh.
        }
        m_pending = 0;
        emit pendingChanged(0);
        const std::lock_guard lock(m_workMutex);
        m_busy = false;
    }
}

void FullTextLibrary::buildAll()
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
            build(book.storedName, book.password);
        } catch (const std::exception&) {
            m_failed.insert(book.storedName, book.password); // an unreadable store file: not again this run
        }
        m_pending = m_pending - 1;
        emit pendingChanged(m_pending);
    }
}

void FullTextLibrary::build(const QString& storedName, const QString& password)
{
    const QString storePath = m_storeFolder + u'/' + storedName;
    if (m_loadCheck && !m_loadCheck(storedName, password)) {
        m_failed.insert(storedName, password); // set aside: not again with this password
        return;
    }
    // Read straight from the store file, a part at a time: the book is never whole in memory.
    EncryptedPdfDevice book(storePath);
    const TextExtraction::Extracted extracted = TextExtraction::extract(book, password, &m_stop);
    if (extracted.outcome == TextExtraction::Outcome::Cancelled)
        return;
    if (extracted.outcome != TextExtraction::Outcome::Done) {
        m_failed.insert(storedName, password);
        return;
    }
    m_failed.remove(storedName);
    try {
        Companion::write(storePath, TextForms::bookText(extracted.pages));
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
    // The book may have been deleted meanwhile: its companion goes with it.
    if (!QFileInfo::exists(storePath))
        Companion::remove(storePath);
    forget(storedName);
    emit textBuilt(storedName);
}
