#include "catalogue/BatchStack.h"

#include "data/Connection.h"
#include "data/Isbn.h"
#include "data/Statement.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

QStringList BatchStack::splitInput(const QString& text)
{
    static const QRegularExpression separators(u"[\\r\\n,;，；、]+"_s);
    static const QRegularExpression blanks(u"\\s+"_s);
    QStringList isbns;
    for (const QString& part : text.split(separators, Qt::SkipEmptyParts)) {
        const QString line = part.trimmed();
        if (line.isEmpty())
            continue;
        // "9787020002207 9780451526533": several ISBNs; "978 7 02 000220 7": one.
        const QStringList words = line.split(blanks, Qt::SkipEmptyParts);
        bool several = words.size() > 1;
        for (const QString& word : words)
            several = several && Isbn::isbn13(word).has_value();
        if (several)
            isbns << words;
        else
            isbns << line;
    }
    return isbns;
}

QSet<QString> BatchStack::ownedKeys(Connection& connection)
{
    QSet<QString> keys;
    Statement rows(connection.handle(), "select isbn from baseshu where isbn is not null and isbn <> ''");
    while (rows.step())
        keys.insert(Isbn::key(rows.text(0)));
    return keys;
}

QString BatchStack::stateText(State state)
{
    switch (state) {
    case State::Pending:
        return u"查询中"_s;
    case State::Found:
        return u"找到"_s;
    case State::NotFound:
        return u"未找到"_s;
    case State::Owned:
        return u"已有此书"_s;
    case State::Invalid:
        break;
    }
    return u"无效ISBN"_s;
}

QString BatchStack::key(const QString& isbn13) const
{
    return Isbn::key(isbn13);
}

int BatchStack::add(const QString& typed)
{
    Row row;
    row.typed = typed.trimmed();
    const std::optional<QString> digits = Isbn::isbn13(row.typed);
    if (!digits) {
        row.state = State::Invalid;
        row.lookedUp = true;
    } else {
        row.isbn13 = *digits;
        bool inStack = false;
        for (const Row& other : m_rows)
            inStack = inStack || other.isbn13 == row.isbn13;
        row.state = inStack || m_owned.contains(key(row.isbn13)) ? State::Owned : State::Pending;
    }
    m_rows << row;
    return int(m_rows.size()) - 1;
}

void BatchStack::remove(int index)
{
    if (index >= 0 && index < m_rows.size())
        m_rows.removeAt(index);
}

int BatchStack::rowOfTicket(int ticket) const
{
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).ticket == ticket && !m_rows.at(i).lookedUp)
            return i;
    }
    return -1;
}

void BatchStack::answer(int index, bool found, const Lookup::BookFields& fields, const QByteArray& coverJpeg,
    const QImage& thumbnail, const QString& note)
{
    Row& row = m_rows[index];
    row.lookedUp = true;
    row.ticket = 0;
    row.note = note;
    if (found) {
        // What the family typed into the row meanwhile stays.
        if (row.fields.name.isEmpty())
            row.fields.name = fields.name;
        if (row.fields.zuozhe.isEmpty())
            row.fields.zuozhe = fields.zuozhe;
        row.fields.publish = fields.publish;
        row.fields.contentjj = fields.contentjj;
        row.fields.yuzhong = fields.yuzhong;
        row.coverJpeg = coverJpeg;
        row.thumbnail = thumbnail;
    }
    if (row.state == State::Pending)
        row.state = found ? State::Found : State::NotFound;
}

bool BatchStack::willAdd(int index) const
{
    const Row& row = m_rows.at(index);
    const bool named = !row.fields.name.trimmed().isEmpty();
    switch (row.state) {
    case State::Found:
    case State::NotFound:
        return named;
    case State::Owned:
        return row.addAgain && row.lookedUp && named;
    case State::Pending:
    case State::Invalid:
        break;
    }
    return false;
}

int BatchStack::countWillAdd() const
{
    int count = 0;
    for (int i = 0; i < m_rows.size(); ++i)
        count += willAdd(i) ? 1 : 0;
    return count;
}

BatchStack::Added BatchStack::addTo(
    Connection& connection, std::optional<qint64> category, const QString& place, const QString& status)
{
    sqlite3* db = connection.handle();
    QList<int> taken;
    Added result;
    for (int i = 0; i < m_rows.size(); ++i) {
        if (willAdd(i)) {
            taken << i;
            continue;
        }
        const Row& row = m_rows.at(i);
        QString why = stateText(row.state);
        if (row.state == State::Owned && row.addAgain)
            why = u"没有书名"_s;
        else if (row.state == State::NotFound)
            why = u"未找到，也没有填写书名"_s;
        result.leftOut << u"%1（%2）"_s.arg(row.typed, why);
    }
    inTransaction(db, [&] {
        Statement insert(db,
            "insert into baseshu (name, zuozhe, publish, isbn, contentjj, yuzhong, leibie, place, isread, isjie, isgo,"
            " facepic, \"格式\") values (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, '否', '否', ?10, ?11)");
        const auto text = [](const QString& value) { return value.isEmpty() ? QVariant() : QVariant(value); };
        for (int i : taken) {
            const Row& row = m_rows.at(i);
            const Lookup::BookFields fields = Lookup::fitted(row.fields);
            insert.reset();
            insert.bind(1, fields.name);
            insert.bind(2, text(fields.zuozhe));
            insert.bind(3, text(fields.publish));
            insert.bind(4, row.isbn13);
            insert.bind(5, text(fields.contentjj));
            insert.bind(6, text(fields.yuzhong));
            insert.bind(7, category ? QVariant(*category) : QVariant());
            insert.bind(8, text(Lookup::cutTo(place.trimmed(), Lookup::ShortColumn)));
            insert.bind(9, status);
            insert.bind(10, row.coverJpeg.isEmpty() ? QVariant() : QVariant(row.coverJpeg));
            insert.bind(11, row.coverJpeg.isEmpty() ? QVariant() : QVariant(u"jpg"_s));
            insert.step();
        }
    });
    for (auto it = taken.crbegin(); it != taken.crend(); ++it) {
        m_owned.insert(key(m_rows.at(*it).isbn13));
        m_rows.removeAt(*it);
    }
    result.added = int(taken.size());
    return result;
}
