#pragma once

// The library's one engine layer: a connection to the SQLite library file and
// record sets over it. Everything a window reads or writes goes through here.

#include "Exception.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

struct sqlite3;

// An error reported by the database engine; the message is the engine's own.
class EDatabaseError : public Exception
{
public:
    using Exception::Exception;
};

// The data folder: where "data/", "corvina/", "temp/", "skinh.she" and "Temp.mdb" live.
// The executable's folder; QINGHE_HOME overrides it; an installed (read-only) copy uses
// the per-user application data folder.
// Read afresh at every call, so a test may point QINGHE_HOME at its own folder.
namespace AppPaths {
QString dataDir();                          // absolute, no trailing '/'
QString path(const QString& relative);      // dataDir() + '/' + relative
}

// One connection, described by an ADO-style connection string ("Key=Value;...").
// "Data Source" names the SQLite file (relative names resolve against the data
// folder), "Jet OLEDB:Database Password" must match the password recorded in the file.
class Connection
{
public:
    explicit Connection(QString connectionString = {});
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setConnectionString(const QString& text);   // closes first
    QString connectionString() const;
    QString databasePath() const;                     // absolute file path of the data source

    void open();                 // no-op when open; throws EDatabaseError
    void close();
    bool isOpen() const;

    void execute(const QString& sql);   // a statement that returns no rows; opens on demand
    QString scalar(const QString& sql); // first column of the first row as text ("" when none)
    sqlite3* handle();                  // opens on demand

    QString password() const;           // "Jet OLEDB:Database Password"
    // When set, open() makes a new library file (Schema::createDatabase) if the
    // data source does not exist yet, instead of failing.
    void setCreateIfMissing(bool create);

    // Called by close() before the file is let go, so that record sets can give
    // back what they hold open in it. Returns an id for removeCloseListener().
    int addCloseListener(std::function<void()> listener);
    void removeCloseListener(int id);

    // A data source as written in a connection string, made absolute against the
    // data folder ('\\' separators are accepted).
    static QString resolveDataSource(const QString& dataSource);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

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
    void refresh();                     // re-reads, keeping the current row
    bool locate(const QString& field, const QString& value);   // ignoring letter case

signals:
    void rowChanged();                  // current row moved, or the set was (re)opened
    void stateChanged(RecordSet::State state);
    void dataChanged();                 // a value of the current row changed (buffer, post or cancel)
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

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Holds the one connection of the program. Created before any window.
// Its constructor makes "data/AccessMng.mdb" with the four tables when the file
// is missing, so a first start works at once.
class TDataModule2
{
public:
    TDataModule2();
    ~TDataModule2();
    TDataModule2(const TDataModule2&) = delete;
    TDataModule2& operator=(const TDataModule2&) = delete;
    static TDataModule2* instance();
    static QString defaultConnectionString();
    Connection Adocon;
};
