#include "data/RecordSet.h"

#include "data/RecordSetQuery.h"
#include "data/Sql.h"

#include <QCoreApplication>
#include <QHash>
#include <QScopeGuard>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;
using namespace RecordSetQuery;

namespace {

const QString closedMessage = u"Cannot perform this operation on a closed dataset"_s;

} // namespace

struct RecordSet::Private
{
    explicit Private(Connection& c)
        : connection(c)
    { }
    ~Private() { closeBlob(); }
    std::function<void(sqlite3*, qint64)> beforeRemove;
    Private(const Private&) = delete;
    Private& operator=(const Private&) = delete;

    RecordSet* q = nullptr;
    int closeListener = -1;

    Connection& connection;
    QString sql;
    State state = State::Inactive;
    Result result;
    Prepared prepared; // the statement kept from the last run, for the next
    QStringList upFront; // case-folded
    std::unique_ptr<Statement> deferredRead; // a row's deferred columns by its key
    QString deferredSql;
    std::vector<Column> deferredColumns;
    std::vector<int> deferredAt; // their places in the result
    QHash<QString, int> index; // case-folded name -> first column of that name
    int current = -1;
    bool bof = true;
    bool eof = true;
    // Edit buffer of the current row while editing or inserting.
    Row buffer;
    std::vector<bool> changed;
    int returnTo = -1; // the row to go back to when a new row is dropped
    bool spareReleaseQueued = false;

    int count() const { return int(result.rows.size()); }
    bool editing() const { return state == State::Edit || state == State::Insert; }
    bool writable() const { return result.keyColumn >= 0; }

    void checkActive() const
    {
        if (state == State::Inactive)
            fail(closedMessage);
    }

    int require(const QString& field) const
    {
        checkActive();
        const int i = index.value(field.toCaseFolded(), -1);
        if (i < 0)
            fail(u"Field '%1' not found"_s.arg(field));
        return i;
    }

    const Row* row()
    {
        if (editing())
            return &buffer;
        return current >= 0 ? &loaded(current) : nullptr;
    }

    // Notes which columns the result reads on demand, and the text of the
    // statement that reads them for one row; the statement is kept from one
    // opening to the next while that text stays.
    void learnDeferred()
    {
        deferredColumns.clear();
        deferredAt.clear();
        for (int i = 0; i < int(result.columns.size()); ++i) {
            if (result.columns[size_t(i)].deferred) {
                deferredAt.push_back(i);
                deferredColumns.push_back(result.columns[size_t(i)]);
                deferredColumns.back().deferred = false;
            }
        }
        QString sql;
        if (!deferredAt.empty()) {
            sql = u"select %1 from %2.%3 where %4 = ?"_s.arg(selectList(deferredColumns, true),
                quoted(QString::fromUtf8(result.database)), quoted(result.table),
                quoted(result.columns[size_t(result.keyColumn)].origin));
        }
        if (sql != deferredSql) {
            deferredRead.reset();
            deferredSql = sql;
        }
    }

    // Row n with its deferred columns read.
    Row& loaded(int n)
    {
        Row& r = result.rows[size_t(n)];
        if (deferredAt.empty() || !r.deferred(deferredAt.front()))
            return r;
        if (!deferredRead)
            deferredRead = std::make_unique<Statement>(connection.handle(), deferredSql.toUtf8());
        Statement& stmt = *deferredRead;
        const auto end = qScopeGuard([&stmt] { stmt.reset(); });
        stmt.bind(1, r.cell(result.keyColumn).toLongLong());
        Row fresh(deferredColumns.size());
        if (stmt.step()) // else the row has gone from the file since: its other columns read as empty
            fetchRow(stmt, deferredColumns, fresh);
        for (size_t j = 0; j < deferredAt.size(); ++j)
            r.take(deferredAt[j], fresh, int(j));
        return r;
    }

