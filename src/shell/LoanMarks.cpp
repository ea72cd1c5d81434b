#include "shell/LoanMarks.h"

#include "catalogue/Loans.h"
#include "shell/ShelfListing.h"

#include <QHash>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace LoanMarks {

void apply(Connection& connection, QList<ShelfItem>& items, const QDate& today)
{
    QHash<qint64, bool> lent; // book: overdue
    for (const Loan& loan : Loans::current(connection, today))
        lent.insert(loan.book, loan.isOverdue(today));
    if (lent.isEmpty())
        return;
    for (ShelfItem& item : items) {
        const auto found = lent.constFind(item.id);
        if (found == lent.constEnd() || item.thumbnail.isNull())
            continue;
        QImage marked = item.thumbnail.convertToFormat(QImage::Format_RGB32);
        QPainter painter(&marked);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF badge(marked.width() - 38, 3, 35, 17);
        painter.setPen(Qt::NoPen);
        painter.setBrush(*found ? QColor(210, 20, 20) : QColor(30, 110, 200));
        painter.drawRoundedRect(badge, 4, 4);
        QFont font = painter.font();
        font.setPixelSize(12);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(badge, Qt::AlignCenter, *found ? u"逾期"_s : u"借出"_s);
        painter.end();
        item.thumbnail = marked;
    }
}

} // namespace LoanMarks
