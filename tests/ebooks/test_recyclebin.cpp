// The recycle bin: books and e-books deleted and put back whole (rows column by
// column, store files byte for byte and still enciphered), removed after their
// days, put in order after a crash and after a kill -9 part-way; the earlier
// versions of a book's texts.

#include "data/test_recordset_fixture.h"

#include "data/History.h"
#include "data/ReadingDates.h"
#include "data/Schema.h"
#include "data/Settings.h"
#include "data/Trash.h"
#include "ebooks/EbookStore.h"
#include "ebooks/RecycleBin.h"
#include "format/Companion.h"
#include "platform/AppPaths.h"
#include "search/FieldSearch.h"
#include "search/FindQuery.h"
#include "stats/Statistics.h"

#include <QProcess>
#include <QRandomGenerator>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Every column of a row as the engine quotes it (pictures in hex), or "" when it is not there.
QString rowText(Connection& db, const QString& table, const QStringList& columns, qint64 id)
{
    QStringList quoted;
    for (const QString& column : columns)
        quoted << u"quote(\"%1\")"_s.arg(column);
    return db.scalar(u"select %1 from %2 where id = %3"_s.arg(quoted.join(u" || '|' || "_s), table).arg(id));
}

struct BinFixture : LibraryFixture
{
    BinFixture()
        : store(AppPaths::path(u"corvina"_s))
    {
        QDir().mkpath(store.folder());
    }

    // A paper book with every column filled, pictures included, lent once and out again.
    qint64 fullBook(const QString& name)
    {
        QStringList values;
        for (const QString& column : Schema::bookColumns()) {
            if (column == u"id"_s)
                continue;
            if (column == u"name"_s)
                values << u"'%1'"_s.arg(name);
            else if (column == u"leibie"_s)
                values << u"3"_s;
            else if (column.startsWith(u"pic"_s) || column == u"facepic"_s)
                values << u"randomblob(2000)"_s;
            else if (column == u"isjie"_s)
                values << u"'否'"_s;
            else
                values << u"'%1 的 %2'"_s.arg(name, column);
        }
        QStringList columns = Schema::bookColumns();
        columns.removeFirst();
        db().execute(u"insert into baseshu (\"%1\") values (%2)"_s.arg(columns.join(u"\", \""_s), values.join(u", "_s)));
        const qint64 id = db().scalar(u"select max(id) from baseshu"_s).toLongLong();
        db().execute(u"update baseshu set isjie = '是', jieshumen = '张伟' where id = %1"_s.arg(id));
        db().execute(u"update baseshu set isjie = '否' where id = %1"_s.arg(id));
        db().execute(u"update baseshu set isjie = '是', jieshumen = '李娜' where id = %1"_s.arg(id));
        ReadingDates::write(db(), ReadingDates::Kind::Book, id,
            { QDate(2020, 1, 2), QDate(2021, 3, 4), QDate(2022, 5, 6) });
        return id;
    }

    // An e-book with its store file (random bytes enciphered) and a companion.
    qint64 ebook(const QString& name, QByteArray* plain = nullptr)
    {
        const QByteArray bytes = randomBytes(50000 + QRandomGenerator::global()->bounded(20000));
        if (plain)
            *plain = bytes;
        const QString source = dir.filePath(u"source.pdf"_s);
        writeFile(source, bytes);
        const QString storedName = store.newStoredName();
        store.store(source, storedName);
        writeFile(store.path(Companion::fileName(storedName)), "companion " + storedName.toUtf8());
        db().execute(u"insert into dzbook (name, zuozhe, place, filename, facepic) values ('%1', '作者', 'pw', '%2', "
                     "randomblob(500))"_s.arg(name, storedName));
        const qint64 id = db().scalar(u"select max(ID) from dzbook"_s).toLongLong();
        ReadingDates::write(db(), ReadingDates::Kind::Ebook, id, { QDate(2023, 1, 1), QDate(2023, 2, 2), QDate() });
        return id;
    }

    static QByteArray randomBytes(int size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
        return bytes;
    }

    QString storedName(qint64 id) { return db().scalar(u"select filename from dzbook where ID = %1"_s.arg(id)); }
    Trash::Item only()
    {
        const QList<Trash::Item> items = Trash::items(db());
        if (items.size() != 1)
            qWarning() << "items in the bin:" << items.size();
        return items.value(0);
    }