    // The blob handle of the last read stays open while the caller goes on reading
    // (moving it to another row is far cheaper than opening a new one). It holds a
    // read transaction, so it is closed when control returns to the event loop,
    // when a loop over the rows reaches the end, and before every write.
    mutable sqlite3_blob* blob = nullptr;
    mutable sqlite3* blobDb = nullptr;
    mutable int blobColumn = -1;
    mutable bool blobCloseQueued = false;

    void closeBlob() const
    {
        if (blob)
            sqlite3_blob_close(blob);
        blob = nullptr;
        blobDb = nullptr;
        blobColumn = -1;
    }

    QByteArray readBlob(int column) const
    {
        const Row& keyed = result.rows[size_t(current)];
        const Column& c = result.columns[size_t(column)];
        const qint64 key = keyed.cell(result.keyColumn).toLongLong();
        sqlite3* db = connection.handle();
        if (blob && (blobDb != db || blobColumn != column || sqlite3_blob_reopen(blob, key) != SQLITE_OK))
            closeBlob();
        if (!blob) {
            const QByteArray table = c.table.toUtf8();
            const QByteArray origin = c.origin.toUtf8();
            if (sqlite3_blob_open(db, c.database.constData(), table.constData(), origin.constData(), key, 0, &blob)
                != SQLITE_OK) {
                const QString message = QString::fromUtf8(sqlite3_errmsg(db));
                closeBlob();
                fail(message);
            }
            blobDb = db;
            blobColumn = column;
            if (!blobCloseQueued && QCoreApplication::instance()) {
                blobCloseQueued = true;
                QMetaObject::invokeMethod(
                    q,
                    [this] {
                        blobCloseQueued = false;
                        closeBlob();
                    },
                    Qt::QueuedConnection);
            }
        }
        QByteArray bytes(sqlite3_blob_bytes(blob), Qt::Uninitialized);
        const int rc = sqlite3_blob_read(blob, bytes.data(), int(bytes.size()), 0);
        if (rc != SQLITE_OK) {
            closeBlob();
            fail(QString::fromUtf8(sqlite3_errstr(rc)));
        }
        return bytes;
    }

    QVariant value(int column)
    {
        const Row* r = row();
        if (!r)
            return {};
        if (r->unloaded(column))
            return QVariant(readBlob(column));
        return r->cell(column);
    }

    void rebuildIndex()
    {
        index.clear();
        for (int i = int(result.columns.size()) - 1; i >= 0; --i)
            index.insert(result.columns[size_t(i)].name.toCaseFolded(), i);
    }

    // Puts a value into the edit buffer; a set that is browsing starts editing first.
    void setValue(RecordSet& set, const QString& field, const QVariant& value)
    {
        const int i = require(field);
        const Column& column = result.columns[size_t(i)];
        if (i == result.keyColumn || column.origin.isEmpty() || !writable())
            fail(u"Field '%1' cannot be modified"_s.arg(field));
        set.edit();
        buffer.set(i, value);
        changed[size_t(i)] = true;
    }

    Row emptyRow() const { return Row(result.columns.size()); }

    // Reads one row back from the file by its key, as the set's statement would.
    bool reread(qint64 key, Row& into)
    {
        sqlite3* db = connection.handle();
        const QString sql = u"select %1 from %2.%3 where %4 = ?"_s.arg(selectList(result.columns, true),
            quoted(QString::fromUtf8(result.database)), quoted(result.table),
            quoted(result.columns[size_t(result.keyColumn)].origin));
        Statement stmt(db, sql.toUtf8());
        stmt.bind(1, key);
        if (!stmt.step())
            return false;
        Row fresh;
        fetchRow(stmt, result.columns, fresh);
        for (size_t i = 0; i < result.columns.size(); ++i) {
            if (!result.columns[i].origin.isEmpty())
                into.take(int(i), fresh);
        }
        return true;
    }
};

RecordSet::RecordSet(Connection& connection, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(connection))
{
    d->q = this;
    d->closeListener = connection.addCloseListener([this] {
        d->closeBlob();
        d->prepared.clear();
        d->deferredRead.reset();
    });
    connection.addRecordSet(this);
}

