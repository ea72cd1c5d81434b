#pragma once

// The earlier versions of a book's or an e-book's texts. Every change of a
// row's text columns (whoever writes it: the editor, the quick view, the
// details, another tool on the file) keeps the values it replaced in
// qh_history, the file's triggers doing it; the latest 20 a book stay.

#include "data/Trash.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QStringList>

class Connection;

namespace History {

struct Version
{
    qint64 id = 0;
    QDateTime saved;     // when these values were replaced
    QJsonObject values;  // the text columns as they were before that save
    QStringList changed; // the columns that save changed, in the columns' order
    QJsonObject after;   // what they became (the next version, or the row as it is)
};

// A book's versions, the latest first. Empty when the book is not there.
QList<Version> versions(Connection& connection, Trash::Kind kind, qint64 book);

// Writes a version's values back into the book's row (the values it had now
// become a version of their own, so this too can be undone). Throws EDatabaseError.
void restore(Connection& connection, Trash::Kind kind, qint64 book, qint64 versionId);

// How the windows name a column ("书名", "内容简介"...).
QString label(Trash::Kind kind, const QString& column);

} // namespace History
