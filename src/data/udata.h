#pragma once

// The library's one engine layer: a connection to the SQLite library file and
// record sets over it. Everything a window reads or writes goes through here.

#include "data/Clock.h"
#include "data/Connection.h"
#include "data/RecordSet.h"

// Holds the one connection of the program, and the clock its dates are read
// by. Created before any window. Its constructor makes "data/AccessMng.mdb"
// with the four tables at a first start (no "data/" folder yet), so the
// program works at once.
//
// instance() is the program's one global, and it stays: the program is built
// as one data module with one connection that every window's record sets
// share, and the windows the main window makes on demand (the catalogue
// editor, the category manager, the account window, the quick view, the
// details dialog) are made with nothing but their parent. Code below the
// windows never calls instance(): it is handed the Connection (and the store,
// the clock, the day) it works on, so tests drive it with their own.
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
    Clock clock;
};