RecordSet::~RecordSet()
{
    d->connection.removeCloseListener(d->closeListener);
    d->connection.removeRecordSet(this);
}

Connection& RecordSet::connection() const
{
    return d->connection;
}

void RecordSet::setSql(const QString& sql)
{
    close();
    d->sql = sql;
}

QString RecordSet::sql() const
{
    return d->sql;
}

void RecordSet::setReadUpFront(const QStringList& columns)
{
    d->upFront.clear();
    for (const QString& column : columns)
        d->upFront << column.toCaseFolded();
}

void RecordSet::open()
{
    if (d->state != State::Inactive)
        return;
    Result result = run(d->connection.handle(), d->sql, &d->prepared, d->upFront);
    d->result = std::move(result);
    d->rebuildIndex();
    if (!d->result.again)
        d->learnDeferred();
    d->current = d->count() > 0 ? 0 : -1;
    d->bof = true;
    d->eof = d->count() == 0;
    d->state = State::Browse;
    emit rowsReset();
    emit stateChanged(d->state);
    emit rowChanged();
    emit valuesChanged();
    if (d->count() > 0)
        emit afterScroll();
}

void RecordSet::close()
{
    d->closeBlob();
    if (d->state == State::Inactive)
        return;
    d->state = State::Inactive;
    // The rows' memory is kept for an opening that follows at once (a search reads
    // into it) and given back at the next turn of the event loop otherwise.
    d->prepared.spare = std::move(d->result.rows);
    d->result = Result();
    if (!d->spareReleaseQueued) {
        d->spareReleaseQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                d->spareReleaseQueued = false;
                d->prepared.spare = {};
            },
            Qt::QueuedConnection);
    }
    // Which columns are deferred, and the statement that reads them, stay for the
    // next opening: read by the same statement, its result has the same columns.
    d->index.clear();
    d->buffer = Row();
    d->changed.clear();
    d->current = -1;
    d->bof = d->eof = true;
    emit rowsReset();
    emit stateChanged(d->state);
    emit valuesChanged();
}

bool RecordSet::isOpen() const
{
    return d->state != State::Inactive;
}

RecordSet::State RecordSet::state() const
{
    return d->state;
}

int RecordSet::recordCount() const
{
    return d->count();
}

int RecordSet::recNo() const
{
    return d->current;
}

bool RecordSet::isEmpty() const
{
    return d->count() == 0;
}

bool RecordSet::eof() const
{
    return d->count() == 0 || d->eof;
}

bool RecordSet::bof() const
{
    return d->count() == 0 || d->bof;
}

// Leaving a row: a changed row is posted, an unchanged edit or new row dropped.
static void checkBrowseMode(RecordSet& set)
{
    if (set.state() == RecordSet::State::Edit || set.state() == RecordSet::State::Insert) {
        if (set.isModified())
            set.post();
        else
            set.cancel();
    }
}

void RecordSet::moveTo(int row)
{
    d->checkActive();
    checkBrowseMode(*this);
    if (d->count() == 0)
        return;
    row = std::clamp(row, 0, d->count() - 1);
    d->bof = d->eof = false;
    if (row == d->current)
        return;
    d->current = row;
    emit rowChanged();
    emit valuesChanged();
    emit afterScroll();
}

void RecordSet::first()
{
    moveTo(0);
    d->bof = true;
}

void RecordSet::last()
{
    moveTo(d->count() - 1);
    d->eof = true;
}

void RecordSet::next()
{
    d->checkActive();
    checkBrowseMode(*this);
    if (d->current + 1 >= d->count()) {
        d->eof = true;
        d->closeBlob(); // the end of a loop over the rows
        return;
    }
    moveTo(d->current + 1);
}

void RecordSet::prior()
{
    d->checkActive();
    checkBrowseMode(*this);
    if (d->current <= 0) {
        d->bof = true;
        return;
    }
    moveTo(d->current - 1);
}

