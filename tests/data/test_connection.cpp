#include "data/EngineMessage.h"
#include "data/test_recordset_fixture.h"

#include "data/ConnectionString.h"
#include "data/Schema.h"
#include "data/Statement.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdlib>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

class TestConnection : public QObject
{
    Q_OBJECT
private slots:
    void parsesConnectionStrings_data();
    void parsesConnectionStrings();
    void firstStartCreatesLibrary();
    void dataSourceIgnoresCurrentFolder();
    void wrongPasswordIsRefused();
    void unopenableFilesGiveClearMessages_data();
    void unopenableFilesGiveClearMessages();
    void engineErrorsInChinese();
    void textComparesIgnoringCase_data();
    void textComparesIgnoringCase();
    void postedRowSurvivesKill();
    void stockEngineReadsAndWritesTheFile();
    void olderFilesAreMigratedOnOpen();
    void categoryNamesAreTrimmedOnOpen();
};

void TestConnection::parsesConnectionStrings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << u"Provider=X;Data Source=./a.mdb;Mode=Read"_s << u"data source"_s << u"./a.mdb"_s;
    QTest::newRow("empty quoted") << u"Extended Properties=\"\";Mode=Read"_s << u"Extended Properties"_s << QString();
    QTest::newRow("quoted semicolon") << u"Data Source=\"a;b.mdb\";Mode=1"_s << u"Data Source"_s << u"a;b.mdb"_s;
    QTest::newRow("doubled quote") << u"Jet OLEDB:Database Password='it''s'"_s << u"Jet OLEDB:Database Password"_s
                                   << u"it's"_s;
    QTest::newRow("blanks") << u" Mode = Share Deny None ;"_s << u"mode"_s << u"Share Deny None"_s;
    QTest::newRow("unquoted semicolon") << u"Data Source=/a;b/x.mdb;Jet OLEDB:Database Password=p;q;"_s
                                        << u"Data Source"_s << u"/a;b/x.mdb"_s;
    QTest::newRow("password semicolon") << u"Data Source=/a;b/x.mdb;Jet OLEDB:Database Password=p;q;"_s
                                        << u"Jet OLEDB:Database Password"_s << u"p;q"_s;
    QTest::newRow("absent") << u"Mode=Read"_s << u"Provider"_s << QString();
}

void TestConnection::parsesConnectionStrings()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const ConnectionString parsed(text);
    QCOMPARE(parsed.value(key), value);
    QCOMPARE(parsed.contains(key), !value.isNull() || text.contains(key, Qt::CaseInsensitive));
    QCOMPARE(ConnectionString(parsed.toString()).value(key), value);
}

void TestConnection::firstStartCreatesLibrary()
{
    LibraryFixture f;
    QVERIFY(QFile::exists(f.dir.filePath(u"data/AccessMng.mdb"_s)));
    QVERIFY(!f.db().isOpen()); // the first query opens it
    QCOMPARE(f.count(u"select password from userb where users = 'admin'"_s), u"admin"_s);
    QVERIFY(f.db().isOpen());
    QVERIFY(f.count(u"select count(*) from tblei"_s).toInt() >= 5);
    QCOMPARE(f.count(u"select count(*) from baseshu"_s), u"0"_s);

    // A second start keeps the file as it is.
    f.db().execute(u"insert into tblei (leib) values ('自定义')"_s);
    f.module.reset();
    f.module = std::make_unique<TDataModule2>();
    QCOMPARE(f.count(u"select count(*) from tblei where leib = '自定义'"_s), u"1"_s);

    // Once "data/" exists, a missing library is an error, at start and at any reopen; none is made.
    f.module.reset();
    QVERIFY(QFile::remove(f.dir.filePath(u"data/AccessMng.mdb"_s)));
    f.module = std::make_unique<TDataModule2>();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, f.db().open());
    QVERIFY(!QFile::exists(f.dir.filePath(u"data/AccessMng.mdb"_s)));
    f.module.reset();
    QVERIFY(QDir(f.dir.path()).rmdir(u"data"_s));
    f.module = std::make_unique<TDataModule2>();
    f.db().open();
    f.db().close();
    QVERIFY(QDir(f.dir.path()).rename(u"data"_s, u"moved"_s)); // a folder gone while the program runs
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, f.db().open());
    QVERIFY(!QFile::exists(f.dir.filePath(u"data"_s)));
    QVERIFY(QDir(f.dir.path()).rename(u"moved"_s, u"data"_s));

    // An engine error carries the engine's message.
    try {
        f.db().execute(u"select nosuch from userb"_s);
        QFAIL("no error");
    } catch (const EDatabaseError& error) {
        QCOMPARE(QString::fromStdString(error.message()), u"no such column: nosuch"_s);
    }
}

