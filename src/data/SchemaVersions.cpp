// The history of the library file's schema, one step per version, and the
// bringing of an older file up to date when it is opened.

#include "data/Schema.h"

#include "data/Statement.h"
#include "data/TextCompare.h"

#include <QRegularExpression>

#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace Schema {
namespace {

    // Rewrites the text of table definitions in place. The records on disk do not
    // depend on a column's declared collation or length check, so only the text
    // changes; an index ordered by a collation that changes is rebuilt.
    void rewriteTables(sqlite3* db, QString (*rewrite)(const QString& table, const QString& sql))
    {
        std::vector<std::pair<QString, QString>> changed;
        {
            Statement tables(db, "select name, sql from sqlite_master where type = 'table' and sql is not null");
            while (tables.step()) {
                const QString sql = tables.text(1);
                const QString fresh = rewrite(tables.text(0), sql);
                if (fresh != sql)
                    changed.emplace_back(tables.text(0), fresh);
            }
        }
        if (changed.empty())
            return;
        const int cookie = Statement::scalar(db, "pragma schema_version").toInt();
        Statement::execute(db, "pragma writable_schema = on");
        try {
            Statement update(db, "update sqlite_master set sql = ?1 where type = 'table' and name = ?2");
            for (const auto& [table, sql] : changed) {
                update.bind(1, sql).bind(2, table);
                update.step();
                update.reset();
            }
            Statement::execute(db, u"pragma schema_version = %1"_s.arg(cookie + 1).toUtf8());
        } catch (...) {
            Statement::execute(db, "pragma writable_schema = reset");
            throw;
        }
        Statement::execute(db, "pragma writable_schema = reset"); // off, and the schema read afresh
    }

    // Version 1: text columns name SQLite's own NOCASE instead of a collation only
    // this program defined (stock tools failed with "no such collation sequence"),
    // and the e-book table's short texts hold 255 characters like the paper books'.
    QString stockCollationAndWideEbookTexts(const QString& table, const QString& sql)
    {
        QString text = sql;
        text.replace(
            QRegularExpression(u"\\bCOLLATE\\s+\"?%1\"?"_s.arg(QLatin1String(TextCompare::legacyCollationName)),
                QRegularExpression::CaseInsensitiveOption),
            u"COLLATE NOCASE"_s);
        if (table.compare(u"dzbook"_s, Qt::CaseInsensitive) == 0) {
            text.replace(
                QRegularExpression(u"VARCHAR\\(50\\)"_s, QRegularExpression::CaseInsensitiveOption), u"VARCHAR(255)"_s);
            text.replace(
                QRegularExpression(u"\"([^\"]*) 最多 50 个字符\" CHECK \\(length\\(\"([^\"]*)\"\\) <= 50\\)"_s),
                u"\"\\1 最多 255 个字符\" CHECK (length(\"\\2\") <= 255)"_s);
        }
        return text;
    }

    void version1(sqlite3* db)
    {
        const bool reindex = indexUses(db, TextCompare::legacyCollationName);
        rewriteTables(db, &stockCollationAndWideEbookTexts);
        if (reindex)
            Statement::execute(db, "reindex");
    }

    // Version 2: category names without blanks around them. The category manager once
    // stored " 小说 " as typed, while every look-up of a name (the main window's links,
    // the editor's save) trims what it looks for and so never found such a category.
    // The manager now trims before it writes; this brings older names in line.
    void version2(sqlite3* db)
    {
        std::vector<std::pair<qint64, QString>> trimmed;
        {
            Statement names(db, "select id, leib from tblei where leib is not null");
            while (names.step()) {
                const QString name = names.text(1);
                if (name.trimmed() != name)
                    trimmed.emplace_back(names.integer(0), name.trimmed());
            }
        }
        Statement update(db, "update tblei set leib = ?1 where id = ?2");
        for (const auto& [id, name] : trimmed) {
            update.bind(1, name).bind(2, id);
            update.step();
            update.reset();
        }
    }

    // Version 4: the record of e-books tried in a helper process before the PDF engine loads them.
    void version4(sqlite3* db)
    {
        Statement::execute(db, pdfCheckTable);
    }

    // Version 5: loans with dates and the reading dates of books and e-books.
    void version5(sqlite3* db)
    {
        addLoansAndReadingDates(db);
        openLoansOfLentBooks(db);
    }

