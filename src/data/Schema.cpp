#include "data/Schema.h"

#include "data/Statement.h"
#include "data/TextCompare.h"
#include "platform/FileIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace Schema {
namespace {

    QString text(const QString& column, int length)
    {
        // Declared and enforced: a longer value is refused with a readable message.
        return u"\"%1\" VARCHAR(%2) COLLATE %3 CONSTRAINT \"%1 最多 %2 个字符\" CHECK (length(\"%1\") <= %2)"_s.arg(
            column, QString::number(length), QLatin1String(TextCompare::collationName));
    }

    QString memo(const QString& column)
    {
        return u"\"%1\" TEXT COLLATE %2"_s.arg(column, QLatin1String(TextCompare::collationName));
    }

    QString integer(const QString& column)
    {
        return u"\"%1\" INTEGER"_s.arg(column);
    }
    QString blob(const QString& column)
    {
        return u"\"%1\" BLOB"_s.arg(column);
    }
    QString key(const QString& column)
    {
        return u"\"%1\" INTEGER PRIMARY KEY AUTOINCREMENT"_s.arg(column);
    }

    QString table(const QString& name, const QStringList& columns)
    {
        return u"CREATE TABLE \"%1\" (\n    %2\n);\n"_s.arg(name, columns.join(u",\n    "_s));
    }

    QStringList pictureTags(int length)
    {
        QStringList columns { text(u"格式"_s, length) };
        for (int i = 1; i <= 5; ++i)
            columns << text(u"格式%1"_s.arg(i), length);
        return columns;
    }

    QStringList pictures()
    {
        QStringList columns { blob(u"facepic"_s) };
        for (int i = 1; i <= 5; ++i)
            columns << blob(u"pic%1"_s.arg(i));
        return columns;
    }

    QString ddl()
    {
        constexpr int shortText = 255;
        // Paper books: text columns first, pictures last, so reading the texts
        // of a row never walks the pages of its pictures.
        QStringList baseshu { key(u"id"_s) };
        for (const char* column : { "name", "zuozhe", "publish", "isbn" })
            baseshu << text(QString::fromUtf8(column), shortText);
        baseshu << integer(u"leibie"_s);
        for (const char* column : { "boxbz" })
            baseshu << text(QString::fromUtf8(column), shortText);
        baseshu << memo(u"contentjj"_s);
        for (const char* column : { "place", "isread", "isjie", "jieshumen", "isgo", "gocause", "yuzhong" })
            baseshu << text(QString::fromUtf8(column), shortText);
        baseshu << memo(u"目录"_s) << memo(u"readbiji"_s) << pictureTags(shortText) << pictures();

        // E-books: every column the e-book list binds, in its order; short texts hold as much as the paper books'.
        QStringList dzbook { key(u"ID"_s), text(u"zuozhe"_s, shortText), integer(u"Status"_s) };
        for (const char* column : { "publish", "pubtime", "isbn", "boxbz" })
            dzbook << text(QString::fromUtf8(column), shortText);
        dzbook << memo(u"contentjj"_s);
        for (const char* column : { "place", "isread", "isjie", "jieshumen" })
            dzbook << text(QString::fromUtf8(column), shortText);
        dzbook << memo(u"other"_s) << text(u"isgo"_s, shortText) << text(u"gocause"_s, shortText) << memo(u"readbiji"_s)
               << text(u"name"_s, shortText) << integer(u"leibie"_s) << pictureTags(shortText) << memo(u"目录"_s)
               << text(u"yuzhong"_s, shortText) << text(u"filename"_s, shortText) << pictures();

        QString sql;
        sql += table(u"baseshu"_s, baseshu);
        sql += table(u"dzbook"_s, dzbook);
        sql += table(u"tblei"_s, { key(u"id"_s), text(u"leib"_s, shortText) });
        sql += table(u"userb"_s, { key(u"id"_s), text(u"users"_s, shortText), text(u"password"_s, shortText) });
        sql += table(QLatin1String(metaTable), { u"name TEXT PRIMARY KEY"_s, u"value TEXT"_s });
        sql += QLatin1String(pdfCheckTable) + u";\n"_s;
        sql += QLatin1String(pageLabelsTable) + u";\n"_s;
        sql += QLatin1String(pdfVerdictTable) + u";\n"_s;
        return sql;
    }

