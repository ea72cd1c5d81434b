#include "catalogue/CatalogueCsv.h"

#include "catalogue/CsvCells.h"
#include "data/Isbn.h"
#include "data/ReadingDates.h"
#include "data/Statement.h"
#include "data/udata.h"
#include "platform/DataFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>

#include <array>

using namespace Qt::StringLiterals;

namespace CatalogueCsv {
namespace {

    // The catalogue's fields in the order of the file; the category (类别)
    // travels by its name and is stored as the id of a tblei row.
    struct Field
    {
        const char* title;
        const char* column; // in baseshu
        bool memo;
    };
    constexpr std::array<Field, 16> fields { {
        { "书名", "name", false },
        { "作者", "zuozhe", false },
        { "出版社", "publish", false },
        { "ISBN", "isbn", false },
        { "语种", "yuzhong", false },
        { "类别", "leibie", false },
        { "包装", "boxbz", false },
        { "存放地点", "place", false },
        { "阅读状态", "isread", false },
        { "是否借人", "isjie", false },
        { "借书人", "jieshumen", false },
        { "是否出屋", "isgo", false },
        { "出屋原因", "gocause", false },
        { "内容简介", "contentjj", true },
        { "目录", "目录", true },
        { "读书笔记", "readbiji", true },
    } };
    constexpr int fieldCount = int(fields.size());
    constexpr int titleField = 0;
    constexpr int isbnField = 3;
    constexpr int categoryField = 5;
    constexpr int bindingField = 6;
    constexpr int statusField = 8;
    constexpr int notesField = 15;
    constexpr int shortTextLimit = 255;

    // The reading dates travel after the fields (qh_book_dates, not baseshu), as yyyy-mm-dd.
    constexpr std::array<const char*, 3> dateTitles { "入库日期", "开始阅读", "读完日期" };
    constexpr int dateCount = int(dateTitles.size());
    constexpr int addedSlot = fieldCount;
    constexpr int finishedSlot = fieldCount + 2;

    // Then the loans (qh_loans): the open loan's dates, and the returned loans, one a line,
    // as "lent,due,returned,borrower" (the borrower last: a comma in a name stays in it).
    constexpr std::array<const char*, 3> loanTitles { "借出日期", "归还期限", "借阅记录" };
    constexpr int lentSlot = fieldCount + dateCount;
    constexpr int dueSlot = lentSlot + 1;
    constexpr int historySlot = lentSlot + 2;
    constexpr int slotCount = historySlot + 1;
    constexpr int lentField = 9;

    using Book = std::array<QString, slotCount>;

    struct PastLoan
    {
        QDate lent, due, returned;
        QString borrower;
    };

    // The returned loans of a book's history cell; false (with why) for a line that is not one.
    bool parseHistory(const QString& cell, QList<PastLoan>& loans, QString& reason)
    {
        const QStringList lines = cell.split(u'\n', Qt::SkipEmptyParts);
        for (int i = 0; i < lines.size(); ++i) {
            const QStringList parts = lines[i].trimmed().split(u',');
            PastLoan loan;
            const bool dates = parts.size() >= 4 && ReadingDates::parse(parts[0], loan.lent)
                && ReadingDates::parse(parts[1], loan.due) && ReadingDates::parse(parts[2], loan.returned);
            loan.borrower = parts.mid(3).join(u',').trimmed();
            if (!dates || loan.returned.isNull() || loan.borrower.isEmpty() || loan.borrower.size() > shortTextLimit) {
                reason = u"“借阅记录”的第 %1 行不对（应写作 借出日期,归还期限,归还日期,借书人）"_s.arg(i + 1);
                return false;
            }
            loans << loan;
        }
        return true;
    }

    QString utf8(const char* text)
    {
        return QString::fromUtf8(text);
    }

    [[noreturn]] void fail(const QString& message)
    {
        throw ECsvError(message.toStdString());
    }

    QString columnList(const QString& alias)
    {
        QStringList names;
        for (const Field& field : fields)
            names << alias + u'"' + utf8(field.column) + u'"';
        return names.join(u", "_s);
    }

    // Two rows are the same book by a valid ISBN alone; without one by the
    // title and the ISBN text.
    QString bookKey(const QString& title, const QString& isbn)
    {
        if (const std::optional<QString> isbn13 = Isbn::isbn13(isbn))
            return u"isbn:"_s + *isbn13;
        return title.trimmed().toCaseFolded() + QChar(0) + Isbn::key(isbn);
    }