    EbookStore store;
};

} // namespace

class TestRecycleBin : public QObject
{
    Q_OBJECT
private slots:
    // A paper book deleted the way the editor deletes it (the record set's delete
    // with the bin's copy in its transaction) and put back: every column, its
    // reading dates and its loans are as they were, under its own id.
    void bookComesBackWhole()
    {
        BinFixture f;
        const qint64 id = f.fullBook(u"红楼梦"_s);
        const QString before = rowText(f.db(), u"baseshu"_s, Schema::bookColumns(), id);
        const QString loans = f.count(u"select group_concat(id || borrower || ifnull(returned, '-')) from qh_loans"_s);
        {
            RecordSet editor(f.db());
            editor.setSql(u"select * from baseshu"_s);
            editor.setBeforeRemove([](sqlite3* db, qint64 key) {
                Trash::keep(db, Trash::Kind::Book, key, QDateTime::currentDateTime());
            });
            editor.open();
            editor.remove();
        }
        QCOMPARE(f.count(u"select count(*) from baseshu"_s), u"0"_s);
        const Trash::Item item = f.only();
        QCOMPARE(item.title, u"红楼梦"_s);
        QCOMPARE(item.kind, Trash::Kind::Book);
        QVERIFY(item.rowBytes > 12000); // the six pictures count
        QCOMPARE(item.deleted.date(), QDate::currentDate());

        QCOMPARE(RecycleBin::restore(f.db(), f.store, item), id);
        QCOMPARE(rowText(f.db(), u"baseshu"_s, Schema::bookColumns(), id), before);
        QCOMPARE(ReadingDates::read(f.db(), ReadingDates::Kind::Book, id),
            (ReadingDates { QDate(2020, 1, 2), QDate(2021, 3, 4), QDate(2022, 5, 6) }));
        QCOMPARE(f.count(u"select group_concat(id || borrower || ifnull(returned, '-')) from qh_loans"_s), loans);
        QCOMPARE(f.count(u"select count(*) from qh_loans where book = %1 and title is null"_s.arg(id)), u"2"_s);
        QCOMPARE(f.count(u"select count(*) from qh_trash_books"_s), u"0"_s);
    }

    // A book whose id another row has taken meanwhile comes back under a new one,
    // its loans and history following it and no one else's.
    void bookWhoseIdIsTakenGetsAnotherWithItsLoans()
    {
        BinFixture f;
        const qint64 id = f.fullBook(u"水浒传"_s);
        f.db().execute(u"update baseshu set name = '水浒' where id = %1"_s.arg(id));
        QVERIFY(Trash::remove(f.db(), Trash::Kind::Book, id, QDateTime::currentDateTime()));
        f.db().execute(u"insert into baseshu (id, name, isjie, jieshumen) values (%1, '别的书', '否', '')"_s.arg(id));
        const qint64 back = RecycleBin::restore(f.db(), f.store, f.only());
        QVERIFY(back != id);
        QCOMPARE(f.count(u"select name from baseshu where id = %1"_s.arg(back)), u"水浒"_s);
        QCOMPARE(f.count(u"select group_concat(borrower) from (select borrower from qh_loans where book = %1 order by id)"_s
                           .arg(back)),
            u"张伟,李娜"_s);
        QCOMPARE(f.count(u"select count(*) from qh_loans where book = %1"_s.arg(id)), u"0"_s);
        QCOMPARE(f.count(u"select name from baseshu where id = %1"_s.arg(id)), u"别的书"_s);
        QCOMPARE(History::versions(f.db(), Trash::Kind::Book, back).size(), 1);
        QCOMPARE(f.count(u"select isjie || jieshumen from baseshu where id = %1"_s.arg(back)), u"是李娜"_s);
    }

    // A book whose category went while it was in the bin comes back under 未分类, made when missing.
    void bookWhoseCategoryWentComesBackUncategorised()
    {
        BinFixture f;
        const qint64 id = f.addBook(u"诗经"_s, u"还没读"_s, f.category(u"古籍"_s));
        QVERIFY(Trash::remove(f.db(), Trash::Kind::Book, id, QDateTime::currentDateTime()));
        f.db().execute(u"delete from tblei where leib = '古籍'"_s);
        RecycleBin::restore(f.db(), f.store, f.only());
        QCOMPARE(f.count(u"select c.leib from baseshu b join tblei c on c.id = b.leibie where b.id = %1"_s.arg(id)),
            u"未分类"_s);
        QCOMPARE(History::versions(f.db(), Trash::Kind::Book, id).size(), 0);
    }

