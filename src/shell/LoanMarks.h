#pragma once

#include <QDate>
#include <QList>

class Connection;
struct ShelfItem;

// The mark a lent book carries on the shelf: "借出" in a corner of its thumbnail,
// red when it is overdue.
namespace LoanMarks {

void apply(Connection& connection, QList<ShelfItem>& items, const QDate& today);

} // namespace LoanMarks