QStringList RecordSet::fieldNames() const
{
    QStringList names;
    for (const Column& column : d->result.columns)
        names << column.name;
    return names;
}

bool RecordSet::hasField(const QString& name) const
{
    return d->index.contains(name.toCaseFolded());
}

int RecordSet::fieldIndex(const QString& field) const
{
    return d->index.value(field.toCaseFolded(), -1);
}

bool RecordSet::isNull(const QString& field) const
{
    const int i = d->require(field);
    const Row* r = d->row();
    return !r || r->isNull(i);
}

static QString toText(const QVariant& value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(value.toByteArray());
    return value.toString();
}

QString RecordSet::asText(const QString& field) const
{
    return toText(d->value(d->require(field)));
}

std::optional<qint64> RecordSet::asInteger(const QString& field) const
{
    const QVariant value = d->value(d->require(field));
    if (!value.isValid())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return value.toLongLong();
    case QMetaType::Double:
        return qRound64(value.toDouble());
    default:
        break;
    }
    const QString text = toText(value).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    if (!ok)
        throw EConvertError(u"'%1' is not a valid integer value"_s.arg(text).toStdString());
    return number;
}

QByteArray RecordSet::asBytes(const QString& field) const
{
    const QVariant value = d->value(d->require(field));
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    return value.isValid() ? value.toString().toUtf8() : QByteArray();
}

QVariant RecordSet::value(const QString& field) const
{
    return d->value(d->require(field));
}

QString RecordSet::firstColumnText() const
{
    d->checkActive();
    if (d->result.columns.empty())
        return {};
    return toText(d->value(0));
}

QString RecordSet::textAt(int row, int column) const
{
    if (row < 0 || row >= d->count() || column < 0 || column >= int(d->result.columns.size()))
        return {};
    const Row& r = (row == d->current && d->editing()) ? d->buffer
        : d->result.rows[size_t(row)].deferred(column)    ? d->loaded(row)
                                                          : d->result.rows[size_t(row)];
    switch (r.cells[size_t(column)].kind) {
    case Row::Kind::Text:
        return r.packedText(column);
    case Row::Kind::Integer:
        return QString::number(r.cells[size_t(column)].number);
    case Row::Kind::Value: {
        const QVariant& value = r.values[r.cells[size_t(column)].size];
        return value.typeId() == QMetaType::QByteArray ? QString() : value.toString();
    }
    case Row::Kind::Null:
    case Row::Kind::Lazy:
    case Row::Kind::Deferred:
        break;
    }
    return {};
}

QByteArrayView RecordSet::utf8At(int row, int column, QByteArray& scratch) const
{
    if (row >= 0 && row < d->count() && column >= 0 && column < int(d->result.columns.size())
        && !(row == d->current && d->editing())) {
        const Row& r = d->result.rows[size_t(row)];
        const Row::Cell& cell = r.cells[size_t(column)];
        if (cell.kind == Row::Kind::Text)
            return QByteArrayView(r.text.constData() + cell.number, cell.size);
    }
    scratch = textAt(row, column).toUtf8();
    return scratch;
}

bool RecordSet::isModified() const
{
    return d->editing() && std::find(d->changed.begin(), d->changed.end(), true) != d->changed.end();
}

void RecordSet::append()
{
    d->checkActive();
    if (!d->writable())
        fail(u"Cannot modify a read-only dataset"_s);
    checkBrowseMode(*this);
    d->returnTo = d->current;
    emit rowAboutToBeInserted(d->count());
    d->result.rows.push_back(d->emptyRow());
    d->current = d->count() - 1;
    d->buffer = d->emptyRow();
    d->changed.assign(d->result.columns.size(), false);
    d->bof = d->eof = false;
    d->state = State::Insert;
    emit rowInserted(d->current);
    emit stateChanged(d->state);
    emit rowChanged();
    emit valuesChanged();
    emit afterScroll();
}