    // An e-book's store file and companion move into the bin as they are (still
    // enciphered: the plain bytes are nowhere), and back byte for byte with its row.
    void ebookComesBackWithItsFile()
    {
        BinFixture f;
        QByteArray plain;
        const qint64 id = f.ebook(u"三国演义"_s, &plain);
        const QString name = f.storedName(id);
        const QString before = rowText(f.db(), u"dzbook"_s, Schema::ebookColumns(), id);
        const QByteArray stored = fileBytes(f.store.path(name));
        const QByteArray text = fileBytes(f.store.path(Companion::fileName(name)));

        QVERIFY(RecycleBin::removeEbook(f.db(), f.store, id, QDateTime::currentDateTime()));
        QVERIFY(!QFileInfo::exists(f.store.path(name)));
        QVERIFY(!QFileInfo::exists(f.store.path(Companion::fileName(name))));
        QCOMPARE(fileBytes(f.store.binPath(name)), stored);
        QCOMPARE(fileBytes(f.store.binPath(Companion::fileName(name))), text);
        QVERIFY(!fileBytes(f.store.binPath(name)).contains(plain.left(64)));
        QCOMPARE(QFileInfo(f.store.binFolder()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
            QFileDevice::Permissions());
        const Trash::Item item = f.only();
        QCOMPARE(item.storedName, name);
        QVERIFY(RecycleBin::bytes(f.db(), f.store) >= stored.size());
        // The statistics count the bin apart from the store.
        const LibraryStats stats = Statistics::collect(f.db(), QDate::currentDate(), f.store.folder());
        QCOMPARE(stats.ebooks, qint64(0));
        QCOMPARE(stats.binItems, 1);
        QVERIFY(stats.binBytes >= stored.size() + text.size() + 500);
        QVERIFY(stats.storeBytes < stored.size());

        bool missing = true;
        QCOMPARE(RecycleBin::restore(f.db(), f.store, item, &missing), id);
        QVERIFY(!missing);
        QCOMPARE(rowText(f.db(), u"dzbook"_s, Schema::ebookColumns(), id), before);
        QCOMPARE(fileBytes(f.store.path(name)), stored);
        QCOMPARE(fileBytes(f.store.path(Companion::fileName(name))), text);
        QCOMPARE(QByteArray(f.store.read(name)), plain);
        QCOMPARE(ReadingDates::read(f.db(), ReadingDates::Kind::Ebook, id),
            (ReadingDates { QDate(2023, 1, 1), QDate(2023, 2, 2), QDate() }));
        QVERIFY(f.store.binned().isEmpty());
    }

    // Items past the setting's days go at start with their files; the rest stay.
    void itemsPastTheirDaysArePurged_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("daysAgo");
        QTest::addColumn<bool>("kept");
        QTest::newRow("default, 30 days") << QString() << 30 << true;
        QTest::newRow("default, 31 days") << QString() << 31 << false;
        QTest::newRow("7 days, 8 ago") << u"7"_s << 8 << false;
        QTest::newRow("7 days, 7 ago") << u"7"_s << 7 << true;
        QTest::newRow("0 keeps for ever") << u"0"_s << 4000 << true;
        QTest::newRow("garbled setting: 30") << u"abc"_s << 31 << false;
    }

    void itemsPastTheirDaysArePurged()
    {
        QFETCH(QString, setting);
        QFETCH(int, daysAgo);
        QFETCH(bool, kept);
        BinFixture f;
        if (!setting.isNull())
            Settings::setValue(f.db(), QLatin1String(Trash::daysSetting), setting);
        Clock clock;
        clock.fix(QDate(2026, 12, 10));
        const QDateTime deleted(clock.today().addDays(-daysAgo), QTime(23, 59));
        const qint64 book = f.fullBook(u"书"_s);
        const qint64 ebook = f.ebook(u"电子书"_s);
        const QString name = f.storedName(ebook);
        QVERIFY(Trash::remove(f.db(), Trash::Kind::Book, book, deleted));
        QVERIFY(RecycleBin::removeEbook(f.db(), f.store, ebook, deleted));
        QCOMPARE(RecycleBin::expire(f.db(), f.store, clock.today()), kept ? 0 : 2);
        QCOMPARE(Trash::items(f.db()).size(), kept ? 2 : 0);
        QCOMPARE(QFileInfo::exists(f.store.binPath(name)), kept);
        QCOMPARE(QFileInfo::exists(f.store.binPath(Companion::fileName(name))), kept);
        // Loans of a book removed for good stay in the loans' history under its title.
        QCOMPARE(f.count(u"select count(*) from qh_loans where title = '书'"_s), u"2"_s);
    }

