// The tables of loans and of reading dates, and the triggers that keep them in
// step with the book rows: whatever writes "isjie", "jieshumen" or "isread" (the
// editor, the quick view, an import, another tool on the file), the loans and
// the dates follow, so the two never disagree.

#include "data/Schema.h"

#include "data/Statement.h"

#include <vector>

namespace Schema {

namespace {

    // Dates are ISO texts (yyyy-mm-dd) of the local calendar day.
    constexpr const char* ddl = R"sql(
CREATE TABLE IF NOT EXISTS qh_loans (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    book INTEGER NOT NULL,
    borrower TEXT COLLATE NOCASE NOT NULL DEFAULT '' CONSTRAINT "borrower 最多 255 个字符" CHECK (length(borrower) <= 255),
    lent TEXT CONSTRAINT "lent 是日期" CHECK (length(lent) <= 10),
    due TEXT CONSTRAINT "due 是日期" CHECK (length(due) <= 10),
    returned TEXT CONSTRAINT "returned 是日期" CHECK (length(returned) <= 10),
    title TEXT COLLATE NOCASE CONSTRAINT "title 最多 255 个字符" CHECK (length(title) <= 255)
);
CREATE INDEX IF NOT EXISTS qh_loans_book ON qh_loans (book, returned);
CREATE TABLE IF NOT EXISTS qh_book_dates (
    book INTEGER PRIMARY KEY,
    added TEXT CONSTRAINT "added 是日期" CHECK (length(added) <= 10),
    started TEXT CONSTRAINT "started 是日期" CHECK (length(started) <= 10),
    finished TEXT CONSTRAINT "finished 是日期" CHECK (length(finished) <= 10)
);
CREATE TABLE IF NOT EXISTS qh_ebook_dates (
    ebook INTEGER PRIMARY KEY,
    added TEXT CONSTRAINT "added 是日期" CHECK (length(added) <= 10),
    started TEXT CONSTRAINT "started 是日期" CHECK (length(started) <= 10),
    finished TEXT CONSTRAINT "finished 是日期" CHECK (length(finished) <= 10)
);

CREATE TRIGGER IF NOT EXISTS qh_baseshu_insert AFTER INSERT ON baseshu BEGIN
    INSERT OR REPLACE INTO qh_book_dates (book, added, started, finished) VALUES (new.id,
        date('now', 'localtime'),
        CASE WHEN new.isread = '正在读' THEN date('now', 'localtime') END,
        CASE WHEN new.isread = '已读完' THEN date('now', 'localtime') END);
    -- A book brought back with its open loan keeps that one.
    INSERT INTO qh_loans (book, borrower, lent)
        SELECT new.id, trim(coalesce(new.jieshumen, '')), date('now', 'localtime') WHERE new.isjie = '是'
        AND NOT EXISTS (SELECT 1 FROM qh_loans WHERE book = new.id AND returned IS NULL);
END;

CREATE TRIGGER IF NOT EXISTS qh_baseshu_status AFTER UPDATE OF isread ON baseshu
WHEN new.isread IS NOT old.isread AND new.isread IN ('正在读', '已读完') BEGIN
    INSERT OR IGNORE INTO qh_book_dates (book) VALUES (new.id);
    UPDATE qh_book_dates SET
        started = CASE WHEN new.isread = '正在读' THEN date('now', 'localtime') ELSE started END,
        finished = CASE WHEN new.isread = '已读完' THEN date('now', 'localtime') ELSE finished END
    WHERE book = new.id;
END;

CREATE TRIGGER IF NOT EXISTS qh_baseshu_lent AFTER UPDATE OF isjie, jieshumen ON baseshu
WHEN new.isjie = '是' BEGIN
    -- Another borrower's name while the book is out corrects its open loan, dates and due date kept
    -- (the book went nowhere: passing it on is a return and a new loan): the loan to the former
    -- name, else the latest; none when one is open to the new name already.
    UPDATE qh_loans SET borrower = trim(coalesce(new.jieshumen, ''))
    WHERE id = (SELECT id FROM qh_loans WHERE book = new.id AND returned IS NULL
            ORDER BY borrower IS trim(coalesce(old.jieshumen, '')) COLLATE BINARY DESC, id DESC LIMIT 1)
        AND NOT EXISTS (SELECT 1 FROM qh_loans WHERE book = new.id AND returned IS NULL
            AND borrower IS trim(coalesce(new.jieshumen, '')) COLLATE BINARY);
    INSERT INTO qh_loans (book, borrower, lent)
        SELECT new.id, trim(coalesce(new.jieshumen, '')), date('now', 'localtime')
        WHERE NOT EXISTS (SELECT 1 FROM qh_loans WHERE book = new.id AND returned IS NULL);
END;

CREATE TRIGGER IF NOT EXISTS qh_baseshu_back AFTER UPDATE OF isjie ON baseshu
WHEN old.isjie = '是' AND new.isjie IS NOT '是' BEGIN
    UPDATE qh_loans SET returned = date('now', 'localtime') WHERE book = new.id AND returned IS NULL;
END;

-- A deleted book's loans stay in the history under its title, linked to it still (it may come back).
CREATE TRIGGER IF NOT EXISTS qh_baseshu_delete AFTER DELETE ON baseshu BEGIN
    DELETE FROM qh_book_dates WHERE book = old.id;
    UPDATE qh_loans SET title = old.name WHERE book = old.id;
END;

CREATE TRIGGER IF NOT EXISTS qh_dzbook_insert AFTER INSERT ON dzbook BEGIN
    INSERT OR REPLACE INTO qh_ebook_dates (ebook, added, started, finished) VALUES (new.ID,
        date('now', 'localtime'),
        CASE WHEN new.isread = '正在读' THEN date('now', 'localtime') END,
        CASE WHEN new.isread = '已读完' THEN date('now', 'localtime') END);
END;

CREATE TRIGGER IF NOT EXISTS qh_dzbook_status AFTER UPDATE OF isread ON dzbook
WHEN new.isread IS NOT old.isread AND new.isread IN ('正在读', '已读完') BEGIN
    INSERT OR IGNORE INTO qh_ebook_dates (ebook) VALUES (new.ID);
    UPDATE qh_ebook_dates SET
        started = CASE WHEN new.isread = '正在读' THEN date('now', 'localtime') ELSE started END,
        finished = CASE WHEN new.isread = '已读完' THEN date('now', 'localtime') ELSE finished END
    WHERE ebook = new.ID;
END;

CREATE TRIGGER IF NOT EXISTS qh_dzbook_delete AFTER DELETE ON dzbook BEGIN
    DELETE FROM qh_ebook_dates WHERE ebook = old.ID;
END;
)sql";

} // namespace