    QString categoryKey(const QString& name)
    {
        return name.trimmed().toCaseFolded();
    }

    // How the columns of a file map to the catalogue's fields.
    struct Mapping
    {
        CsvImportPlan::Layout layout = CsvImportPlan::Layout::Catalogue;
        QList<int> target; // per column of the file: a field (or a date slot), or -1
        int isbn13 = -1; // Goodreads: the ISBN, preferred to the ISBN-10 column
        int privateNotes = -1; // Goodreads: appended to the notes after the review
        int shelves = -1; // Goodreads: shelves that may name a category
        int width = 0;
        QStringList ignored;
    };

    Mapping mapHeader(const QStringList& header)
    {
        Mapping mapping;
        mapping.width = int(header.size());
        QStringList names;
        for (const QString& name : header)
            names << name.trimmed();

        const bool ours = names.contains(utf8(fields[titleField].title));
        const bool english = !ours && names.contains(u"Title"_s, Qt::CaseInsensitive);
        if (!ours && !english) {
            QStringList titles = columnTitles();
            fail(u"文件的第一行没有“书名”列，无法导入。第一行应是列名：%1 (Goodreads 导出的文件以“Title”为书名列)。"_s
                     .arg(titles.join(u", "_s)));
        }
        const bool goodreads = english
            && (names.contains(u"Book Id"_s, Qt::CaseInsensitive)
                || names.contains(u"Exclusive Shelf"_s, Qt::CaseInsensitive));
        mapping.layout = ours ? CsvImportPlan::Layout::Catalogue
            : goodreads       ? CsvImportPlan::Layout::Goodreads
                              : CsvImportPlan::Layout::English;
        const QHash<QString, int> goodreadsColumns { { u"title"_s, titleField }, { u"author"_s, 1 },
            { u"publisher"_s, 2 }, { u"isbn"_s, isbnField }, { u"binding"_s, bindingField },
            { u"exclusive shelf"_s, statusField }, { u"my review"_s, notesField }, { u"date added"_s, addedSlot },
            { u"date read"_s, finishedSlot } };

        QSet<int> taken;
        for (int i = 0; i < names.size(); ++i) {
            int field = -1;
            if (ours) {
                for (int f = 0; f < fieldCount; ++f) {
                    if (names[i] == utf8(fields[size_t(f)].title))
                        field = f;
                }
                for (int d = 0; d < dateCount; ++d) {
                    if (names[i] == utf8(dateTitles[size_t(d)]))
                        field = fieldCount + d;
                }
                for (int l = 0; l < int(loanTitles.size()); ++l) {
                    if (names[i] == utf8(loanTitles[size_t(l)]))
                        field = lentSlot + l;
                }
            } else {
                field = goodreadsColumns.value(names[i].toLower(), -1);
                const QString name = names[i].toLower();
                int* extra = name == u"isbn13"_s  ? &mapping.isbn13
                    : name == u"private notes"_s ? &mapping.privateNotes
                    : name == u"bookshelves"_s   ? &mapping.shelves
                                                 : nullptr;
                if (field < 0 && extra && *extra < 0) {
                    *extra = i;
                    mapping.target << -1;
                    continue;
                }
            }
            if (field >= 0 && taken.contains(field))
                field = -1; // a second column of the same name
            if (field >= 0)
                taken.insert(field);
            else if (!names[i].isEmpty())
                mapping.ignored << names[i];
            mapping.target << field;
        }
        return mapping;
    }

    enum class Outcome
    {
        Blank,
        Add,
        Rejected
    };

