#pragma once

// The one connection to the SQLite library file, and the folder the program keeps its data in.

#include "Exception.h"
#include "platform/AppPaths.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

struct sqlite3;
class RecordSet;
class Statement;

// An error reported by the database engine; the message is the engine's own.
class EDatabaseError : public Exception
{
public:
    using Exception::Exception;
};


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
    // Closes, and keeps the connection closed while its file is being replaced (a
    // compaction): open(), and so every reading or writing, then fails with reason
    // instead of opening a file that is about to go. release() lets it open again.
    void hold(const QString& reason);
    void release();
    bool isHeld() const;

    void execute(const QString& sql);   // a statement that returns no rows; opens on demand
    QString scalar(const QString& sql); // first column of the first row as text ("" when none)
    sqlite3* handle();                  // opens on demand
    // A statement kept prepared until the connection closes, for reads that run at
    // every record change; used through KeptStatement. Opens on demand.
    Statement& kept(const QByteArray& sql);

    QString password() const;           // "Jet OLEDB:Database Password"
    // When set, the first open() makes a new library file (Schema::createDatabase)
    // when the data source's folder does not exist yet: a true first start. A missing
    // file in an existing folder, or at a reopen, is an error; no empty library
    // takes its place.
    void setCreateIfMissing(bool create);

    // Called by close() before the file is let go, so that record sets can give
    // back what they hold open in it. Returns an id for removeCloseListener().
    int addCloseListener(std::function<void()> listener);
    void removeCloseListener(int id);

    // Every record set made on this connection and not yet destroyed, oldest first
    // (kept by RecordSet itself), so that a restore can re-read them all.
    QList<RecordSet*> recordSets() const;
    void addRecordSet(RecordSet* set);
    void removeRecordSet(RecordSet* set);

    // A data source as written in a connection string, made absolute against the
    // data folder ('\\' separators are accepted).
    static QString resolveDataSource(const QString& dataSource);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
