#pragma once

// The library's one engine layer: a connection to the SQLite library file and
// record sets over it. Everything a window reads or writes goes through here.

#include "data/Connection.h"
#include "data/RecordSet.h"

// Holds the one connection of the program. Created before any window.
// Its constructor makes "data/AccessMng.mdb" with the four tables at a first start
// (no "data/" folder yet), so the program works at once.
class TDataModule2
{
public:
    TDataModule2();
    ~TDataModule2();
    TDataModule2(const TDataModule2&) = delete;
    TDataModule2& operator=(const TDataModule2&) = delete;
    static TDataModule2* instance();
    static QString defaultConnectionString();
    Connection Adocon;
};
