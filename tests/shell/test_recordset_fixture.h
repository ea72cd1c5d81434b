#pragma once

// A fresh library in a temporary data folder, for the database tests.

#include "shell/udata.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

struct LibraryFixture
{
    LibraryFixture()
    {
        qputenv("QINGHE_HOME", dir.path().toUtf8());
        module = std::make_unique<TDataModule2>();
    }
    ~LibraryFixture() { qunsetenv("QINGHE_HOME"); }

    Connection& db() { return module->Adocon; }
    QString count(const QString& sql) { return db().scalar(sql); }

    QTemporaryDir dir;
    std::unique_ptr<TDataModule2> module;
};
