#include "search/FieldSearch.h"

#include "text/PinyinIndex.h"

#include "data/Isbn.h"
#include "data/Statement.h"
#include "data/TextCompare.h"
#include "search/ByteSearch.h"
#include "search/Snippet.h"

#include <QScopeGuard>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace FieldSearch {
namespace {

    constexpr char separator = '\x1f';

    // One form of the search text, ready for a byte search over UTF-8.
    struct Needle
    {
        std::string bytes; // lower-case when ascii letters are folded
        bool asciiCase = false; // has ASCII letters: strcasestr
        bool wideCase = false; // has letters beyond ASCII with a case: compared as text
        QString text;

        bool in(const char* haystack, int size) const
        {
            if (wideCase)
                return QString::fromUtf8(haystack, size).contains(text, Qt::CaseInsensitive);
            return ByteSearch::find(haystack, size_t(size), bytes.data(), bytes.size(), asciiCase) != nullptr;
        }
    };

    struct Needles
    {
        std::vector<Needle> list;

        static std::unique_ptr<Needles> parse(const char* joined)
        {
            auto needles = std::make_unique<Needles>();
            for (const QString& part : QString::fromUtf8(joined).split(QLatin1Char(separator), Qt::SkipEmptyParts)) {
                Needle needle;
                needle.text = part;
                for (const QChar c : part) {
                    if (c.unicode() < 0x80 && c.isLetter())
                        needle.asciiCase = true;
                    else if (c.unicode() >= 0x80 && c.toLower() != c.toUpper())
                        needle.wideCase = true;
                }
                needle.bytes = (needle.asciiCase ? part.toLower() : part).toUtf8().toStdString();
                needles->list.push_back(std::move(needle));
            }
            return needles;
        }

        bool in(const char* haystack, int size) const
        {
            return std::any_of(list.begin(), list.end(), [&](const Needle& n) { return n.in(haystack, size); });
        }
    };

    // The needles of argument 0, parsed once per statement (SQLite keeps them
    // with the bound value) or for this call only when it does not.
    template <typename Parsed>
    const Parsed* auxiliary(sqlite3_context* context, sqlite3_value* joined, std::unique_ptr<Parsed>& fresh)
    {
        if (auto* kept = static_cast<Parsed*>(sqlite3_get_auxdata(context, 0)))
            return kept;
        const char* text = reinterpret_cast<const char*>(sqlite3_value_text(joined));
        fresh = Parsed::parse(text ? text : "");
        return fresh.get();
    }

    template <typename Parsed> void keep(sqlite3_context* context, std::unique_ptr<Parsed>& fresh)
    {
        if (fresh)
            sqlite3_set_auxdata(context, 0, fresh.release(), [](void* p) { delete static_cast<Parsed*>(p); });
    }

