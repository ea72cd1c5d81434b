#include "data/SqliteHandle.h"

#include <sqlite3.h>

void SqliteHandle::close()
{
    sqlite3_close_v2(db);
    db = nullptr;
}
