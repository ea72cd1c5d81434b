#include "data/TextCompare.h"

#include <QString>

#include <sqlite3.h>

namespace TextCompare {
namespace {

    int compareUtf16(void*, int leftBytes, const void* left, int rightBytes, const void* right)
    {
        const QStringView a(static_cast<const QChar*>(left), leftBytes / 2);
        const QStringView b(static_cast<const QChar*>(right), rightBytes / 2);
        const int result = a.compare(b, Qt::CaseInsensitive);
        return result < 0 ? -1 : (result > 0 ? 1 : 0);
    }

    // NOCASE is SQLite's own for UTF-8; only a UTF-8 collation of that name replaces it.
    int compareUtf8(void*, int leftBytes, const void* left, int rightBytes, const void* right)
    {
        const QString a = QString::fromUtf8(static_cast<const char*>(left), leftBytes);
        const QString b = QString::fromUtf8(static_cast<const char*>(right), rightBytes);
        const int result = a.compare(b, Qt::CaseInsensitive);
        return result < 0 ? -1 : (result > 0 ? 1 : 0);
    }

    QString textArgument(sqlite3_value* value)
    {
        const auto* data = static_cast<const QChar*>(sqlite3_value_text16(value));
        const int bytes = sqlite3_value_bytes16(value);
        return QString(data, bytes / 2);
    }

    void likeFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
    {
        for (int i = 0; i < argc; ++i) {
            if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
                sqlite3_result_null(context);
                return;
            }
        }
        QChar escape;
        if (argc == 3) {
            const QString text = textArgument(argv[2]);
            if (text.size() != 1) {
                sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
                return;
            }
            escape = text.at(0);
        }
        sqlite3_result_int(context, like(textArgument(argv[0]), textArgument(argv[1]), escape) ? 1 : 0);
    }

} // namespace

int registerOn(sqlite3* db)
{
    int rc = sqlite3_create_collation_v2(db, legacyCollationName, SQLITE_UTF16, nullptr, &compareUtf16, nullptr);
    const int flags = SQLITE_UTF16 | SQLITE_DETERMINISTIC;
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "like", 2, flags, nullptr, &likeFunction, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "like", 3, flags, nullptr, &likeFunction, nullptr, nullptr, nullptr);
    return rc;
}

int foldNocase(sqlite3* db)
{
    return sqlite3_create_collation_v2(db, collationName, SQLITE_UTF8, nullptr, &compareUtf8, nullptr);
}

bool like(QStringView pattern, QStringView text, QChar escape)
{
    // Both sides are folded once; then the classic wildcard walk with one
    // backtracking point for the last '%'.
    const QString p = pattern.toString().toCaseFolded();
    const QString t = text.toString().toCaseFolded();
    const QChar folded = escape.isNull() ? QChar() : QString(escape).toCaseFolded().at(0);
    qsizetype pi = 0;
    qsizetype ti = 0;
    qsizetype starP = -1;
    qsizetype starT = 0;
    while (ti < t.size()) {
        if (pi < p.size()) {
            const QChar c = p.at(pi);
            if (!folded.isNull() && c == folded && pi + 1 < p.size()) {
                if (p.at(pi + 1) == t.at(ti)) {
                    pi += 2;
                    ++ti;
                    continue;
                }
            } else if (c == u'%') {
                starP = ++pi;
                starT = ti;
                continue;
            } else if (c == u'_' || c == t.at(ti)) {
                ++pi;
                ++ti;
                continue;
            }
        }
        if (starP < 0)
            return false;
        pi = starP;
        ti = ++starT;
    }
    while (pi < p.size() && p.at(pi) == u'%')
        ++pi;
    return pi == p.size();
}

} // namespace TextCompare