    // 彻底删除 and 清空 remove rows and files; a file another row names stays.
    void purgeAndEmpty()
    {
        BinFixture f;
        const qint64 first = f.ebook(u"一"_s);
        const qint64 second = f.ebook(u"二"_s);
        const QString one = f.storedName(first);
        const QString two = f.storedName(second);
        f.fullBook(u"三"_s);
        QVERIFY(RecycleBin::removeEbook(f.db(), f.store, first, QDateTime::currentDateTime()));
        QVERIFY(RecycleBin::removeEbook(f.db(), f.store, second, QDateTime::currentDateTime()));
        QVERIFY(Trash::remove(f.db(), Trash::Kind::Book, 1, QDateTime::currentDateTime()));
        const auto items = Trash::items(f.db());
        QCOMPARE(items.size(), 3);
        const auto firstItem = std::find_if(items.begin(), items.end(), [&](const auto& i) {
            return i.kind == Trash::Kind::Ebook && i.bookId == first;
        });
        RecycleBin::purge(f.db(), f.store, *firstItem);
        QVERIFY(!QFileInfo::exists(f.store.binPath(one)));
        QVERIFY(QFileInfo::exists(f.store.binPath(two)));
        QCOMPARE(RecycleBin::empty(f.db(), f.store), 2);
        QVERIFY(f.store.binned().isEmpty());
        QVERIFY(Trash::items(f.db()).isEmpty());
    }

    // Whatever a crash left between a row's move and its files', the next start
    // puts the files where their row is; files no row names (a purge cut short) go.
    void tidyPutsFilesWhereTheirRowsAre()
    {
        BinFixture f;
        const qint64 binned = f.ebook(u"在回收站"_s);
        const qint64 back = f.ebook(u"已恢复"_s);
        const qint64 purged = f.ebook(u"已彻底删除"_s);
        const QString a = f.storedName(binned);
        const QString b = f.storedName(back);
        const QString c = f.storedName(purged);
        const QByteArray aBytes = fileBytes(f.store.path(a));
        const QByteArray bBytes = fileBytes(f.store.path(b));
        // Rows moved, files not (or half).
        QVERIFY(Trash::remove(f.db(), Trash::Kind::Ebook, binned, QDateTime::currentDateTime()));
        QVERIFY(f.store.moveToBin(b));
        QVERIFY(f.store.moveToBin(c));
        f.db().execute(u"delete from dzbook where ID = %1"_s.arg(purged));
        QVERIFY(QFile::rename(f.store.binPath(Companion::fileName(b)), f.store.path(Companion::fileName(b))));

        QCOMPARE(RecycleBin::tidy(f.db(), f.store), 3);
        QCOMPARE(fileBytes(f.store.binPath(a)), aBytes);
        QVERIFY(QFileInfo::exists(f.store.binPath(Companion::fileName(a))));
        QCOMPARE(fileBytes(f.store.path(b)), bBytes);
        QVERIFY(QFileInfo::exists(f.store.path(Companion::fileName(b))));
        QVERIFY(!QFileInfo::exists(f.store.binPath(c)));
        QCOMPARE(f.store.binned(), QStringList { a });
        QCOMPARE(RecycleBin::tidy(f.db(), f.store), 0);
    }