    // qh_find(needles, a, b, ...): the number (from 1) of the first of a, b, ...
    // holding one of the needles, else 0.
    void findFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
    {
        std::unique_ptr<Needles> fresh;
        const Needles* needles = auxiliary(context, argv[0], fresh);
        int found = 0;
        for (int i = 1; i < argc && !found && !needles->list.empty(); ++i) {
            const char* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[i]));
            if (text && needles->in(text, sqlite3_value_bytes(argv[i])))
                found = i;
        }
        keep(context, fresh);
        sqlite3_result_int(context, found);
    }

    struct IsbnForms
    {
        std::vector<std::string> list;
        static std::unique_ptr<IsbnForms> parse(const char* joined)
        {
            auto forms = std::make_unique<IsbnForms>();
            for (const QByteArray& part : QByteArray(joined).split(separator)) {
                if (!part.isEmpty())
                    forms->list.push_back(part.toStdString());
            }
            return forms;
        }
    };

    // qh_isbn(forms, isbn): 1 when the ISBN's digits (and X) hold one of the forms.
    void isbnFunction(sqlite3_context* context, int, sqlite3_value** argv)
    {
        std::unique_ptr<IsbnForms> fresh;
        const IsbnForms* forms = auxiliary(context, argv[0], fresh);
        int found = 0;
        const char* isbn = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
        if (isbn && !forms->list.empty()) {
            const std::string compact = Isbn::compact(std::string_view(isbn));
            for (const std::string& form : forms->list)
                found = found || compact.find(form) != std::string::npos;
        }
        keep(context, fresh);
        sqlite3_result_int(context, found);
    }

    QByteArray joined(const QStringList& parts)
    {
        return parts.join(QLatin1Char(separator)).toUtf8();
    }

    int interrupt(void* flag)
    {
        return static_cast<const std::atomic<bool>*>(flag)->load(std::memory_order_relaxed) ? 1 : 0;
    }

    bool isCancelled(const std::atomic<bool>* cancelled)
    {
        return cancelled && cancelled->load(std::memory_order_relaxed);
    }

    FindHit hit(FindHit::Group group, qint64 id, const QString& title, const QString& field, const QString& text,
        const QStringList& needles)
    {
        FindHit found;
        found.group = group;
        found.id = id;
        found.title = title;
        found.field = field;
        const Snippet snippet = Snippet::around(text, needles);
        found.snippet = snippet.text;
        found.markStart = snippet.markStart;
        found.markLength = snippet.markLength;
        return found;
    }

    const QStringList paperFields { u"书名"_s, u"作者"_s, u"出版社"_s, u"类别"_s, u"存放地点"_s, u"借书人"_s,
        u"内容简介"_s, u"目录"_s, u"读书笔记"_s, u"ISBN"_s };
    const QStringList ebookFields { u"书名"_s, u"作者"_s, u"内容简介"_s, u"读书笔记"_s };

    // Title matches first, then the other fields in their order; pinyin
    // matches of a title count as title matches.
    void rank(QList<std::pair<int, FindHit>>& hits, QList<FindHit>& into)
    {
        std::stable_sort(hits.begin(), hits.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& entry : hits)
            into.append(std::move(entry.second));
    }

    void addPinyinRows(sqlite3* db, const FindQuery& query, const QString& table, FindHit::Group group,
        QList<std::pair<int, FindHit>>& hits)
    {
        if (query.pinyin.isEmpty())
            return;
        QSet<qint64> seen;
        for (const auto& entry : std::as_const(hits))
            seen.insert(entry.second.id);
        const QHash<qint64, QString> matches = query.pinyinHits.value(table);
        if (matches.isEmpty())
            return;
        const bool ebook = group == FindHit::Group::Ebook;
        Statement row(
            db, ebook ? "select name, filename from dzbook where ID = ?1" : "select name from baseshu where id = ?1");
        QList<qint64> ids = matches.keys();
        std::sort(ids.begin(), ids.end());
        for (const qint64 id : std::as_const(ids)) {
            if (seen.contains(id))
                continue;
            row.reset();
            row.bind(1, id);
            if (!row.step())
                continue;
            FindHit found = hit(group, id, row.text(0), matches.value(id) + u"（拼音）"_s, row.text(0), {});
            if (ebook)
                found.storedName = row.text(1);
            hits.append({ 0, std::move(found) });
        }
    }

    void searchPaper(sqlite3* db, const FindQuery& query, const std::atomic<bool>* cancelled, QList<FindHit>& into)
    {
        Statement select(db,
            "select b.id, b.name, b.name, b.zuozhe, b.publish, t.leib, b.place, b.jieshumen, b.contentjj, "
            "b.\"目录\", b.readbiji, b.isbn, "
            "qh_find(?1, b.name, b.zuozhe, b.publish, t.leib, b.place, b.jieshumen, b.contentjj, b.\"目录\", "
            "b.readbiji, b.isbn) as f "
            "from baseshu b left join tblei t on t.id = b.leibie where f > 0 or qh_isbn(?2, b.isbn) order by b.id");
        select.bind(1, QString::fromUtf8(joined(query.needles)));
        select.bind(2, QString::fromUtf8(joined(query.isbnForms)));
        QList<std::pair<int, FindHit>> hits;
        QSet<qint64> seen;
        while (select.step()) {
            const int field = int(select.integer(12));
            const qint64 id = select.integer(0);
            if (seen.contains(id))
                continue; // a category name shared by two rows of the category table
            seen.insert(id);
            if (field > 0)
                hits.append({ field,
                    hit(FindHit::Group::Paper, id, select.text(1), paperFields.at(field - 1), select.text(1 + field),
                        query.needles) });
            else
                hits.append({ int(paperFields.size()) + 1,
                    hit(FindHit::Group::Paper, id, select.text(1), u"ISBN"_s, select.text(11), { select.text(11) }) });
        }
        if (isCancelled(cancelled))
            return;
        addPinyinRows(db, query, u"baseshu"_s, FindHit::Group::Paper, hits);
        rank(hits, into);
    }

    void searchEbooks(sqlite3* db, const FindQuery& query, QList<FindHit>& into)
    {
        Statement select(db,
            "select ID, name, name, zuozhe, contentjj, readbiji, filename, "
            "qh_find(?1, name, zuozhe, contentjj, readbiji) as f from dzbook where f > 0 order by ID");
        select.bind(1, QString::fromUtf8(joined(query.needles)));
        QList<std::pair<int, FindHit>> hits;
        while (select.step()) {
            const int field = int(select.integer(7));
            FindHit found = hit(FindHit::Group::Ebook, select.integer(0), select.text(1), ebookFields.at(field - 1),
                select.text(1 + field), query.needles);
            found.storedName = select.text(6);
            hits.append({ field, std::move(found) });
        }
        addPinyinRows(db, query, u"dzbook"_s, FindHit::Group::Ebook, hits);
        rank(hits, into);
    }

} // namespace