void TestConnection::dataSourceIgnoresCurrentFolder()
{
    LibraryFixture f;
    QTemporaryDir elsewhere;
    const QString before = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    const QString path = f.db().databasePath();
    QDir::setCurrent(before);
    QCOMPARE(path, QDir(f.dir.path()).filePath(u"data/AccessMng.mdb"_s));
    QCOMPARE(Connection::resolveDataSource(u".\\data\\x.mdb"_s), QDir(f.dir.path()).filePath(u"data/x.mdb"_s));
    QCOMPARE(AppPaths::path(u"Temp.mdb"_s), QDir(f.dir.path()).filePath(u"Temp.mdb"_s));
}

void TestConnection::wrongPasswordIsRefused()
{
    LibraryFixture f;
    QString text = TDataModule2::defaultConnectionString();
    text.replace(u"Password=tovrik"_s, u"Password=Tovrik"_s);
    Connection wrong(text);
    try {
        wrong.scalar(u"select * from userb"_s);
        QFAIL("a wrong password opened the library");
    } catch (const EDatabaseError& error) {
        QCOMPARE(QString::fromStdString(error.message()), u"Not a valid password."_s);
    }
    QVERIFY(!wrong.isOpen());

    // The right one, on another connection string of the same kind.
    Connection right(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Jet OLEDB:Database Password=tovrik;"_s.arg(
        f.db().databasePath()));
    QCOMPARE(right.scalar(u"select users from userb"_s), u"admin"_s);
}

void TestConnection::unopenableFilesGiveClearMessages_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<QString>("engineMessage");
    QTest::newRow("missing") << QByteArray() << u"unable to open database file"_s;
    QTest::newRow("not a database") << QByteArray(4096, 'x') << u"file is not a database"_s;
}

void TestConnection::unopenableFilesGiveClearMessages()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, engineMessage);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Other.mdb"_s);
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    Connection connection(u"Data Source=%1;Jet OLEDB:Database Password=tovrik"_s.arg(path));
    try {
        connection.open();
        QFAIL("opened");
    } catch (const EDatabaseError& error) {
        const QString message = QString::fromStdString(error.message());
        QVERIFY2(message.startsWith(u"无法打开数据库文件 "_s + QDir::toNativeSeparators(path)), qPrintable(message));
        QVERIFY2(message.contains(engineMessage), qPrintable(message));
    }
    QVERIFY(!connection.isOpen());
    QCOMPARE(QFile::exists(path), !content.isEmpty()); // nothing created on the way
}

void TestConnection::textComparesIgnoringCase_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("condition");
    QTest::addColumn<bool>("matches");
    QTest::newRow("ascii =") << u"Reader"_s << u"users = 'rEADER'"_s << true;
    QTest::newRow("latin-1 =") << u"Élodie"_s << u"users = 'éLODIE'"_s << true;
    QTest::newRow("greek =") << u"Σοφία"_s << u"users = 'σοφία'"_s << true;
    QTest::newRow("different") << u"Reader"_s << u"users = 'Reade'"_s << false;
    QTest::newRow("like latin") << u"Les Misérables"_s << u"users like '%MISÉRABLES%'"_s << true;
    QTest::newRow("like underscore") << u"abc"_s << u"users like 'A_C'"_s << true;
    QTest::newRow("like too short") << u"abc"_s << u"users like 'a_'"_s << false;
    QTest::newRow("like escape") << u"100%"_s << u"users like '100!%' escape '!'"_s << true;
    QTest::newRow("like escape literal") << u"1000"_s << u"users like '100!%' escape '!'"_s << false;
    QTest::newRow("quote") << u"O'Brien"_s << u"users = 'o''brien'"_s << true;
}

