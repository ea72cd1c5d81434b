#include "search/Snippet.h"

using namespace Qt::StringLiterals;

Snippet Snippet::around(const QString& text, const QStringList& needles, int context)
{
    qsizetype at = -1;
    qsizetype length = 0;
    for (const QString& needle : needles) {
        if (needle.isEmpty())
            continue;
        const qsizetype found = text.indexOf(needle, 0, Qt::CaseInsensitive);
        if (found >= 0 && (at < 0 || found < at)) {
            at = found;
            length = needle.size();
        }
    }
    Snippet snippet;
    const qsizetype begin = at < 0 ? 0 : qMax<qsizetype>(0, at - context);
    const qsizetype end = at < 0 ? qMin<qsizetype>(text.size(), 2 * context) : qMin(text.size(), at + length + context);
    QString piece = text.mid(begin, end - begin);
    for (QChar& c : piece) {
        if (c == u'\n' || c == u'\r' || c == u'\t' || c == u'\f')
            c = u' ';
    }
    const QString lead = begin > 0 ? u"…"_s : QString();
    snippet.text = lead + piece + (end < text.size() ? u"…"_s : QString());
    if (at >= 0) {
        snippet.markStart = lead.size() + at - begin;
        snippet.markLength = length;
    }
    return snippet;
}
