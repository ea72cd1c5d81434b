#pragma once

// An e-book as an import leaves it: its file enciphered in the library's store,
// its row in dzbook.

#include "data/Sql.h"
#include "data/test_recordset_fixture.h"
#include "ebooks/EbookStore.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>

// Returns the stored name.
inline QString listBook(LibraryFixture& f, const QString& title, const QByteArray& pdf)
{
    const EbookStore store(AppPaths::path(QStringLiteral("corvina")));
    QDir().mkpath(store.folder());
    const QString source = f.dir.filePath(QStringLiteral("source.pdf"));
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size())
            return {};
    }
    const QString stored = store.newStoredName();
    store.store(source, stored);
    f.db().execute(QStringLiteral("insert into dzbook (name, filename) values (%1, %2)")
                       .arg(Sql::quoted(title), Sql::quoted(stored)));
    return stored;
}
