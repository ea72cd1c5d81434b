#include "catalogue/CataloguePrint.h"

#include "catalogue/Loans.h"
#include "data/Connection.h"
#include "data/Statement.h"
#include "platform/DataFolder.h"
#include "platform/SafeFile.h"
#include "pictures/ThumbnailCache.h"
#include "pictures/Thumbnails.h"

#include <QCollator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QPainter>
#include <QPdfWriter>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int dpi = 300;
constexpr double pxPerMm = dpi / 25.4;
int mm(double millimetres)
{
    return int(millimetres * pxPerMm + 0.5);
}

struct Stopped
{
};

struct Book
{
    qint64 id = 0;
    QString title, author, publisher, isbn, place, status, category;
    QString group; // the category or the place, as the catalogue is grouped
    int groupOrder = 0; // groups in this order, then by name
    Thumbnails::Kind kind = Thumbnails::Kind::None;
    QImage cover;
};

QFont font(double points, bool bold = false)
{
    QFont f(u"WenQuanYi Micro Hei"_s);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// The frame every page shares: the library's name and the date at the top, the
// page number at the foot.
class Pages
{
public:
    Pages(QPdfWriter& writer, const PrintOptions& options, const QString& heading, int pageCount)
        : writer(writer)
        , options(options)
        , heading(heading)
        , pageCount(pageCount)
    {
        if (!painter.begin(&writer))
            throw Exception("无法写入 PDF 文件。");
        width = writer.width();
        height = writer.height();
    }
    ~Pages()
    {
        if (painter.isActive())
            painter.end();
    }

    static constexpr int headerHeight = 12; // mm
    static constexpr int footerHeight = 9;
    int top() const { return mm(headerHeight); }
    int bottom() const { return height - mm(footerHeight); }

    void next()
    {
        if (page > 0)
            writer.newPage();
        ++page;
        painter.setPen(Qt::black);
        painter.setFont(font(11, true));
        const QRect band(0, 0, width, mm(headerHeight - 3));
        painter.drawText(band, Qt::AlignLeft | Qt::AlignVCenter, options.libraryName + u" · "_s + heading);
        painter.setFont(font(9));
        painter.drawText(band, Qt::AlignRight | Qt::AlignVCenter, options.date.toString(u"yyyy年M月d日"_s));
        painter.drawLine(0, band.bottom() + mm(1), width, band.bottom() + mm(1));
        painter.drawText(QRect(0, height - mm(footerHeight - 2), width, mm(footerHeight - 2)), Qt::AlignCenter,
            u"第 %1 页 / 共 %2 页"_s.arg(page).arg(pageCount));
    }

    void text(const QRect& box, const QString& line, const QFont& f, const QColor& colour = Qt::black,
        int flags = Qt::AlignLeft | Qt::AlignVCenter)
    {
        painter.setFont(f);
        painter.setPen(colour);
        painter.drawText(box, flags, painter.fontMetrics().elidedText(line, Qt::ElideRight, box.width()));
    }

    QPdfWriter& writer;
    const PrintOptions& options;
    QString heading;
    int pageCount;
    QPainter painter;
    int width = 0;
    int height = 0;
    int page = 0;
};

void setUp(QPdfWriter& writer, const PrintOptions& options, const QString& heading)
{
    writer.setResolution(dpi);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
    writer.setTitle(options.libraryName + u" · "_s + heading);
    writer.setCreator(u"青禾家庭图书管理系统"_s);
}

// Runs produce on a temporary file that replaces path when whole; a stop leaves nothing.
int writePdf(const QString& path, const std::function<int(const QString&)>& produce)
{
    DataFolder::refuseProgramFile(path); // a print never takes the place of the library, the lock...
    int pages = 0;
    try {
        SafeFile::writeFileAtomically(path, [&](const QString& temporary) { pages = produce(temporary); });
    } catch (const Stopped&) {
        return 0;
    }
    return pages;
}

QList<Book> readBooks(sqlite3* db, const QList<qint64>& ids, bool all, PrintOptions::Grouping grouping)
{
    QByteArray sql = "select b.id, b.name, b.zuozhe, b.publish, b.isbn, b.place, b.isread, b.\"格式\", t.leib, t.id "
                     "from baseshu b left join tblei t on t.id = b.leibie";
    QByteArray list;
    if (!all) {
        QJsonArray array;
        for (qint64 id : ids)
            array.append(id);
        list = QJsonDocument(array).toJson(QJsonDocument::Compact);
        sql += " where b.id in (select value from json_each(?1))";
    }
    Statement stmt(db, sql);
    if (!all)
        stmt.bind(1, QString::fromUtf8(list));
    QList<Book> books;
    while (stmt.step()) {
        Book book;
        book.id = stmt.integer(0);
        book.title = stmt.text(1).trimmed();
        book.author = stmt.text(2).trimmed();
        book.publisher = stmt.text(3).trimmed();
        book.isbn = stmt.text(4).trimmed();
        book.place = stmt.text(5).trimmed();
        book.status = stmt.text(6).trimmed();
        book.kind = Thumbnails::kindOfTag(stmt.text(7));
        const bool found = stmt.value(9).isValid();
        book.category = found ? stmt.text(8).trimmed() : u"未分类"_s;
        if (grouping == PrintOptions::Grouping::Category) {
            book.group = book.category;
            book.groupOrder = found ? 0 : 1;
        } else {
            book.group = book.place.isEmpty() ? u"未填写存放地点"_s : book.place;
            book.groupOrder = book.place.isEmpty() ? 1 : 0;
        }
        books << book;
    }
    QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
    collator.setNumericMode(true);
    std::stable_sort(books.begin(), books.end(), [&](const Book& a, const Book& b) {
        if (a.groupOrder != b.groupOrder)
            return a.groupOrder < b.groupOrder;
        if (const int byGroup = collator.compare(a.group, b.group))
            return byGroup < 0;
        return collator.compare(a.title, b.title) < 0;
    });
    return books;
}

// Covers from the thumbnail cache the shelf keeps; the rest read and decoded a
// batch at a time on every core, and kept in the cache for the next time.
void loadCovers(sqlite3* db, QList<Book>& books, const PrintProgress& progress)
{
    QList<qint64> ids;
    for (const Book& book : books) {
        if (book.kind != Thumbnails::Kind::None)
            ids << book.id;
    }
    ThumbnailCache cache(db);
    cache.prepare();
    cache.beginListing();
    const QHash<qint64, QImage> cached = cache.load(ids);
    QList<std::pair<qint64, QImage>> decoded;
    Statement read(db, "select facepic from baseshu where id = ?1");
    constexpr int batch = 64;
    QList<int> pending;
    auto decode = [&] {
        QList<std::pair<Thumbnails::Kind, QByteArray>> covers;
        for (int index : pending) {
            read.bind(1, books[index].id);
            covers.append({ books[index].kind, read.step() ? read.value(0).toByteArray() : QByteArray() });
            read.reset();
        }
        const QList<QImage> images = QtConcurrent::blockingMapped(
            covers, [](const std::pair<Thumbnails::Kind, QByteArray>& cover) {
                return Thumbnails::decodeCover(cover.first, cover.second);
            });
        for (int i = 0; i < pending.size(); ++i) {
            Book& book = books[pending[i]];
            book.cover = images[i];
            if (!book.cover.isNull())
                decoded.append({ book.id, book.cover });
        }
        pending.clear();
    };
    for (int i = 0; i < books.size(); ++i) {
        if (books[i].kind == Thumbnails::Kind::None)
            continue;
        if (const auto hit = cached.constFind(books[i].id); hit != cached.constEnd()) {
            books[i].cover = *hit;
            continue;
        }
        pending << i;
        if (pending.size() == batch) {
            decode();
            if (progress && !progress(i + 1, books.size() * 2))
                throw Stopped {};
        }
    }
    decode();
    read.reset();
    cache.store(decoded); // an optimisation only: a file that changed meanwhile keeps nothing
}

QString details(const Book& book)
{
    QStringList parts;
    for (const QString& part : { book.author, book.publisher })
        if (!part.isEmpty())
            parts << part;
    if (!book.isbn.isEmpty())
        parts << u"ISBN "_s + book.isbn;
    return parts.join(u"　·　"_s);
}

QString whereAndStatus(const Book& book, PrintOptions::Grouping grouping)
{
    QStringList parts;
    if (grouping == PrintOptions::Grouping::Place)
        parts << u"类别："_s + book.category;
    if (grouping == PrintOptions::Grouping::Category && !book.place.isEmpty())
        parts << u"存放："_s + book.place;
    if (!book.status.isEmpty())
        parts << book.status;
    return parts.join(u"　·　"_s);
}

} // namespace

