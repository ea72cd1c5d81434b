#pragma once

// The book categories (tblei) as a whole: what a deletion does to the books of a category.

#include <QString>

class Connection;

namespace Categories {

// The category books without one of their own go to.
QString uncategorised();

// The category's name as stored, "" when there is no such category. Asked at every
// move through the books (a category may have been renamed meanwhile).
QString nameOf(Connection& connection, qint64 category);

// How many books belong to the category.
int booksIn(Connection& connection, qint64 category);

// Deletes a category in one transaction; its books go to "未分类", made when missing.
// "未分类" itself is not deleted while books belong to it (EDatabaseError).
void remove(Connection& connection, qint64 category);

} // namespace Categories