    // Version 7: the pinyin of titles, authors and publishers is kept in
    // memory with every reading of each character; the tables that held one
    // spelling per title (and their text indexes) go.
    void version7(sqlite3* db)
    {
        for (const char* table : { "qh_pinyin_baseshu_text", "qh_pinyin_baseshu", "qh_pinyin_dzbook_text",
                 "qh_pinyin_dzbook" })
            Statement::execute(db, QByteArray("drop table if exists ") + table);
    }

    // Version 8: the texts of the loans and reading dates get their columns' length limits;
    // a corrected borrower corrects the open loan; a deleted book's loans stay, with its title.
    void version8(sqlite3* db)
    {
        rebuildLoansAndReadingDates(db);
    }

    // Version 9: the e-books' own page numbers, for the pages the search names.
    void version9(sqlite3* db)
    {
        Statement::execute(db, pageLabelsTable);
    }

    // Version 10: choices remembered between runs.
    void version10(sqlite3* db)
    {
        Statement::execute(db, settingsTable);
    }

    // Version 11: what the PDF worker found of each book, tied to the store file's
    // size and the worker's version. The older record (qh_pdfcheck) is no longer
    // trusted: every book is checked again once.
    void version11(sqlite3* db)
    {
        Statement::execute(db, pdfVerdictTable);
    }

    // Version 12: the recycle bin of books and e-books.
    void version12(sqlite3* db)
    {
        addTrash(db);
    }

    // Version 13: the earlier versions of every book's texts.
    void version13(sqlite3* db)
    {
        addHistory(db);
    }

} // namespace

const std::vector<Migration>& migrations()
{
    static const std::vector<Migration> steps {
        { 1, "文本列使用 NOCASE 排序规则，电子书文本列加长到 255 个字符", &version1 },
        { 2, "去掉分类名称首尾的空白", &version2 },
        { 4, "记录已检查过的电子书（qh_pdfcheck）", &version4 },
        { 5, "借阅记录与阅读日期", &version5 },
        { 7, "删除旧的拼音索引表", &version7 },
        { 8, "借阅与阅读日期的文本限长，改正借书人不再结束借阅，删除的书保留借阅记录", &version8 },
        { 9, "电子书自己的页码（qh_pagelabels）", &version9 },
        { 10, "记住的选项（qh_settings）", &version10 },
        { 11, "电子书检查结果与文件大小、检查程序版本绑定（qh_pdfverdict）", &version11 },
        { 12, "回收站（qh_trash_books、qh_trash_ebooks）", &version12 },
        { 13, "图书的历史版本（qh_history）", &version13 },
    };
    return steps;
}

int latestVersion()
{
    return migrations().back().version;
}

int version(sqlite3* db)
{
    return Statement::scalar(db, "pragma user_version").toInt();
}

bool isLibrary(sqlite3* db)
{
    return Statement::scalar(db, "select count(*) from sqlite_master where type = 'table' and lower(name) in "
                                 "('baseshu', 'dzbook', 'tblei', 'userb')")
        == u"4"_s;
}

bool indexUses(sqlite3* db, const char* collation)
{
    Statement stmt(db,
        "select count(*) from sqlite_master t, pragma_index_list(t.name) l, pragma_index_xinfo(l.name) x "
        "where t.type = 'table' and x.coll = ?1 collate nocase");
    stmt.bind(1, QString::fromLatin1(collation));
    return stmt.step() && stmt.integer(0) > 0;
}

void migrate(sqlite3* db)
{
    const int found = version(db);
    if (found > latestVersion())
        Statement::fail(
            u"数据库文件的版本（%1）比本程序新（%2），请使用新版程序打开。"_s.arg(found).arg(latestVersion()));
    if (sqlite3_db_readonly(db, "main") == 1)
        return;
    // A table of our own that a database tool dropped is made again, empty.
    if (Statement::scalar(db, "select count(*) from sqlite_master where type = 'table' and name = 'qinghe_meta'")
        == u"0"_s)
        inTransaction(db, [&] {
            Statement::execute(db, "create table if not exists qinghe_meta (name TEXT PRIMARY KEY, value TEXT)");
        });
    if (found == latestVersion())
        return;
    for (const Migration& step : migrations()) {
        inTransaction(db, [&] {
            // Read again under the write lock: another program may have just done this step.
            if (version(db) >= step.version)
                return;
            try {
                step.apply(db);
            } catch (const EDatabaseError& error) {
                Statement::fail(u"无法升级数据库文件（%1）：%2"_s.arg(
                    QString::fromUtf8(step.what), QString::fromStdString(error.message())));
            }
            Statement::execute(db, "pragma user_version = " + QByteArray::number(step.version));
        });
    }
}

} // namespace Schema