namespace CataloguePrint {

int catalogue(Connection& connection, const QString& path, const QList<qint64>& ids, bool allBooks,
    const PrintOptions& options, const PrintProgress& progress)
{
    sqlite3* db = connection.handle();
    QList<Book> books = readBooks(db, ids, allBooks, options.grouping);
    if (options.covers)
        loadCovers(db, books, progress);
    const auto groupOf = [](const Book& book) { return book.group; };

    const QString heading = options.grouping == PrintOptions::Grouping::Category ? u"书目（按类别）"_s : u"书目（按存放地点）"_s;
    const int groupHeight = mm(11);
    const int entryHeight = options.covers ? mm(19) : mm(11.5);
    const int pageHeight = [&] {
        QPdfWriter probe(QString {});
        setUp(probe, options, heading);
        return probe.height();
    }();
    const int top = mm(Pages::headerHeight);
    const int bottom = pageHeight - mm(Pages::footerHeight);

    // Where every line goes: (page, y) for group headers and books alike.
    struct Place
    {
        int page;
        int y;
        int book; // -1: a group header for books[group]
        int group;
        bool continued;
    };
    QList<Place> places;
    QMap<QString, int> groupSizes;
    for (const Book& book : books)
        ++groupSizes[groupOf(book)];
    int page = books.isEmpty() ? 1 : 0;
    int y = bottom;
    QString group;
    for (int i = 0; i < books.size(); ++i) {
        const QString name = groupOf(books[i]);
        const bool starts = i == 0 || name != group;
        const int needed = (starts ? groupHeight : 0) + entryHeight;
        if (y + needed > bottom) {
            ++page;
            y = top;
            if (!starts) { // the group goes on over the page
                places.append({ page, y, -1, i, true });
                y += groupHeight;
            }
        }
        if (starts) {
            if (y > top)
                y += mm(2);
            places.append({ page, y, -1, i, false });
            y += groupHeight;
            group = name;
        }
        places.append({ page, y, i, i, false });
        y += entryHeight;
    }
    const int pageCount = std::max(page, 1);

    return writePdf(path, [&](const QString& temporary) {
        QPdfWriter writer(temporary);
        setUp(writer, options, heading);
        Pages pages(writer, options, heading, pageCount);
        pages.next();
        if (books.isEmpty())
            pages.text(QRect(0, top, pages.width, mm(10)), u"（没有图书）"_s, font(11));
        const int coverWidth = mm(12.5);
        const int textLeft = options.covers ? coverWidth + mm(4) : mm(3);
        for (int n = 0; n < places.size(); ++n) {
            const Place& at = places[n];
            while (pages.page < at.page)
                pages.next();
            if (at.book < 0) {
                const QString name = groupOf(books[at.group]);
                const QString title = u"%1（%2 本）%3"_s.arg(name).arg(groupSizes.value(name)).arg(at.continued ? u"　续"_s : QString());
                pages.text(QRect(0, at.y, pages.width, groupHeight - mm(2)), title, font(13, true), QColor(0x1b, 0x5e, 0x20));
                pages.painter.setPen(QPen(QColor(0x1b, 0x5e, 0x20), mm(0.3)));
                pages.painter.drawLine(0, at.y + groupHeight - mm(1.5), pages.width, at.y + groupHeight - mm(1.5));
                continue;
            }
            const Book& book = books[at.book];
            if (options.covers && !book.cover.isNull())
                pages.painter.drawImage(QRect(0, at.y + mm(1), coverWidth, mm(15)), book.cover);
            else if (options.covers) {
                pages.painter.setPen(QPen(Qt::lightGray, mm(0.2)));
                pages.painter.drawRect(QRect(0, at.y + mm(1), coverWidth, mm(15)));
            }
            const int w = pages.width - textLeft;
            pages.text(QRect(textLeft, at.y + mm(0.5), w, mm(5)), book.title.isEmpty() ? u"（无书名）"_s : book.title, font(10.5, true));
            // Without covers the place and status share the details' line: each keeps its own part of it.
            const int detailsWidth = options.covers ? w : w * 62 / 100;
            pages.text(QRect(textLeft, at.y + mm(5.5), detailsWidth, mm(4.5)), details(book), font(8.5), QColor(0x33, 0x33, 0x33));
            if (options.covers || !whereAndStatus(book, options.grouping).isEmpty()) {
                const QRect box = options.covers ? QRect(textLeft, at.y + mm(10.5), w, mm(4.5))
                                                 : QRect(textLeft + detailsWidth, at.y + mm(5.5), w - detailsWidth, mm(4.5));
                pages.text(box, whereAndStatus(book, options.grouping), font(8.5), QColor(0x55, 0x55, 0x55),
                    options.covers ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            }
            if (progress && n % 50 == 0 && !progress(books.size() + at.book, books.size() * 2))
                throw Stopped {};
        }
        return pageCount;
    });
}

int loans(const QString& path, const QList<Loan>& loans, const PrintOptions& options)
{
    const QString heading = u"借阅单"_s;
    const QStringList titles { u"书名"_s, u"借书人"_s, u"借出日期"_s, u"归还期限"_s, u"天数"_s, u"状态"_s };
    const QList<double> widths { 0.36, 0.16, 0.12, 0.12, 0.08, 0.16 };
    const int rowHeight = mm(7);
    const QDate today = options.date;

    int rowsPerPage = 0;
    {
        QPdfWriter probe(QString {});
        setUp(probe, options, heading);
        rowsPerPage = std::max(1, (probe.height() - mm(Pages::headerHeight) - mm(Pages::footerHeight) - rowHeight) / rowHeight);
    }
    const int pageCount = std::max<int>(1, int((loans.size() + rowsPerPage - 1) / rowsPerPage));
    return writePdf(path, [&](const QString& temporary) {
        QPdfWriter writer(temporary);
        setUp(writer, options, heading);
        Pages pages(writer, options, heading, pageCount);
        auto columns = [&](int y, const QStringList& cells, const QFont& f, const QColor& colour) {
            int x = 0;
            for (int c = 0; c < cells.size(); ++c) {
                const int w = int(pages.width * widths[c]);
                pages.text(QRect(x + mm(1), y, w - mm(2), rowHeight), cells[c], f, colour);
                x += w;
            }
        };
        for (int i = 0; i < std::max<qsizetype>(loans.size(), 1); ++i) {
            if (i % rowsPerPage == 0) {
                pages.next();
                pages.painter.fillRect(QRect(0, pages.top(), pages.width, rowHeight), QColor(0xe8, 0xf5, 0xe9));
                columns(pages.top(), titles, font(9.5, true), Qt::black);
            }
            if (loans.isEmpty())
                break;
            const Loan& loan = loans[i];
            const int y = pages.top() + rowHeight * (1 + i % rowsPerPage);
            const int late = loan.daysOverdue(today);
            const int days = loan.daysOut(today);
            columns(y,
                { loan.title, loan.borrower, loan.lent.toString(Qt::ISODate), loan.due.toString(Qt::ISODate),
                    days < 0 ? QString() : QString::number(days),
                    !loan.isOpen() ? u"已归还 "_s + loan.returned.toString(Qt::ISODate)
                                   : late > 0 ? u"已逾期 %1 天"_s.arg(late) : u"借出中"_s },
                font(9), late > 0 ? QColor(Qt::red) : QColor(Qt::black));
            pages.painter.setPen(QPen(QColor(0xdd, 0xdd, 0xdd), mm(0.2)));
            pages.painter.drawLine(0, y + rowHeight, pages.width, y + rowHeight);
        }
        return pageCount;
    });
}

} // namespace CataloguePrint
