#pragma once

// The stack of books of 批量添加: one row per ISBN typed, pasted or scanned,
// what the look-up found for it, and the adding of the stack to the library
// in one transaction. No window: TfmBatch shows it.

#include "lookup/BookFields.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class Connection;

class BatchStack
{
public:
    enum class State
    {
        Pending, // 查询中
        Found, // 找到
        NotFound, // 未找到
        Owned, // 已有此书 (in the library, or already in the stack)
        Invalid, // 无效ISBN
    };

    struct Row
    {
        QString typed;
        QString isbn13;
        State state = State::Pending;
        bool lookedUp = false; // an Owned row is looked up too, for a second copy
        Lookup::BookFields fields; // found, or typed by the family
        QByteArray coverJpeg;
        QImage thumbnail;
        QString note; // why nothing was found (the network's reason)
        bool addAgain = false; // 再加一本, for an Owned row
        int ticket = 0;
    };

    struct Added
    {
        int added = 0;
        QStringList leftOut; // "ISBN（why）" of the rows not added
    };

    // The ISBNs of a typed or pasted text: one a line (or separated by commas,
    // semicolons); a line of several full ISBNs split at its blanks.
    static QStringList splitInput(const QString& text);
    // Every ISBN the library holds, as Isbn::key gives it.
    static QSet<QString> ownedKeys(Connection& connection);
    static QString stateText(State state);

    explicit BatchStack(QSet<QString> owned = {})
        : m_owned(std::move(owned))
    { }

    // Adds a row and returns its index; whether it wants a look-up shows in
    // its state (Pending, or Owned not yet looked up).
    int add(const QString& typed);
    void remove(int index);
    int size() const { return int(m_rows.size()); }
    const Row& row(int index) const { return m_rows.at(index); }
    Row& row(int index) { return m_rows[index]; }
    // The row waiting for this look-up, -1 when none (removed meanwhile).
    int rowOfTicket(int ticket) const;
    // A look-up's answer for a row: Found, NotFound (with why), cover and all.
    void answer(int index, bool found, const Lookup::BookFields& fields, const QByteArray& coverJpeg,
        const QImage& thumbnail, const QString& note);
    // Whether "加入书库" takes the row: found, or given a title by the family;
    // an Owned one only with 再加一本.
    bool willAdd(int index) const;
    int countWillAdd() const;

    // Adds the rows that will be added in one transaction (all or none), with
    // the stack's category, place and reading status, and takes them out of
    // the stack. Throws on a database error, the stack unchanged.
    Added addTo(Connection& connection, std::optional<qint64> category, const QString& place, const QString& status);

private:
    QString key(const QString& isbn13) const;
    QSet<QString> m_owned;
    QList<Row> m_rows;
};