void TestConnection::textComparesIgnoringCase()
{
    QFETCH(QString, stored);
    QFETCH(QString, condition);
    QFETCH(bool, matches);
    OpenSetFixture f(u"select * from userb"_s, false);
    f.set.append();
    f.set.setText(u"users"_s, stored);
    f.set.post();
    QCOMPARE(f.count(u"select count(*) from userb where "_s + condition), matches ? u"1"_s : u"0"_s);
}

// The child half of postedRowSurvivesKill: posts one book, then dies at once.
static int postAndAbort(const QByteArray& home)
{
    qputenv("QINGHE_HOME", home);
    TDataModule2 module;
    RecordSet set(module.Adocon);
    set.setSql(u"select * from baseshu"_s);
    set.open();
    set.append();
    set.setText(u"name"_s, u"断电前的书"_s);
    set.post();
    const rlimit noCore { 0, 0 };
    setrlimit(RLIMIT_CORE, &noCore);
    std::abort();
}

void TestConnection::postedRowSurvivesKill()
{
    LibraryFixture f;
    f.module.reset(); // the child alone holds the file
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({ u"--post-and-abort"_s, f.dir.path() });
    child.start();
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    f.module = std::make_unique<TDataModule2>();
    QCOMPARE(f.count(u"select count(*) from baseshu where name = '断电前的书'"_s), u"1"_s);
}

namespace {

// The SQLite engine as any other program has it: none of this program's collations or functions.
struct StockEngine
{
    explicit StockEngine(const QString& path) { sqlite3_open(QFile::encodeName(path).constData(), &db); }
    ~StockEngine() { sqlite3_close(db); }
    QString operator()(const char* sql) const
    {
        try {
            return Statement::scalar(db, sql);
        } catch (const EDatabaseError& error) {
            return u"error: "_s + QString::fromStdString(error.message());
        }
    }
    sqlite3* db = nullptr;
};

} // namespace

void TestConnection::stockEngineReadsAndWritesTheFile()
{
    LibraryFixture f;
    f.addBook(u"Élan"_s, u"还没读"_s);
    f.db().close();
    {
        StockEngine stock(f.db().databasePath());
        QCOMPARE(stock("select count(*) from baseshu where name = 'élan'"), u"0"_s); // ASCII folding only
        QCOMPARE(stock("select count(*) from baseshu where name = 'ÉLAN'"), u"1"_s);
        stock("insert into baseshu (name) values ('Book')");
        QCOMPARE(stock("select count(*) from baseshu"), u"2"_s);
        QCOMPARE(stock("pragma integrity_check"), u"ok"_s);
        QCOMPARE(stock("pragma user_version"), QString::number(Schema::latestVersion()));
    }
    // The program folds letter case beyond ASCII, unless an index depends on how NOCASE orders.
    QCOMPARE(f.count(u"select count(*) from baseshu where name = 'élan'"_s), u"1"_s);
    f.db().close();
    StockEngine(f.db().databasePath())("create index byname on baseshu (name)");
    QCOMPARE(f.count(u"select count(*) from baseshu where name = 'élan'"_s), u"0"_s);
    f.db().execute(u"insert into baseshu (name) values ('éclair'), ('Zed'), ('apple')"_s);
    f.db().close();
    QCOMPARE(StockEngine(f.db().databasePath())("pragma integrity_check"), u"ok"_s);
}

