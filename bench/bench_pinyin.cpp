// Pinyin search against the plain title search, over the same books.
//
// A library of TITLES books (default 10,000) with titles drawn from common
// Chinese characters, one in a hundred holding "红楼梦" and one in a hundred
// "水浒传" (whose 浒 and 传 have two readings each), is made in a temporary
// folder, twice: books with a title only, and books catalogued as a household
// does (author, publisher, ISBN, category, place, status, a 200-character
// summary). After the pinyin index is built once (its time is printed), each
// round runs, in turn:
//   plain   the catalogue search for "红楼梦" (the old statement), which finds
//           the same books as the pinyin search for "hlm";
//   pinyin  the catalogue search for "hlm" with the pinyin rule, including the
//           check that brings the index up to date;
// and the same for "水浒传" against "shz".
// Times are the thread's CPU time (the machine is shared; wall time varies with
// the load of others), medians over the rounds; the figures are their ratios
// (goal: at most 1.2). The index build is timed once (goal: at most 1.5 s).
//
//   bench_pinyin [titles] [rounds]        (defaults 10000 and 30)

#include "text/PinyinIndex.h"
#include "data/Schema.h"
#include "data/Sql.h"
#include "data/udata.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString common
    = u"的一是不了人我在有他这中大来上国个到说们为子和你地出道也时年得就那要下以生会自着去之过家学对可里后小么心多天而能好都然没日于起还发成事只作当想看文无开手十用主行方又如前所本见经头面公同三已老从动两长知民样现分将外但身些与高意进把法此实回二理美点月明其种声全工己话儿者向情部正名定女问力机给等几很业最间新什打便位因重被走电四第门相次东政海口使教西再平真听世气信北少关并内加化由却代军产入先山五太水万市眼体别处总才场师书比住员九笑性通目华报立马命张活难神数件安表原车白应路期叫死常提感金何更反合放做系计或司利受光王果亲界及今京务制解各任至清物台象记边共风战干接它许八特觉望直服毛林题建南度统色字请交爱让认算论百吃义科怎元社术结六功指思非流每青管夫连远资队跟带花快条院变联言权往展该领传近留红治决周保达办运武半候七必城父强步完革深区即求品士转量空甚众技轻程告江语英基派满式李息写呢识极令黄德收脸钱党倒未持取设始版双历越史商千片容研像找友孩站广改议形委早房音火际则首单据导影失拿网香似斯专石若兵弟谁校读志飞观争究包组造落视济喜离虽坏兴切府乎"_s;

// Milliseconds of CPU time this thread has used.
double cpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void fill(Connection& connection, int titles, bool catalogued)
{
    sqlite3* db = connection.handle();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    const QByteArray summary = QString(200, u'简').toUtf8();
    const QByteArray sql = catalogued
        ? "insert into baseshu (name, zuozhe, publish, isbn, leibie, contentjj, place, isread, isjie, isgo) "
          "values (?, '曹雪芹', '人民文学出版社', '978-7-02-000220-7', 1, '"
            + summary + "', '书房', '已读完', '否', '否')"
        : QByteArray("insert into baseshu (name) values (?)");
    sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
    QRandomGenerator random(7);
    for (int i = 0; i < titles; ++i) {
        QString title;
        const int length = 3 + int(random.bounded(8));
        for (int c = 0; c < length; ++c)
            title += common.at(random.bounded(common.size()));
        if (i % 100 == 0)
            title.insert(int(random.bounded(title.size())), u"红楼梦"_s);
        else if (i % 100 == 50)
            title.insert(int(random.bounded(title.size())), u"水浒传"_s);
        const QByteArray utf8 = title.toUtf8();
        sqlite3_bind_text(stmt, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

// One catalogue search, as the editor runs it; returns the rows found.
int search(Connection& connection, const QString& text, bool pinyin)
{
    const QString like = u"name like "_s + Sql::quoted(u"%"_s + text + u"%"_s);
    const QString condition = pinyin ? PinyinIndex::condition(connection, like, u"baseshu"_s, text) : like;
    RecordSet set(connection);
    set.setSql(u" select * from baseshu where 1=1  and "_s + condition);
    set.open();
    return set.recordCount();
}

void run(const char* label, int titles, int rounds, bool catalogued)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"AccessMng.mdb"_s);
    Schema::createDatabase(path, u"tovrik"_s);
    Connection connection(u"Data Source=%1;Jet OLEDB:Database Password=tovrik"_s.arg(path));
    fill(connection, titles, catalogued);
    std::printf("== %s: %d books, %d rounds (medians of CPU time)\n", label, titles, rounds);

    double start = cpuMs();
    const int spelled = PinyinIndex::update(connection, u"baseshu"_s);
    std::printf("index build: %d texts (title, author, publisher) spelled in %.1f ms (goal <= 1500)\n", spelled,
        cpuMs() - start);
    start = cpuMs();
    PinyinIndex::update(connection, u"baseshu"_s);
    std::printf("index check, nothing changed: %.3f ms\n", cpuMs() - start);
    // A title changed by plain SQL: the titles are compared, one is spelled again.
    connection.execute(u"update baseshu set name = name || '续' where id = 5"_s);
    start = cpuMs();
    const int respelled = PinyinIndex::update(connection, u"baseshu"_s);
    std::printf("index check after a title change: %.3f ms (%d spelled)\n", cpuMs() - start, respelled);

    struct Pair
    {
        QString plainText, pinyinText;
        std::vector<double> plain, pinyin;
        int plainRows = 0, pinyinRows = 0;
    };
    std::vector<Pair> pairs { { u"红楼梦"_s, u"hlm"_s, {}, {} }, { u"水浒传"_s, u"shz"_s, {}, {} } };
    for (int round = 0; round < rounds; ++round) {
        for (Pair& pair : pairs) {
            double t = cpuMs();
            pair.plainRows = search(connection, pair.plainText, false);
            pair.plain.push_back(cpuMs() - t);
            t = cpuMs();
            pair.pinyinRows = search(connection, pair.pinyinText, true);
            pair.pinyin.push_back(cpuMs() - t);
        }
    }
    for (const Pair& pair : pairs) {
        std::printf("plain  '%s'   %8.2f ms  %d rows\n", qPrintable(pair.plainText), median(pair.plain),
            pair.plainRows);
        std::printf("pinyin '%s'      %8.2f ms  %d rows\n", qPrintable(pair.pinyinText), median(pair.pinyin),
            pair.pinyinRows);
        std::printf("ratio pinyin '%s' / plain '%s': %.2f (goal <= 1.2)\n", qPrintable(pair.pinyinText),
            qPrintable(pair.plainText), median(pair.pinyin) / median(pair.plain));
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int titles = args.size() > 1 ? args[1].toInt() : 10000;
    const int rounds = args.size() > 2 ? args[2].toInt() : 30;
    run("titles only", titles, rounds, false);
    run("catalogued books", titles, rounds, true);
    return 0;
}
