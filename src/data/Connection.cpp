#include "data/Connection.h"

#include "data/ConnectionString.h"
#include "data/Schema.h"
#include "data/Statement.h"
#include "data/TextCompare.h"

#include <QDir>
#include <QFileInfo>

#include <map>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int busyTimeoutMs = 5000;

[[noreturn]] void fail(const QString& message)
{
    throw EDatabaseError(message.toStdString());
}

} // namespace

struct Connection::Private
{
    QString text;
    sqlite3* db = nullptr;
    bool createIfMissing = false;
    bool openedBefore = false; // a reopen never makes a library
    std::map<int, std::function<void()>> closeListeners;
    int nextListener = 0;
    QList<RecordSet*> recordSets;
    QString heldReason; // not empty while held
    std::map<QByteArray, std::unique_ptr<Statement>> kept;
};

Connection::Connection(QString connectionString)
    : d(std::make_unique<Private>())
{
    d->text = std::move(connectionString);
}

Connection::~Connection()
{
    close();
}

void Connection::setConnectionString(const QString& text)
{
    close();
    d->text = text;
}

QString Connection::connectionString() const
{
    return d->text;
}

QString Connection::resolveDataSource(const QString& dataSource)
{
    QString path = dataSource;
    path.replace(u'\\', u'/');
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return QDir::cleanPath(path);
    return QDir::cleanPath(AppPaths::dataDir() + u'/' + path);
}

QString Connection::databasePath() const
{
    return resolveDataSource(ConnectionString(d->text).value(u"Data Source"_s));
}

QString Connection::password() const
{
    return ConnectionString(d->text).value(u"Jet OLEDB:Database Password"_s);
}

void Connection::setCreateIfMissing(bool create)
{
    d->createIfMissing = create;
}

void Connection::open()
{
    if (d->db)
        return;
    if (!d->heldReason.isEmpty())
        fail(d->heldReason);
    const ConnectionString settings(d->text);
    const QString path = databasePath();
    const QString shown = QDir::toNativeSeparators(path);
    if (path.isEmpty())
        fail(u"无法打开数据库文件: 连接字符串中没有 Data Source"_s);
    if (d->createIfMissing && !d->openedBefore && !QFileInfo::exists(QFileInfo(path).absolutePath()))
        Schema::createDatabase(path, password());

    const QString mode = settings.value(u"Mode"_s).trimmed();
    const bool readOnly = mode.compare(u"Read"_s, Qt::CaseInsensitive) == 0;
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;

    sqlite3* db = nullptr;
    const QByteArray name = path.toUtf8();
    int rc = sqlite3_open_v2(name.constData(), &db, flags, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_extended_result_codes(db, 1);
    if (rc == SQLITE_OK)
        rc = sqlite3_busy_timeout(db, busyTimeoutMs);
    if (rc == SQLITE_OK)
        rc = TextCompare::registerOn(db);
    if (rc != SQLITE_OK) {
        const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        fail(u"无法打开数据库文件 %1: %2"_s.arg(shown, message));
    }

    // Reading the recorded password is the first real read of the file: a file
    // that is not a database, or one locked by another program, fails here.
    // An empty file or another program's database is refused before anything is written to it.
    QString stored;
    bool library = false;
    try {
        stored = Schema::storedPassword(db);
        library = Schema::isLibrary(db);
    } catch (const EDatabaseError& error) {
        sqlite3_close(db);
        fail(u"无法打开数据库文件 %1: %2"_s.arg(shown, QString::fromStdString(error.message())));
    }
    if (!library) {
        sqlite3_close(db);
        fail(u"无法打开数据库文件 %1: 这不是青禾书屋的书库文件(缺少表 baseshu、dzbook、tblei 或 userb)"_s.arg(shown));
    }
    if (!stored.isEmpty() && stored != password()) {
        sqlite3_close(db);
        fail(u"Not a valid password."_s);
    }
    // An older file is brought up to date; letter case beyond ASCII is folded
    // wherever no index depends on how NOCASE orders text.
    try {
        Schema::migrate(db);
        if (!Schema::indexUses(db, TextCompare::collationName) && TextCompare::foldNocase(db) != SQLITE_OK)
            Statement::failEngine(db);
    } catch (const EDatabaseError&) {
        sqlite3_close(db);
        throw;
    }
    d->db = db;
    d->openedBefore = true;
}

void Connection::close()
{
    if (!d->db)
        return;
    const auto listeners = d->closeListeners;
    for (const auto& [id, listener] : listeners)
        listener();
    d->kept.clear();
    // Statements are finalised by their owners; v2 defers the close should one linger.
    sqlite3_close_v2(d->db);
    d->db = nullptr;
}

Statement& Connection::kept(const QByteArray& sql)
{
    sqlite3* db = handle();
    std::unique_ptr<Statement>& stmt = d->kept[sql];
    if (!stmt)
        stmt = std::make_unique<Statement>(db, sql);
    return *stmt;
}

int Connection::addCloseListener(std::function<void()> listener)
{
    const int id = d->nextListener++;
    d->closeListeners.emplace(id, std::move(listener));
    return id;
}

void Connection::removeCloseListener(int id)
{
    d->closeListeners.erase(id);
}

QList<RecordSet*> Connection::recordSets() const
{
    return d->recordSets;
}

void Connection::addRecordSet(RecordSet* set)
{
    d->recordSets.append(set);
}

void Connection::removeRecordSet(RecordSet* set)
{
    d->recordSets.removeOne(set);
}

bool Connection::isOpen() const
{
    return d->db != nullptr;
}

void Connection::hold(const QString& reason)
{
    close();
    d->heldReason = reason.isEmpty() ? u"数据库暂时不能使用"_s : reason;
}

void Connection::release()
{
    d->heldReason.clear();
}

bool Connection::isHeld() const
{
    return !d->heldReason.isEmpty();
}

sqlite3* Connection::handle()
{
    open();
    return d->db;
}

void Connection::execute(const QString& sql)
{
    Statement::execute(handle(), sql.toUtf8());
}

QString Connection::scalar(const QString& sql)
{
    return Statement::scalar(handle(), sql.toUtf8());
}