    // One record of the file as a book, or why it cannot be one.
    Outcome toBook(const Mapping& mapping, const QStringList& cells, Book& book, QString& reason)
    {
        bool blank = true;
        for (const QString& cell : cells)
            blank = blank && cell.trimmed().isEmpty();
        if (blank)
            return Outcome::Blank;
        for (int i = mapping.width; i < cells.size(); ++i) {
            if (!cells[i].trimmed().isEmpty()) {
                reason = u"这一行有 %1 个字段，比第一行的列名多"_s.arg(cells.size());
                return Outcome::Rejected;
            }
        }

        book = {};
        const auto cell = [&](int column) { return column >= 0 && column < cells.size() ? cells[column] : QString(); };
        for (int i = 0; i < cells.size() && i < mapping.target.size(); ++i) {
            if (mapping.target[i] >= 0)
                book[size_t(mapping.target[i])] = CsvCells::unmarked(cells[i]);
        }
        // The ISBN cell again, as it stands: ="…" and a lost leading zero.
        for (int i = 0; i < mapping.target.size(); ++i) {
            if (mapping.target[i] == isbnField)
                book[isbnField] = CsvCells::isbnFromCell(cell(i));
        }
        const QString isbn13 = CsvCells::isbnFromCell(cell(mapping.isbn13));
        if (!isbn13.trimmed().isEmpty())
            book[isbnField] = isbn13;
        const QString privateNotes = CsvCells::unmarked(cell(mapping.privateNotes));
        if (!privateNotes.trimmed().isEmpty()) {
            const QString review = book[notesField];
            book[notesField] = (review.trimmed().isEmpty() ? QString() : review + u"\n\n"_s) + u"【私人笔记】\n"_s
                + privateNotes;
        }
        const std::optional<QString> status = CsvCells::readingStatus(book[statusField]);
        if (!status) {
            reason = u"阅读状态“%1”不是“还没读”“正在读”“已读完”之一"_s.arg(book[statusField].trimmed());
            return Outcome::Rejected;
        }
        book[statusField] = *status;
        book[categoryField] = book[categoryField].trimmed();
        for (int d = 0; d < dateCount; ++d) {
            QDate date;
            if (!ReadingDates::parse(book[size_t(fieldCount + d)], date)) {
                reason = u"“%1”不是日期（应写作 2024-03-05）"_s.arg(utf8(dateTitles[size_t(d)]));
                return Outcome::Rejected;
            }
            book[size_t(fieldCount + d)] = ReadingDates::format(date);
        }

        for (int slot : { lentSlot, dueSlot }) {
            QDate date;
            if (!ReadingDates::parse(book[size_t(slot)], date)) {
                reason = u"“%1”不是日期（应写作 2024-03-05）"_s.arg(utf8(loanTitles[size_t(slot - lentSlot)]));
                return Outcome::Rejected;
            }
            book[size_t(slot)] = ReadingDates::format(date);
        }
        if (!book[lentSlot].isEmpty() && !book[dueSlot].isEmpty() && book[dueSlot] < book[lentSlot]) {
            reason = u"归还期限早于借出日期"_s;
            return Outcome::Rejected;
        }
        QList<PastLoan> history;
        if (!parseHistory(book[historySlot], history, reason))
            return Outcome::Rejected;

        if (book[titleField].trimmed().isEmpty()) {
            reason = u"书名是空的"_s;
            return Outcome::Rejected;
        }
        for (int f = 0; f < fieldCount; ++f) {
            if (!fields[size_t(f)].memo && book[size_t(f)].size() > shortTextLimit) {
                reason = u"“%1”超过 %2 个字符"_s.arg(utf8(fields[size_t(f)].title)).arg(shortTextLimit);
                return Outcome::Rejected;
            }
        }
        return Outcome::Add;
    }

    // The library as an import sees it: the books already present (bookKey),
    // and the categories by name (the first of a name wins).
    struct Library
    {
        explicit Library(Connection& connection)
        {
            sqlite3* db = connection.handle();
            Statement books(db, "select name, isbn from baseshu");
            while (books.step())
                present.insert(bookKey(books.text(0), books.text(1)));
            Statement categories(db, "select id, leib from tblei");
            while (categories.step()) {
                const QString key = categoryKey(categories.text(1));
                if (!categoryIds.contains(key))
                    categoryIds.insert(key, categories.integer(0));
            }
        }

        QSet<QString> present;
        QHash<QString, qint64> categoryIds;
    };

    // A category for a book whose row names none: the first of its Goodreads
    // shelves that names a category, else the catch-all one.
    QString shelfCategory(const Mapping& mapping, const QStringList& cells, const Library& library)
    {
        if (mapping.shelves >= 0 && mapping.shelves < cells.size()) {
            for (const QString& shelf : cells[mapping.shelves].split(u',')) {
                if (library.categoryIds.contains(categoryKey(shelf)))
                    return shelf.trimmed();
            }
        }
        return uncategorised();
    }

