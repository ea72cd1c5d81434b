// The tables of loans and of reading dates, and the triggers that keep them in
// step with the book rows: whatever writes "isjie", "jieshumen" or "isread" (the
// editor, the quick view, an import, another tool on the file), the loans and
// the dates follow, so the two never disagree.

#include "data/Schema.h"

#include "data/Statement.h"

namespace Schema {

namespace {

    // Dates are ISO texts (yyyy-mm-dd) of the local calendar day.
    constexpr const char* ddl = R"sql(
CREATE TABLE IF NOT EXISTS qh_loans (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    book INTEGER NOT NULL,
    borrower TEXT COLLATE NOCASE NOT NULL DEFAULT '',
    lent TEXT,
    due TEXT,
    returned TEXT
);
CREATE INDEX IF NOT EXISTS qh_loans_book ON qh_loans (book, returned);
CREATE TABLE IF NOT EXISTS qh_book_dates (
    book INTEGER PRIMARY KEY,
    added TEXT,
    started TEXT,
    finished TEXT
);
CREATE TABLE IF NOT EXISTS qh_ebook_dates (
    ebook INTEGER PRIMARY KEY,
    added TEXT,
    started TEXT,
    finished TEXT
);

CREATE TRIGGER IF NOT EXISTS qh_baseshu_insert AFTER INSERT ON baseshu BEGIN
    INSERT OR REPLACE INTO qh_book_dates (book, added, started, finished) VALUES (new.id,
        date('now', 'localtime'),
        CASE WHEN new.isread = '正在读' THEN date('now', 'localtime') END,
        CASE WHEN new.isread = '已读完' THEN date('now', 'localtime') END);
    INSERT INTO qh_loans (book, borrower, lent)
        SELECT new.id, trim(coalesce(new.jieshumen, '')), date('now', 'localtime') WHERE new.isjie = '是';
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
    -- A borrower corrected on the day of lending (or of a loan with no known date) is a correction.
    UPDATE qh_loans SET borrower = trim(coalesce(new.jieshumen, ''))
    WHERE book = new.id AND returned IS NULL AND (lent IS NULL OR lent >= date('now', 'localtime'));
    -- Another borrower later on: the book went on to someone else today.
    UPDATE qh_loans SET returned = date('now', 'localtime')
    WHERE book = new.id AND returned IS NULL AND borrower IS NOT trim(coalesce(new.jieshumen, ''));
    INSERT INTO qh_loans (book, borrower, lent)
        SELECT new.id, trim(coalesce(new.jieshumen, '')), date('now', 'localtime')
        WHERE NOT EXISTS (SELECT 1 FROM qh_loans WHERE book = new.id AND returned IS NULL);
END;

CREATE TRIGGER IF NOT EXISTS qh_baseshu_back AFTER UPDATE OF isjie ON baseshu
WHEN old.isjie = '是' AND new.isjie IS NOT '是' BEGIN
    UPDATE qh_loans SET returned = date('now', 'localtime') WHERE book = new.id AND returned IS NULL;
END;

CREATE TRIGGER IF NOT EXISTS qh_baseshu_delete AFTER DELETE ON baseshu BEGIN
    DELETE FROM qh_book_dates WHERE book = old.id;
    DELETE FROM qh_loans WHERE book = old.id;
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

void openLoansOfLentBooks(sqlite3* db)
{
    // Books already marked lent: an open loan each, its date unknown.
    Statement::execute(db,
        "INSERT INTO qh_loans (book, borrower) SELECT b.id, trim(coalesce(b.jieshumen, '')) FROM baseshu b "
        "WHERE b.isjie = '是' AND NOT EXISTS (SELECT 1 FROM qh_loans l WHERE l.book = b.id AND l.returned IS NULL)");
}

} // namespace Schema
