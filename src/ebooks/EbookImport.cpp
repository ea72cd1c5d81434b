#include "ebooks/EbookImport.h"

#include "data/Sql.h"

#include <QFileInfo>

EbookImport::EbookImport(
    EbookStore store, QStringList sources, const QStringList& listedNames, const QStringList& listedFiles)
    : m_store(std::move(store))
    , m_sources(std::move(sources))
    , m_files(listedFiles.begin(), listedFiles.end())
{
    for (const QString& listed : listedNames)
        m_names.insert(listed.toCaseFolded());
}

QString EbookImport::name() const
{
    return Sql::withoutNul(QFileInfo(source()).fileName());
}

bool EbookImport::next()
{
    m_storedName.clear();
    while (!m_cancelled && ++m_index < count()) {
        if (!m_names.contains(name().toCaseFolded())) {
            m_done = 0;
            m_total = QFileInfo(source()).size();
            return true;
        }
    }
    return false;
}

void EbookImport::storeCurrent()
{
    m_done = 0;
    m_total = QFileInfo(source()).size();
    m_storedName = m_store.newStoredName(m_files);
    m_store.store(source(), m_storedName, [this](qint64 done, qint64 total) {
        m_done = done;
        m_total = total;
        if (m_progress)
            m_progress(done, total);
        return !m_cancelled;
    });
}

void EbookImport::commitCurrent()
{
    m_names.insert(name().toCaseFolded());
    m_files.insert(m_storedName);
}

void EbookImport::discardCurrent()
{
    m_store.remove(m_storedName);
}
