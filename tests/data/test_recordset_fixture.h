#pragma once

// A fresh library in a temporary data folder, for the database tests.

#include "data/udata.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

struct LibraryFixture
{
    LibraryFixture()
    {
        qputenv("QINGHE_HOME", dir.path().toUtf8());
        module = std::make_unique<TDataModule2>();
    }
    ~LibraryFixture()
    {
        module.reset();
        qunsetenv("QINGHE_HOME");
    }

    Connection& db() { return module->Adocon; }
    QString count(const QString& sql) { return db().scalar(sql); }

    // A paper book, stored as the windows store one; returns its id.
    qint64 addBook(const QString& name, const QString& status, std::optional<qint64> category = {},
        const QString& tag = {}, const QByteArray& cover = {})
    {
        RecordSet books(db());
        books.setSql(QStringLiteral("select * from baseshu where 1=0"));
        books.open();
        books.append();
        books.setText(QStringLiteral("name"), name);
        books.setText(QStringLiteral("isread"), status);
        books.setInteger(QStringLiteral("leibie"), category);
        books.setText(QStringLiteral("格式"), tag);
        if (!cover.isEmpty())
            books.setBytes(QStringLiteral("facepic"), cover);
        books.post();
        return *books.asInteger(QStringLiteral("id"));
    }

    // The id of the first category of that name, added when there is none.
    qint64 category(const QString& name)
    {
        RecordSet set(db());
        set.setSql(QStringLiteral("select * from tblei"));
        set.open();
        if (!set.locate(QStringLiteral("leib"), name)) {
            set.append();
            set.setText(QStringLiteral("leib"), name);
            set.post();
        }
        return *set.asInteger(QStringLiteral("id"));
    }

    QTemporaryDir dir;
    std::unique_ptr<TDataModule2> module;
};

// The fixture with a record set opened on a statement; by default on the three
// books A, B, C (ids 1..3): A unread in category 1, B being read without a
// category, C with an odd reading status in category 2.
struct OpenSetFixture : LibraryFixture
{
    explicit OpenSetFixture(const QString& sql = QStringLiteral("select * from baseshu"), bool books = true)
        : set(db())
    {
        if (books)
            db().execute(QStringLiteral("insert into baseshu (name, isread, leibie) values ('A', '还没读', 1), "
                                        "('B', '正在读', NULL), ('C', '看了一半', 2)"));
        set.setSql(sql);
        set.open();
    }

    RecordSet set;
};