void RecordSet::edit()
{
    d->checkActive();
    if (d->editing())
        return;
    if (d->count() == 0) {
        append();
        return;
    }
    if (!d->writable())
        fail(u"Cannot modify a read-only dataset"_s);
    d->buffer = d->loaded(d->current);
    d->changed.assign(d->result.columns.size(), false);
    d->state = State::Edit;
    emit stateChanged(d->state);
    emit valuesChanged();
}

void RecordSet::setText(const QString& field, const QString& text)
{
    // Typed or read from a file: a NUL character never reaches the library.
    d->setValue(*this, field, QVariant(Sql::withoutNul(text)));
    emit dataChanged();
    emit valuesChanged();
}

void RecordSet::setInteger(const QString& field, std::optional<qint64> value)
{
    d->setValue(*this, field, value ? QVariant(*value) : QVariant());
    emit dataChanged();
    emit valuesChanged();
}

void RecordSet::setBytes(const QString& field, const QByteArray& bytes)
{
    d->setValue(*this, field, QVariant(bytes));
    emit dataChanged();
    emit valuesChanged();
}

void RecordSet::setNull(const QString& field)
{
    d->setValue(*this, field, QVariant());
    emit dataChanged();
    emit valuesChanged();
}

void RecordSet::post()
{
    d->closeBlob();
    d->checkActive();
    if (!d->editing())
        return;
    emit aboutToPost();
    const Result& result = d->result;
    const QString keyName = quoted(result.columns[size_t(result.keyColumn)].origin);
    const QString table = quoted(QString::fromUtf8(result.database)) + u'.' + quoted(result.table);
    std::vector<int> changed;
    for (size_t i = 0; i < d->changed.size(); ++i) {
        if (d->changed[i])
            changed.push_back(int(i));
    }
    sqlite3* db = d->connection.handle();
    qint64 key = 0;
    if (d->state == State::Edit) {
        key = d->buffer.cell(result.keyColumn).toLongLong();
        if (!changed.empty()) {
            // Only the changed columns: an untouched picture is neither rewritten nor reported as changed.
            QStringList sets;
            for (int i : changed)
                sets << quoted(result.columns[size_t(i)].origin) + u" = ?"_s;
            const QString sql = u"update %1 set %2 where %3 = ?"_s.arg(table, sets.join(u", "_s), keyName);
            inTransaction(db, [&] {
                Statement stmt(db, sql.toUtf8());
                int n = 0;
                for (int i : changed)
                    stmt.bind(++n, d->buffer.cell(i));
                stmt.bind(++n, key);
                stmt.step();
                if (sqlite3_changes(db) == 0)
                    fail(
                        u"Row cannot be located for updating. Some values may have been changed since it was last read."_s);
            });
        }
    } else {
        QStringList names;
        QStringList marks;
        for (int i : changed) {
            names << quoted(result.columns[size_t(i)].origin);
            marks << u"?"_s;
        }
        const QString sql = changed.empty()
            ? u"insert into %1 default values"_s.arg(table)
            : u"insert into %1 (%2) values (%3)"_s.arg(table, names.join(u", "_s), marks.join(u", "_s));
        inTransaction(db, [&] {
            Statement stmt(db, sql.toUtf8());
            int n = 0;
            for (int i : changed)
                stmt.bind(++n, d->buffer.cell(i));
            stmt.step();
            key = sqlite3_last_insert_rowid(db);
        });
    }

    // Written: the row now reads as the file holds it (its key, converted values,
    // blobs back in the file).
    Row posted = d->buffer;
    posted.set(result.keyColumn, QVariant(key));
    try {
        d->reread(key, posted);
    } catch (const EDatabaseError&) {
        // The write stands; the row keeps the values as they were sent.
    }
    d->result.rows[size_t(d->current)] = std::move(posted);
    d->buffer = Row();
    d->changed.clear();
    d->state = State::Browse;
    emit stateChanged(d->state);
    emit dataChanged();
    emit valuesChanged();
}