    // An e-book deleted and put back by a process killed at any moment is never
    // lost: after the next start's tidy it is in the store or in the bin, whole.
    void killedMidwayLosesNothing()
    {
        BinFixture f;
        QHash<QString, QByteArray> files;
        for (int i = 0; i < 4; ++i) {
            const QString name = f.storedName(f.ebook(u"书%1"_s.arg(i)));
            files.insert(name, fileBytes(f.store.path(name)));
        }
        f.db().close();
        for (int round = 0; round < 8; ++round) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), { u"--bin-forever"_s, f.dir.path() });
            QVERIFY(child.waitForReadyRead(30000));
            QTest::qSleep(QRandomGenerator::global()->bounded(1, 60));
            child.kill();
            QVERIFY(child.waitForFinished(30000));
            RecycleBin::tidy(f.db(), f.store);
            QCOMPARE(f.count(u"select count(*) from dzbook"_s).toInt() + Trash::items(f.db()).size(), 4);
            for (auto it = files.cbegin(); it != files.cend(); ++it) {
                const bool listed = f.count(u"select count(*) from dzbook where filename = '%1'"_s.arg(it.key())) == u"1"_s;
                QCOMPARE(fileBytes(listed ? f.store.path(it.key()) : f.store.binPath(it.key())), it.value());
                QVERIFY(!QFileInfo::exists(listed ? f.store.binPath(it.key()) : f.store.path(it.key())));
            }
            f.db().close();
        }
    }

    // The search box (fields and pinyin) lists nothing that is in the bin, and finds it again once back.
    void searchNeverListsTheBin()
    {
        BinFixture f;
        const qint64 book = f.fullBook(u"红楼梦"_s);
        const qint64 ebook = f.ebook(u"红楼梦注"_s);
        const auto found = [&](const QString& typed) {
            FindQuery query = FindQuery::from(typed);
            FieldSearch::addPinyin(f.db(), query);
            sqlite3* db = FieldSearch::openReadOnly(f.db().databasePath());
            const FindResults results = FieldSearch::run(db, query);
            FieldSearch::closeHandle(db);
            return results.paper.size() + results.ebook.size();
        };
        QCOMPARE(found(u"红楼"_s), 2);
        QCOMPARE(found(u"hlm"_s), 2);
        QVERIFY(Trash::remove(f.db(), Trash::Kind::Book, book, QDateTime::currentDateTime()));
        QVERIFY(RecycleBin::removeEbook(f.db(), f.store, ebook, QDateTime::currentDateTime()));
        QCOMPARE(found(u"红楼"_s), 0);
        QCOMPARE(found(u"hlm"_s), 0);
        QCOMPARE(found(u"李娜"_s), 0); // its borrower
        RecycleBin::restore(f.db(), f.store, Trash::items(f.db()).first());
        QCOMPARE(found(u"hlm"_s), 1);
    }

    // Every change of a book's texts keeps what it replaced, 20 versions at most;
    // pictures and loans make none; a version comes back, and that too is undone.
    void versionsAreKeptAndRestored()
    {
        BinFixture f;
        const qint64 id = f.fullBook(u"原名"_s);
        QCOMPARE(History::versions(f.db(), Trash::Kind::Book, id).size(), 0); // lending made none
        f.db().execute(u"update baseshu set facepic = randomblob(10), \"格式\" = 'png' where id = %1"_s.arg(id));
        f.db().execute(u"update baseshu set contentjj = '多年写下的简介' where id = %1"_s.arg(id));
        f.db().execute(u"update baseshu set contentjj = '覆盖了', name = '新名' where id = %1"_s.arg(id));
        QList<History::Version> versions = History::versions(f.db(), Trash::Kind::Book, id);
        QCOMPARE(versions.size(), 2);
        QCOMPARE(versions[0].changed, (QStringList { u"name"_s, u"contentjj"_s }));
        QCOMPARE(versions[0].values[u"contentjj"_s].toString(), u"多年写下的简介"_s);
        QCOMPARE(versions[0].after[u"name"_s].toString(), u"新名"_s);
        QCOMPARE(versions[1].changed, QStringList { u"contentjj"_s });
        QCOMPARE(versions[1].values[u"leibie"_s].toInt(), 3);

        History::restore(f.db(), Trash::Kind::Book, id, versions[0].id);
        QCOMPARE(f.count(u"select name || '/' || contentjj || '/' || leibie from baseshu where id = %1"_s.arg(id)),
            u"原名/多年写下的简介/3"_s);
        versions = History::versions(f.db(), Trash::Kind::Book, id);
        QCOMPARE(versions.size(), 3);
        QCOMPARE(versions[0].values[u"contentjj"_s].toString(), u"覆盖了"_s);

        // A category deleted since is not written back: the book stays in the one it is in.
        f.db().execute(u"insert into tblei (id, leib) values (90, '旧类'), (91, '新类')"_s);
        f.db().execute(u"update baseshu set leibie = 90 where id = %1"_s.arg(id));
        f.db().execute(u"update baseshu set leibie = 91, name = '再改' where id = %1"_s.arg(id));
        f.db().execute(u"delete from tblei where id = 90"_s);
        History::restore(f.db(), Trash::Kind::Book, id, History::versions(f.db(), Trash::Kind::Book, id).first().id);
        QCOMPARE(f.count(u"select name || '/' || leibie from baseshu where id = %1"_s.arg(id)), u"原名/91"_s);

        for (int i = 0; i < 30; ++i)
            f.db().execute(u"update baseshu set readbiji = '笔记 %1' where id = %2"_s.arg(i).arg(id));
        versions = History::versions(f.db(), Trash::Kind::Book, id);
        QCOMPARE(versions.size(), Schema::historyLimit);
        QCOMPARE(versions.first().values[u"readbiji"_s].toString(), u"笔记 28"_s);
        QCOMPARE(f.count(u"select count(*) from qh_history"_s), u"20"_s);

        // E-books have theirs, the password column among them.
        const qint64 ebook = f.ebook(u"电子书"_s);
        f.db().execute(u"update dzbook set place = 'new', readbiji = '读后' where ID = %1"_s.arg(ebook));
        versions = History::versions(f.db(), Trash::Kind::Ebook, ebook);
        QCOMPARE(versions.size(), 1);
        QCOMPARE(versions[0].changed, (QStringList { u"place"_s, u"readbiji"_s }));
        QCOMPARE(History::label(Trash::Kind::Ebook, u"place"_s), u"文档密码"_s);
        History::restore(f.db(), Trash::Kind::Ebook, ebook, versions[0].id);
        QCOMPARE(f.count(u"select place || ifnull(readbiji, '-') from dzbook where ID = %1"_s.arg(ebook)), u"pw-"_s);
    }

    // A library of the version before gets the bin and the history, and they work.
    void olderLibraryGetsTheBin()
    {
        BinFixture f;
        const qint64 id = f.fullBook(u"旧书"_s);
        f.db().execute(u"drop trigger qh_baseshu_history; drop trigger qh_dzbook_history; drop table qh_history; "
                       "drop table qh_trash_books; drop table qh_trash_ebooks; pragma user_version = 11"_s);
        f.db().close();
        f.db().open();
        QCOMPARE(f.count(u"pragma user_version"_s).toInt(), Schema::latestVersion());
        f.db().execute(u"update baseshu set name = '改名' where id = %1"_s.arg(id));
        QCOMPARE(History::versions(f.db(), Trash::Kind::Book, id).size(), 1);
        QVERIFY(Trash::remove(f.db(), Trash::Kind::Book, id, QDateTime::currentDateTime()));
        QCOMPARE(f.only().title, u"改名"_s);
    }
};

