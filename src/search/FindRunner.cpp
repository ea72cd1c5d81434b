#include "search/FindRunner.h"

#include "data/Connection.h"
#include "data/SqliteHandle.h"
#include "search/FieldSearch.h"
#include "search/FindQuery.h"
#include "search/FullTextLibrary.h"
#include "search/FullTextSearch.h"

#include <QMetaObject>
#include <QPointer>

FindRunner::FindRunner(QString databasePath, FullTextLibrary* library, QObject* parent)
    : QObject(parent)
    , m_databasePath(std::move(databasePath))
    , m_library(library)
{
    m_pool.setMaxThreadCount(1); // a newer search starts once the older has stopped
}

FindRunner::~FindRunner()
{
    cancel();
    m_pool.waitForDone();
}

void FindRunner::cancel()
{
    if (m_cancel)
        m_cancel->store(true);
    m_cancel.reset();
    ++m_generation;
}

void FindRunner::waitForDone()
{
    m_pool.waitForDone();
}

void FindRunner::find(const FindQuery& query, bool fullText)
{
    cancel();
    auto flag = std::make_shared<std::atomic<bool>>(false);
    m_cancel = flag;
    const quint64 generation = m_generation;
    const QString path = m_databasePath;
    FullTextLibrary* library = fullText ? m_library : nullptr;
    QPointer<FindRunner> self(this);
    const QString text = query.text;
    m_pool.start([this, self, flag, generation, query, text, path, library] {
        if (flag->load())
            return;
        FindResults results;
        QString error;
        try {
            const SqliteHandle handle(FieldSearch::openReadOnly(path));
            sqlite3* db = handle.db;
            results = FieldSearch::run(db, query, flag.get());
            if (library && !flag->load())
                results.fullText = FullTextSearch::run(db, query, *library, flag.get());
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        if (flag->load())
            return;
        // The runner outlives this task (its destructor waits for the pool).
        QMetaObject::invokeMethod(
            this,
            [this, generation, text, results = std::move(results), error] {
                if (generation != m_generation)
                    return;
                if (error.isEmpty())
                    emit found(text, results);
                else
                    emit failed(text, error);
            },
            Qt::QueuedConnection);
        (void)self;
    });
}