void RecordSet::cancel()
{
    if (d->state == State::Edit) {
        d->buffer = Row();
        d->changed.clear();
        d->state = State::Browse;
        emit stateChanged(d->state);
        emit dataChanged();
        emit valuesChanged();
    } else if (d->state == State::Insert) {
        const int dropped = d->current;
        emit rowAboutToBeRemoved(dropped);
        d->result.rows.erase(d->result.rows.begin() + dropped);
        d->buffer = Row();
        d->changed.clear();
        d->current = d->count() == 0 ? -1 : std::clamp(d->returnTo, 0, d->count() - 1);
        d->state = State::Browse;
        emit rowRemoved(dropped);
        emit stateChanged(d->state);
        emit rowChanged();
        emit valuesChanged();
        emit afterScroll();
    }
}

void RecordSet::remove()
{
    d->closeBlob();
    d->checkActive();
    if (d->state == State::Insert) {
        cancel();
        return;
    }
    if (d->count() == 0)
        fail(u"Cannot perform this operation on an empty dataset"_s);
    if (!d->writable())
        fail(u"Cannot modify a read-only dataset"_s);
    const Result& result = d->result;
    const qint64 key = result.rows[size_t(d->current)].cell(result.keyColumn).toLongLong();
    const QString sql = u"delete from %1.%2 where %3 = ?"_s.arg(quoted(QString::fromUtf8(result.database)),
        quoted(result.table), quoted(result.columns[size_t(result.keyColumn)].origin));
    sqlite3* db = d->connection.handle();
    inTransaction(db, [&] {
        if (d->beforeRemove)
            d->beforeRemove(db, key);
        Statement stmt(db, sql.toUtf8());
        stmt.bind(1, key);
        stmt.step();
    });

    const bool wasEditing = d->state == State::Edit;
    const int removed = d->current;
    emit rowAboutToBeRemoved(removed);
    d->buffer = Row();
    d->changed.clear();
    d->state = State::Browse;
    d->result.rows.erase(d->result.rows.begin() + removed);
    d->current = d->count() == 0 ? -1 : std::min(removed, d->count() - 1);
    emit rowRemoved(removed);
    if (wasEditing)
        emit stateChanged(d->state);
    emit rowChanged();
    emit valuesChanged();
    emit afterScroll();
}

void RecordSet::setBeforeRemove(std::function<void(sqlite3* db, qint64 key)> hook)
{
    d->beforeRemove = std::move(hook);
}

void RecordSet::refresh()
{
    d->closeBlob();
    d->checkActive();
    checkBrowseMode(*this);
    const Result& old = d->result;
    std::optional<qint64> key;
    if (d->current >= 0 && old.keyColumn >= 0)
        key = old.rows[size_t(d->current)].cell(old.keyColumn).toLongLong();
    Result fresh = run(d->connection.handle(), d->sql, &d->prepared, d->upFront);
    int row = d->current;
    if (key && fresh.keyColumn >= 0) {
        for (size_t i = 0; i < fresh.rows.size(); ++i) {
            if (fresh.rows[i].cell(fresh.keyColumn).toLongLong() == *key) {
                row = int(i);
                break;
            }
        }
    }
    d->result = std::move(fresh);
    d->rebuildIndex();
    d->learnDeferred();
    d->current = d->count() == 0 ? -1 : std::clamp(row, 0, d->count() - 1);
    d->bof = d->eof = d->count() == 0;
    emit rowsReset();
    emit rowChanged();
    emit valuesChanged();
}

bool RecordSet::locate(const QString& field, const QString& value)
{
    const int column = d->require(field);
    checkBrowseMode(*this);
    for (int row = 0; row < d->count(); ++row) {
        if (textAt(row, column).compare(value, Qt::CaseInsensitive) == 0) {
            moveTo(row);
            return true;
        }
    }
    return false;
}