int registerFunctions(sqlite3* db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    int rc = sqlite3_create_function_v2(db, "qh_find", -1, flags, nullptr, &findFunction, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "qh_isbn", 2, flags, nullptr, &isbnFunction, nullptr, nullptr, nullptr);
    return rc;
}

sqlite3* openReadOnly(const QString& databasePath)
{
    sqlite3* db = nullptr;
    int rc
        = sqlite3_open_v2(databasePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_busy_timeout(db, 5000);
    if (rc == SQLITE_OK)
        rc = TextCompare::registerOn(db); // a file not yet migrated names the old collation
    if (rc == SQLITE_OK)
        rc = registerFunctions(db);
    if (rc != SQLITE_OK) {
        const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw EDatabaseError(u"无法打开数据库文件 %1: %2"_s.arg(databasePath, message).toStdString());
    }
    return db;
}

void closeHandle(sqlite3* db)
{
    sqlite3_close_v2(db);
}

QHash<qint64, QString> pinyinMatches(Connection& connection, const QString& table, const QString& letters)
{
    QHash<qint64, QString> matches;
    if (letters.isEmpty())
        return matches;
    const std::pair<const char*, const char16_t*> fields[] = { { "name", u"书名" }, { "zuozhe", u"作者" },
        { "publish", u"出版社" } };
    for (const auto& [column, label] : fields) {
        for (const qint64 id : PinyinIndex::matches(connection, table, QString::fromLatin1(column), letters)) {
            if (!matches.contains(id))
                matches.insert(id, QString::fromUtf16(label));
        }
    }
    return matches;
}

void addPinyin(Connection& connection, FindQuery& query)
{
    if (query.pinyin.isEmpty())
        return;
    for (const QString& table : { u"baseshu"_s, u"dzbook"_s }) {
        try {
            query.pinyinHits.insert(table, pinyinMatches(connection, table, query.pinyin));
        } catch (const std::exception&) {
            // A library that cannot be indexed: the plain search still runs.
        }
    }
}

FindResults run(sqlite3* db, const FindQuery& query, const std::atomic<bool>* cancelled)
{
    FindResults results;
    if (query.isEmpty())
        return results;
    if (cancelled)
        sqlite3_progress_handler(db, 2000, &interrupt, const_cast<std::atomic<bool>*>(cancelled));
    const auto detach = qScopeGuard([db, cancelled] {
        if (cancelled)
            sqlite3_progress_handler(db, 0, nullptr, nullptr);
    });
    try {
        searchPaper(db, query, cancelled, results.paper);
        if (!isCancelled(cancelled))
            searchEbooks(db, query, results.ebook);
    } catch (const EDatabaseError&) {
        if (!isCancelled(cancelled))
            throw;
    }
    if (isCancelled(cancelled))
        return {};
    return results;
}

} // namespace FieldSearch
