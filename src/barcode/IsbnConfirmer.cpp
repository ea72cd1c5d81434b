#include "barcode/IsbnConfirmer.h"

QString IsbnConfirmer::add(const QStringList& isbns)
{
    if (!m_taken.isEmpty() && !isbns.contains(m_taken))
        m_taken.clear();
    // A frame showing two books at once confirms neither.
    const QString isbn = isbns.size() == 1 ? isbns.first() : QString();
    if (isbn.isEmpty() || isbn == m_taken) {
        m_last.clear();
        return QString();
    }
    if (isbn != m_last) {
        m_last = isbn;
        return QString();
    }
    m_last.clear();
    m_taken = isbn;
    return isbn;
}

void IsbnConfirmer::reset()
{
    m_last.clear();
    m_taken.clear();
}
