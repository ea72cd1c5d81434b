#include "ebooks/RecycleBin.h"

#include "data/Connection.h"
#include "data/RecordSet.h"
#include "ebooks/EbookStore.h"
#include "format/Companion.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

using namespace Qt::StringLiterals;

namespace RecycleBin {
namespace {

    QSet<QString> listedEbooks(Connection& connection)
    {
        RecordSet rows(connection);
        rows.setSql(u"select filename from dzbook"_s);
        rows.open();
        QSet<QString> names;
        for (int row = 0; row < rows.recordCount(); ++row)
            names.insert(rows.textAt(row, 0));
        return names;
    }

    QString storedNameOf(Connection& connection, qint64 id)
    {
        RecordSet row(connection);
        row.setSql(u"select filename from dzbook where ID = %1"_s.arg(id));
        row.open();
        return row.isEmpty() ? QString() : row.textAt(0, 0);
    }

    qint64 fileBytes(const QString& path)
    {
        return QFileInfo(path).size();
    }

} // namespace

bool removeEbook(Connection& connection, const EbookStore& store, qint64 id, const QDateTime& when)
{
    const QString storedName = storedNameOf(connection, id);
    if (!Trash::remove(connection, Trash::Kind::Ebook, id, when))
        return false;
    if (!storedName.isEmpty())
        store.moveToBin(storedName);
    return true;
}

qint64 restore(Connection& connection, const EbookStore& store, const Trash::Item& item, bool* fileMissing)
{
    const qint64 id = Trash::restore(connection, item.kind, item.trashId);
    bool missing = false;
    if (item.kind == Trash::Kind::Ebook && !item.storedName.isEmpty())
        missing = !store.moveFromBin(item.storedName);
    if (fileMissing)
        *fileMissing = missing;
    return id;
}

void purge(Connection& connection, const EbookStore& store, const Trash::Item& item)
{
    Trash::purge(connection, item.kind, item.trashId);
    if (item.kind == Trash::Kind::Ebook && !item.storedName.isEmpty()
        && !listedEbooks(connection).contains(item.storedName))
        store.removeFromBin(item.storedName);
}

int empty(Connection& connection, const EbookStore& store)
{
    const QList<Trash::Item> all = Trash::items(connection);
    for (const Trash::Item& item : all)
        purge(connection, store, item);
    return int(all.size());
}

int expire(Connection& connection, const EbookStore& store, const QDate& today)
{
    const QList<Trash::Item> old = Trash::expired(connection, today);
    for (const Trash::Item& item : old)
        purge(connection, store, item);
    return int(old.size());
}

int tidy(Connection& connection, const EbookStore& store)
{
    const QList<QString> binnedRows = Trash::storedNames(connection);
    const QSet<QString> inBin(binnedRows.begin(), binnedRows.end());
    const QSet<QString> listed = listedEbooks(connection);
    int changed = 0;
    // Rows in the bin whose files are still in the store (or half moved).
    for (const QString& name : inBin) {
        if (listed.contains(name))
            continue; // an e-book row names it too: the store keeps it
        const bool book = QFileInfo::exists(store.path(name));
        const bool text = QFileInfo::exists(store.path(Companion::fileName(name)));
        if (book || text) {
            store.moveToBin(name);
            ++changed;
        }
    }
    // Files in the bin folder: back to the store when a row there names them, else
    // they stay with their row, else (a purge cut short) they go.
    for (const QString& name : store.binned()) {
        if (inBin.contains(name) && !listed.contains(name))
            continue;
        if (listed.contains(name))
            store.moveFromBin(name);
        else
            store.removeFromBin(name);
        ++changed;
    }
    return changed;
}

qint64 bytes(Connection& connection, const EbookStore& store)
{
    qint64 total = 0;
    for (const Trash::Item& item : Trash::items(connection)) {
        total += item.rowBytes;
        if (item.kind == Trash::Kind::Ebook && !item.storedName.isEmpty())
            total += fileBytes(store.binPath(item.storedName))
                + fileBytes(store.binPath(Companion::fileName(item.storedName)));
    }
    return total;
}

} // namespace RecycleBin