void addLoansAndReadingDates(sqlite3* db)
{
    Statement::execute(db, ddl);
}

void rebuildLoansAndReadingDates(sqlite3* db)
{
    static const char* const triggers[] { "qh_baseshu_insert", "qh_baseshu_status", "qh_baseshu_lent",
        "qh_baseshu_back", "qh_baseshu_delete", "qh_dzbook_insert", "qh_dzbook_status", "qh_dzbook_delete" };
    for (const char* trigger : triggers)
        Statement::execute(db, QByteArray("DROP TRIGGER IF EXISTS ") + trigger);
    Statement::execute(db, "DROP INDEX IF EXISTS qh_loans_book");
    // Each table aside under another name (one a database tool dropped is simply made again),
    // made anew, its rows copied back; texts longer than a column holds (only a hand-edited
    // file has them) are cut to its length.
    struct Copy
    {
        const char* table;
        const char* rows;
    };
    static const Copy copies[] {
        { "qh_loans",
            "INSERT INTO qh_loans (id, book, borrower, lent, due, returned) SELECT id, book, "
            "substr(coalesce(borrower, ''), 1, 255), substr(lent, 1, 10), substr(due, 1, 10), "
            "substr(returned, 1, 10) FROM qh_loans_before" },
        { "qh_book_dates",
            "INSERT INTO qh_book_dates SELECT book, substr(added, 1, 10), substr(started, 1, 10), "
            "substr(finished, 1, 10) FROM qh_book_dates_before" },
        { "qh_ebook_dates",
            "INSERT INTO qh_ebook_dates SELECT ebook, substr(added, 1, 10), substr(started, 1, 10), "
            "substr(finished, 1, 10) FROM qh_ebook_dates_before" },
    };
    std::vector<const Copy*> aside;
    for (const Copy& copy : copies) {
        Statement exists(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?1");
        exists.bind(1, QString::fromLatin1(copy.table));
        if (exists.step() && exists.integer(0) > 0) {
            Statement::execute(db, QByteArray("ALTER TABLE ") + copy.table + " RENAME TO " + copy.table + "_before");
            aside.push_back(&copy);
        }
    }
    addLoansAndReadingDates(db);
    for (const Copy* copy : aside) {
        Statement::execute(db, copy->rows);
        Statement::execute(db, QByteArray("DROP TABLE ") + copy->table + "_before");
    }
}

void openLoansOfLentBooks(sqlite3* db)
{
    // Books already marked lent: an open loan each, its date unknown.
    Statement::execute(db,
        "INSERT INTO qh_loans (book, borrower) SELECT b.id, trim(coalesce(b.jieshumen, '')) FROM baseshu b "
        "WHERE b.isjie = '是' AND NOT EXISTS (SELECT 1 FROM qh_loans l WHERE l.book = b.id AND l.returned IS NULL)");
}

} // namespace Schema