void TestConnection::olderFilesAreMigratedOnOpen()
{
    LibraryFixture f;
    f.addBook(u"旧书"_s, u"已读完"_s, 1, u"jpg"_s, QByteArray(100000, 'p'));
    f.db().close();
    {
        // Back to the form files had before versions were kept: the program's own
        // collation, e-book texts of 50 characters, an index by that collation.
        Connection old(TDataModule2::defaultConnectionString());
        sqlite3* db = old.handle();
        Statement::execute(db, "pragma writable_schema = on");
        Statement::execute(db,
            "update sqlite_master set sql = replace(sql, 'COLLATE NOCASE', 'COLLATE UNOCASE') where type = 'table'");
        Statement::execute(db, "update sqlite_master set sql = replace(sql, '255', '50') "
                               "where name = 'dzbook'");
        Statement::execute(db, "pragma schema_version = 1000; pragma writable_schema = reset; pragma user_version = 0");
        Statement::execute(db, "create index byname on baseshu (name)");
        QCOMPARE(StockEngine(old.databasePath())("select count(*) from baseshu where name = 'x'"),
            u"error: no such collation sequence: UNOCASE"_s);
    }
    const QString longName(255, u'书');
    f.db().execute(u"insert into dzbook (name, filename) values ('%1', 'x.pdf')"_s.arg(longName));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, f.db().execute(u"insert into dzbook (name) values ('%1x')"_s.arg(longName)));
    QCOMPARE(Schema::version(f.db().handle()), Schema::latestVersion());
    f.db().close();

    StockEngine stock(f.db().databasePath());
    QCOMPARE(stock("select count(*) from sqlite_master where sql like '%UNOCASE%'"), u"0"_s);
    QCOMPARE(stock("select name || length(facepic) from baseshu where name = '旧书'"), u"旧书100000"_s);
    QCOMPARE(stock("select length(name) from dzbook"), u"255"_s);
    QCOMPARE(stock("pragma integrity_check"), u"ok"_s);
}

void TestConnection::categoryNamesAreTrimmedOnOpen()
{
    // Names a category manager of version 1 stored as typed.
    LibraryFixture f;
    f.db().execute(u"delete from tblei"_s);
    f.db().execute(u"insert into tblei (id, leib) values (1, ' 小说 '), (2, '\t诗歌\u3000'), (3, '历史'), (4, null)"_s);
    f.db().execute(u"pragma user_version = 1"_s);
    f.db().close();
    f.db().open();
    QCOMPARE(Schema::version(f.db().handle()), Schema::latestVersion());
    QCOMPARE(f.db().scalar(u"select group_concat(id || '=' || ifnull(leib, 'null'), ',') from tblei"_s),
        u"1=小说,2=诗歌,3=历史,4=null"_s);
}

void TestConnection::engineErrorsInChinese()
{
    LibraryFixture f;
    RecordSet set(f.db());
    set.setSql(u"select * from baseshu"_s);
    set.open();
    set.append();
    set.setText(u"name"_s, QString(300, u'长'));
    try {
        set.post();
        QFAIL("saved");
    } catch (const EDatabaseError& error) {
        QCOMPARE(QString::fromStdString(error.message()), u"“书名”太长：最多 255 个字符。请删减后再保存。"_s);
    }
    // Others say what is wrong in Chinese, the engine's words in brackets.
    QCOMPARE(EngineMessage::of(SQLITE_BUSY, u"database is locked"_s),
        u"书库正被其他程序使用，请稍后再试。(database is locked)"_s);
    QVERIFY(EngineMessage::of(SQLITE_FULL, u"database or disk is full"_s).startsWith(u"磁盘已满"_s));
    QCOMPARE(EngineMessage::of(SQLITE_CONSTRAINT_CHECK, u"CHECK constraint failed: 格式3 最多 255 个字符"_s),
        u"“图片格式”太长：最多 255 个字符。请删减后再保存。"_s);
    // A trigger's own message and faults of a statement stay as they are.
    QCOMPARE(EngineMessage::of(SQLITE_CONSTRAINT_TRIGGER, u"拒绝写入"_s), u"拒绝写入"_s);
}

int main(int argc, char* argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--post-and-abort") == 0)
        return postAndAbort(argv[2]);
    QCoreApplication app(argc, argv);
    TestConnection test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_connection.moc"