    void check(sqlite3* db, int rc, const QString& what)
    {
        if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
            throw EDatabaseError(u"%1: %2"_s.arg(what, QString::fromUtf8(sqlite3_errmsg(db))).toStdString());
    }

    void insert(sqlite3* db, const char* sql, const QStringList& values)
    {
        Statement stmt(db, sql);
        for (int i = 0; i < values.size(); ++i)
            stmt.bind(i + 1, values.at(i));
        stmt.step();
    }

} // namespace

void createDatabase(const QString& path, const QString& password)
{
    const QFileInfo info(path);
    // A folder made here goes again when the file cannot be made, so that the next
    // start is a first start once more.
    const bool newFolder = !QFileInfo::exists(info.absolutePath());
    if (!QDir().mkpath(info.absolutePath()))
        throw EDatabaseError(
            u"无法创建数据库文件夹 %1"_s.arg(QDir::toNativeSeparators(info.absolutePath())).toStdString());
    // The library holds the account and document passwords: the user's alone.
    if (newFolder)
        FileIo::setMode(info.absolutePath(), 0700);

    // Build under a scratch name, then rename: a start that is interrupted
    // half-way never leaves a file without tables behind.
    const QString scratch = path + u".new"_s;
    QFile::remove(scratch);
    FileIo::Descriptor(FileIo::openForWriting(scratch, 0600, true)); // SQLite keeps the bits of the file it opens
    sqlite3* db = nullptr;
    const QByteArray scratchName = scratch.toUtf8();
    int rc = sqlite3_open_v2(scratchName.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    try {
        check(db, rc, u"无法创建数据库文件 %1"_s.arg(QDir::toNativeSeparators(path)));
        check(db, TextCompare::registerOn(db), u"无法创建数据库文件"_s);
        Statement::execute(db, "BEGIN");
        Statement::execute(db, ddl().toUtf8());
        addLoansAndReadingDates(db);
        Statement::execute(db, settingsTable);
        addTrash(db);
        addHistory(db);
        insert(db, "insert into userb (users, password) values (?, ?)",
            { QLatin1String(firstUser), QLatin1String(firstPassword) });
        for (const char* name : { "文学", "历史", "哲学", "科学技术", "艺术", "少儿", "生活", "工具书" })
            insert(db, "insert into tblei (leib) values (?)", { QString::fromUtf8(name) });
        if (!password.isEmpty())
            insert(db, "insert into qinghe_meta (name, value) values ('password', ?)", { password });
        Statement::execute(db, "pragma user_version = " + QByteArray::number(latestVersion()));
        Statement::execute(db, "COMMIT");
    } catch (...) {
        sqlite3_close(db);
        QFile::remove(scratch);
        if (newFolder)
            QDir().rmdir(info.absolutePath());
        throw;
    }
    sqlite3_close(db);
    if (!QFile::rename(scratch, path)) {
        QFile::remove(scratch);
        if (newFolder)
            QDir().rmdir(info.absolutePath());
        throw EDatabaseError(u"无法创建数据库文件 %1"_s.arg(QDir::toNativeSeparators(path)).toStdString());
    }
}

QString storedPassword(sqlite3* db)
{
    // No table of ours: a plain SQLite file without a password.
    if (Statement::scalar(db, "select count(*) from sqlite_master where type = 'table' and name = 'qinghe_meta'")
        == u"0"_s)
        return {};
    return Statement::scalar(db, "select value from qinghe_meta where name = 'password'");
}

} // namespace Schema
