#include "data/ConnectionString.h"

ConnectionString::ConnectionString(const QString& text)
{
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size) {
        const qsizetype eq = text.indexOf(u'=', pos);
        const qsizetype semi = text.indexOf(u';', pos);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            // A piece without "=" continues the previous value: a path or password
            // written unquoted may itself hold ";".
            const qsizetype end = semi < 0 ? size : semi;
            const QString piece = text.mid(pos, end - pos);
            if (!m_pairs.isEmpty() && !piece.trimmed().isEmpty())
                m_pairs.last().second += u';' + piece.trimmed();
            pos = end + 1;
            continue;
        }
        const QString key = text.mid(pos, eq - pos).trimmed();
        pos = eq + 1;
        while (pos < size && text.at(pos).isSpace())
            ++pos;
        QString value;
        if (pos < size && (text.at(pos) == u'"' || text.at(pos) == u'\'')) {
            const QChar quote = text.at(pos++);
            while (pos < size) {
                if (text.at(pos) == quote) {
                    if (pos + 1 < size && text.at(pos + 1) == quote) {
                        value += quote;
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                value += text.at(pos++);
            }
            const qsizetype next = text.indexOf(u';', pos);
            pos = next < 0 ? size : next + 1;
        } else {
            const qsizetype next = text.indexOf(u';', pos);
            const qsizetype end = next < 0 ? size : next;
            value = text.mid(pos, end - pos).trimmed();
            pos = end + 1;
        }
        if (!key.isEmpty())
            setValue(key, value);
    }
}

QString ConnectionString::value(const QString& key) const
{
    for (const auto& [k, v] : m_pairs) {
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return v;
    }
    return {};
}

bool ConnectionString::contains(const QString& key) const
{
    for (const auto& pair : m_pairs) {
        if (pair.first.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void ConnectionString::setValue(const QString& key, const QString& value)
{
    for (auto& pair : m_pairs) {
        if (pair.first.compare(key, Qt::CaseInsensitive) == 0) {
            pair.second = value;
            return;
        }
    }
    m_pairs.append({ key, value });
}

QString ConnectionString::toString() const
{
    QStringList parts;
    for (const auto& [k, v] : m_pairs) {
        QString text = v;
        if (v.isEmpty())
            text = QStringLiteral("\"\"");
        else if (v.contains(u';') || v.startsWith(u'"') || v.startsWith(u'\'') || v != v.trimmed())
            text = u'"' + QString(v).replace(u'"', QStringLiteral("\"\"")) + u'"';
        parts << k + u'=' + text;
    }
    return parts.join(u';');
}
