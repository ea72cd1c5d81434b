#include "data/udata.h"

#include "data/Schema.h"

#include <QFileInfo>
#include <QtGlobal>

using namespace Qt::StringLiterals;

namespace {
TDataModule2* theModule = nullptr;
}

TDataModule2::TDataModule2()
    : Adocon(defaultConnectionString())
{
    theModule = this;
    Adocon.setCreateIfMissing(true);
    // First start (no "data/" folder yet): make the library file now, so the program
    // works at once. A failure here is reported by the first query, which tries again.
    // A folder without its library is an error the first query reports.
    const QString path = Adocon.databasePath();
    if (!QFileInfo::exists(QFileInfo(path).absolutePath())) {
        try {
            Schema::createDatabase(path, Adocon.password());
        } catch (const EDatabaseError& error) {
            qWarning("%s", error.what());
        }
    }
}

TDataModule2::~TDataModule2()
{
    if (theModule == this)
        theModule = nullptr;
}

TDataModule2* TDataModule2::instance()
{
    return theModule;
}

QString TDataModule2::defaultConnectionString()
{
    return u"Provider=Microsoft.Jet.OLEDB.4.0;"
           u"User ID=Admin;"
           u"Data Source=./data/AccessMng.mdb;"
           u"Mode=Share Deny None;"
           u"Extended Properties=\"\";"
           u"Persist Security Info=False;"
           u"Jet OLEDB:System database=\"\";"
           u"Jet OLEDB:Registry Path=\"\";"
           u"Jet OLEDB:Database Password=tovrik;"
           u"Jet OLEDB:Engine Type=5;"
           u"Jet OLEDB:Database Locking Mode=1;"
           u"Jet OLEDB:Global Partial Bulk Ops=2;"
           u"Jet OLEDB:Global Bulk Transactions=1;"
           u"Jet OLEDB:New Database Password=\"\";"
           u"Jet OLEDB:Create System Database=False;"
           u"Jet OLEDB:Encrypt Database=False;"
           u"Jet OLEDB:Don't Copy Locale on Compact=False;"
           u"Jet OLEDB:Compact Without Replica Repair=False;"
           u"Jet OLEDB:SFP=False"_s;
}
