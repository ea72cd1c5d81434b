#pragma once

// Record sets over the connection: a query's whole result in memory, with a
// current row and the states browsing, editing and inserting.

#include "data/Connection.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

// A query on a connection with its whole result in memory, a current row and the
// states browsing, editing and inserting.
class RecordSet : public QObject
{
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };
    Q_ENUM(State)

    explicit RecordSet(Connection& connection, QObject* parent = nullptr);
    ~RecordSet() override;

    void setSql(const QString& sql);    // closes the set; unsaved changes are dropped
    QString sql() const;
    // The columns every row reads when the set opens (the key always does). The
    // others of a writable set are read for one row when it is asked for, by its
    // key: a list that shows a few columns opens at the cost of those. Empty (the
    // default): every column up front. Takes effect at the next open. Reading such
    // a column, textAt() included, then reads the file and can fail as any read.
    void setReadUpFront(const QStringList& columns);
    void open();                        // no-op when already open
    void close();
    bool isOpen() const;
    State state() const;

    int recordCount() const;
    int recNo() const;                  // 0-based current row, -1 when empty
    bool isEmpty() const;
    bool eof() const;                   // true when empty or moved past the last row
    bool bof() const;
    void first();
    void last();
    void next();
    void prior();
    void moveTo(int row);

    QStringList fieldNames() const;
    bool hasField(const QString& name) const;     // names ignore letter case
    bool isNull(const QString& field) const;
    QString asText(const QString& field) const;   // null reads as ""
    std::optional<qint64> asInteger(const QString& field) const;
    QByteArray asBytes(const QString& field) const;   // blobs are read from the file on demand
    QVariant value(const QString& field) const;
    QString firstColumnText() const;              // for "select count(*)"

    int fieldIndex(const QString& field) const;   // -1 when absent; names ignore letter case
    QString textAt(int row, int column) const;    // for grids: any row, blobs read as ""
    // textAt's UTF-8, without a copy when the set holds the text as read (valid
    // until the set changes), else converted into scratch: for going over a
    // column of many rows.
    QByteArrayView utf8At(int row, int column, QByteArray& scratch) const;
    bool isModified() const;                      // the edit buffer holds a change
    Connection& connection() const;

    void append();
    void edit();                        // an empty set starts a new row instead
    void setText(const QString& field, const QString& text);
    void setInteger(const QString& field, std::optional<qint64> value);
    void setBytes(const QString& field, const QByteArray& bytes);
    void setNull(const QString& field);
    void post();
    void cancel();
    void remove();
    // Runs inside remove()'s transaction with the key of the row, before the row is
    // deleted (what it throws rolls the delete back): where a window keeps a copy.
    void setBeforeRemove(std::function<void(sqlite3* db, qint64 key)> hook);
    void refresh();                     // re-reads, keeping the current row
    bool locate(const QString& field, const QString& value);   // ignoring letter case

signals:
    void rowChanged();                  // current row moved, or the set was (re)opened
    void stateChanged(RecordSet::State state);
    void dataChanged();                 // a value of the current row changed (buffer, post or cancel)
    void aboutToPost();                 // a changed or new row is about to be written; values may still be set
    // Changes to the list of rows, for models over the set.
    void rowsReset();                   // opened, closed or refreshed (after the change)
    void rowAboutToBeInserted(int row); // a new row is about to start
    void rowInserted(int row);
    void rowAboutToBeRemoved(int row);  // a row is about to be deleted, or a new row dropped
    void rowRemoved(int row);
    // The record change of a data-aware window, at exactly these moments: the set was
    // opened with at least one row, moved to another row, started a new row, dropped a
    // new row, or deleted a row (the set may be empty afterwards).
    void afterScroll();
    // What the current row's fields read, or whether they can be written, may have
    // changed: once at the end of each change of the set (before afterScroll), for
    // controls that show a field.
    void valuesChanged();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
