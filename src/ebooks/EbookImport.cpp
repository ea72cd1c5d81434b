#include "ebooks/EbookImport.h"

#include "data/Sql.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// The file name without its extension; the whole name when nothing is left.
QString withoutExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot).trimmed() : QString();
    return base.isEmpty() ? name : base;
}

// The title column's width.
constexpr qsizetype TitleLength = 50;

} // namespace

EbookImport::EbookImport(
    EbookStore store, QStringList sources, const QStringList& listedNames, const QStringList& listedFiles)
    : m_store(std::move(store))
    , m_sources(std::move(sources))
    , m_files(listedFiles.begin(), listedFiles.end())
{
    for (const QString& listed : listedNames) {
        m_names.insert(listed.toCaseFolded());
        if (listed.endsWith(u".pdf"_s, Qt::CaseInsensitive)) // a title from the days titles kept it
            m_names.insert(withoutExtension(listed).toCaseFolded());
    }
}

QString EbookImport::name() const
{
    return Sql::withoutNul(QFileInfo(source()).fileName());
}

QString EbookImport::title() const
{
    return m_title.isEmpty() ? withoutExtension(name()) : m_title;
}

bool EbookImport::next()
{
    m_storedName.clear();
    m_title.clear();
    while (!m_cancelled && ++m_index < count()) {
        if (!m_names.contains(name().toCaseFolded()) && !m_names.contains(withoutExtension(name()).toCaseFolded())) {
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
    m_title.clear();
    m_store.store(source(), m_storedName, [this](qint64 done, qint64 total) {
        m_done = done;
        m_total = total;
        if (m_progress)
            m_progress(done, total);
        return !m_cancelled;
    });
    if (m_titleReader && !m_cancelled)
        m_title = Sql::withoutNul(m_titleReader(m_store.path(m_storedName))).simplified().left(TitleLength);
}

void EbookImport::commitCurrent()
{
    m_names.insert(name().toCaseFolded());
    m_names.insert(withoutExtension(name()).toCaseFolded());
    m_names.insert(title().toCaseFolded());
    m_files.insert(m_storedName);
}

void EbookImport::discardCurrent()
{
    m_store.remove(m_storedName);
}