    // Reads the file, handing each book the import takes to add; counts the rest in plan.
    void walk(CsvReader& reader, CsvImportPlan& plan, const Library& library, const CsvProgress& progress,
        const std::function<void(const Book&, const Mapping&)>& add)
    {
        bool header = true;
        Mapping mapping;
        QSet<QString> planned;
        reader.read(
            [&](const QStringList& cells, qint64 line) {
                if (header) {
                    mapping = mapHeader(cells);
                    header = false;
                    return;
                }
                Book book;
                QString reason;
                switch (toBook(mapping, cells, book, reason)) {
                case Outcome::Blank:
                    return;
                case Outcome::Rejected:
                    if (plan.rejected.size() < CsvImportPlan::maxRejectedListed)
                        plan.rejected.append({ line, reason });
                    ++plan.rejectedCount;
                    return;
                case Outcome::Add:
                    break;
                }
                // Only books present before the import count as duplicates: a
                // file may list two copies of a book, and both are added.
                if (library.present.contains(bookKey(book[titleField], book[isbnField]))) {
                    if (plan.skipped.size() < CsvImportPlan::maxSkippedListed)
                        plan.skipped << book[titleField].trimmed();
                    ++plan.duplicates;
                    return;
                }
                if (book[categoryField].isEmpty())
                    book[categoryField] = shelfCategory(mapping, cells, library);
                const QString category = categoryKey(book[categoryField]);
                if (!category.isEmpty() && !library.categoryIds.contains(category) && !planned.contains(category)) {
                    planned.insert(category);
                    plan.newCategories << book[categoryField];
                }
                ++plan.toAdd;
                if (add)
                    add(book, mapping);
            },
            progress);
        if (header)
            fail(u"文件是空的，没有可以导入的图书。"_s);
        plan.layout = mapping.layout;
        plan.ignoredColumns = mapping.ignored;
        plan.encoding = reader.encoding();
        plan.sha256 = reader.sha256();
    }

} // namespace

QStringList columnTitles()
{
    QStringList titles;
    for (const Field& field : fields)
        titles << utf8(field.title);
    for (const char* title : dateTitles)
        titles << utf8(title);
    for (const char* title : loanTitles)
        titles << utf8(title);
    return titles;
}

int exportTo(Connection& connection, const QString& path, const CsvProgress& progress)
{
    sqlite3* db = connection.handle();
    const qint64 total = connection.scalar(u"select count(*) from baseshu"_s).toLongLong();
    QString columns = columnList(u"b."_s);
    columns.replace(u"b.\"leibie\""_s, u"t.leib"_s);
    Statement books(db,
        u"select %1, d.added, d.started, d.finished, o.lent, o.due, "
        "(select group_concat(h, char(10)) from (select coalesce(lent, '') || ',' || coalesce(due, '') || ',' || "
        "returned || ',' || replace(replace(borrower, char(13), ' '), char(10), ' ') as h from qh_loans "
        "where book = b.id and returned is not null order by returned, id)) "
        "from baseshu b left join tblei t on t.id = b.leibie left join qh_book_dates d on d.book = b.id "
        "left join qh_loans o on o.id = (select max(id) from qh_loans where book = b.id and returned is null) "
        "order by b.id"_s.arg(columns)
            .toUtf8());

    const QString shown = QDir::toNativeSeparators(path);
    DataFolder::refuseProgramFile(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(u"无法写入文件 %1: %2"_s.arg(shown, file.errorString()));
    const auto write = [&](const QByteArray& bytes) {
        if (file.write(bytes) != bytes.size())
            fail(u"无法写入文件 %1: %2"_s.arg(shown, file.errorString()));
    };
    write(QByteArray("\xEF\xBB\xBF"));
    write(Csv::record(columnTitles()).toUtf8());
    int count = 0;
    while (books.step()) {
        QStringList row;
        for (int f = 0; f < slotCount; ++f)
            row << (f == isbnField ? CsvCells::isbnCell(books.text(f)) : CsvCells::neutralised(books.text(f)));
        write(Csv::record(row).toUtf8());
        if (++count % 256 == 0 && progress && !progress(count, total))
            throw ECsvCancelled("已取消");
    }
    if (!file.commit())
        fail(u"无法写入文件 %1: %2"_s.arg(shown, file.errorString()));
    return count;
}

CsvImportPlan plan(Connection& connection, const QString& path, const CsvProgress& progress)
{
    CsvReader reader(path);
    const Library library(connection);
    CsvImportPlan plan;
    plan.path = path;
    walk(reader, plan, library, progress, {});
    return plan;
}

int apply(Connection& connection, const CsvImportPlan& planned, const CsvProgress& progress)
{
    CsvReader reader(planned.path);
    sqlite3* db = connection.handle();
    if (!sqlite3_get_autocommit(db))
        fail(u"书库正在写入其他内容，请稍后再导入。"_s);
    return inTransaction(db, [&] {
        Library library(connection);
        QStringList placeholders;
        for (int f = 0; f < fieldCount; ++f)
            placeholders << u"?"_s;
        Statement insertBook(db,
            u"insert into baseshu (%1) values (%2)"_s.arg(columnList(QString()), placeholders.join(u", "_s)).toUtf8());
        Statement insertCategory(db, "insert into tblei (leib) values (?)");
        Statement setDate(db, "update qh_book_dates set added = ?1, started = ?2, finished = ?3 where book = ?4");
        Statement readDates(db, "select added, started, finished from qh_book_dates where book = ?1");
        Statement setLent(db, "update qh_loans set lent = ?1 where book = ?2 and returned is null");
        Statement setDue(db, "update qh_loans set due = ?1 where book = ?2 and returned is null");
        Statement insertLoan(
            db, "insert into qh_loans (book, borrower, lent, due, returned) values (?1, ?2, ?3, ?4, ?5)");

        CsvImportPlan again;
        walk(reader, again, library, progress, [&](const Book& book, const Mapping& mapping) {
            std::optional<qint64> category;
            const QString key = categoryKey(book[categoryField]);
            if (!key.isEmpty()) {
                if (!library.categoryIds.contains(key)) {
                    insertCategory.reset();
                    insertCategory.bind(1, book[categoryField]);
                    insertCategory.step();
                    library.categoryIds.insert(key, sqlite3_last_insert_rowid(db));
                }
                category = library.categoryIds.value(key);
            }
            insertBook.reset();
            for (int f = 0; f < fieldCount; ++f) {
                if (f == categoryField)
                    insertBook.bind(f + 1, category ? QVariant(*category) : QVariant());
                else
                    insertBook.bind(f + 1, book[size_t(f)].isEmpty() ? QVariant() : QVariant(book[size_t(f)]));
            }
            insertBook.step();
            // The dates the file gives replace those stamped as the row went in; a date
            // column the file lacks leaves the stamp.
            const qint64 id = sqlite3_last_insert_rowid(db);
            readDates.reset();
            readDates.bind(1, id);
            std::array<QVariant, dateCount> dates;
            if (readDates.step()) {
                for (int d = 0; d < dateCount; ++d)
                    dates[size_t(d)] = readDates.value(d);
            }
            for (int d = 0; d < dateCount; ++d) {
                if (mapping.target.contains(fieldCount + d)) {
                    const QString& given = book[size_t(fieldCount + d)];
                    dates[size_t(d)] = given.isEmpty() ? QVariant() : QVariant(given);
                }
            }
            setDate.reset();
            setDate.bind(1, dates[0]).bind(2, dates[1]).bind(3, dates[2]).bind(4, id);
            setDate.step();
            // A lent book's loan was opened today as the row went in: the file's dates replace
            // those it names (an empty one: not known). Then the loans that ended.
            const auto given = [&](int slot) {
                return book[size_t(slot)].isEmpty() ? QVariant() : QVariant(book[size_t(slot)]);
            };
            for (const auto& [slot, statement] : { std::pair { lentSlot, &setLent }, std::pair { dueSlot, &setDue } }) {
                if (!mapping.target.contains(slot) || book[lentField].trimmed() != u"是"_s)
                    continue;
                statement->reset();
                statement->bind(1, given(slot)).bind(2, id);
                statement->step();
            }
            QList<PastLoan> history;
            QString unused;
            parseHistory(book[historySlot], history, unused);
            for (const PastLoan& loan : history) {
                const auto day = [](const QDate& date) { return date.isValid() ? QVariant(ReadingDates::format(date)) : QVariant(); };
                insertLoan.reset();
                insertLoan.bind(1, id).bind(2, loan.borrower).bind(3, day(loan.lent)).bind(4, day(loan.due));
                insertLoan.bind(5, day(loan.returned));
                insertLoan.step();
            }
        });
        if (again.sha256 != planned.sha256)
            fail(u"文件 %1 在预览之后被改动过，没有导入任何图书。请重新导入。"_s.arg(
                QDir::toNativeSeparators(planned.path)));
        return again.toAdd;
    });
}

QString uncategorised()
{
    return u"未分类"_s;
}

} // namespace CatalogueCsv