// The child of killedMidwayLosesNothing: deletes e-books into the bin and puts
// them back, at random, until it is killed.
static int binForever(const QByteArray& home)
{
    qputenv("QINGHE_HOME", home);
    TDataModule2 module;
    EbookStore store(AppPaths::path(u"corvina"_s));
    std::fputs("binning\n", stdout);
    std::fflush(stdout);
    for (;;) {
        const QList<Trash::Item> binned = Trash::items(module.Adocon);
        const QString listed = module.Adocon.scalar(u"select group_concat(ID) from dzbook"_s);
        const QStringList ids = listed.split(u',', Qt::SkipEmptyParts);
        if (!ids.isEmpty() && (binned.isEmpty() || QRandomGenerator::global()->bounded(2) == 0))
            RecycleBin::removeEbook(module.Adocon, store,
                ids.at(QRandomGenerator::global()->bounded(int(ids.size()))).toLongLong(),
                QDateTime::currentDateTime());
        else if (!binned.isEmpty())
            RecycleBin::restore(module.Adocon, store, binned.at(QRandomGenerator::global()->bounded(int(binned.size()))));
    }
}

int main(int argc, char* argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--bin-forever") == 0)
        return binForever(argv[2]);
    QCoreApplication app(argc, argv);
    TestRecycleBin test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_recyclebin.moc"
