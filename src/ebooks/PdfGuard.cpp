#include "ebooks/PdfGuard.h"

#include "Quietly.h"
#include "format/EncryptedPdfDevice.h"

#include "data/Schema.h"
#include "data/Sql.h"
#include "data/udata.h"
#include "ebooks/EbookStore.h"
#include "ebooks/PdfProbe.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace {

// The record is a convenience: a library that cannot be written to (read-only,
// being compacted) only means the check runs again next time.
constexpr const char* checkRecord = "PDF check record";

} // namespace

PdfGuard::PdfGuard(Connection& connection)
    : m_connection(connection)
{ }

QString PdfGuard::refusal()
{
    return u"无法打开此文档：文件结构有误"_s;
}

QString PdfGuard::recorded(const QString& storedName)
{
    QString verdict;
    quietly(checkRecord, [&] {
        m_connection.execute(QString::fromLatin1(Schema::pdfCheckTable));
        verdict = m_connection.scalar(u"select verdict from qh_pdfcheck where filename = %1"_s.arg(Sql::quoted(storedName)));
    });
    return verdict;
}

void PdfGuard::record(const QString& storedName, const char* verdict)
{
    quietly(checkRecord, [&] {
        m_connection.execute(QString::fromLatin1(Schema::pdfCheckTable));
        m_connection.execute(u"insert or replace into qh_pdfcheck (filename, verdict, checked) values (%1, '%2', %3)"_s
                .arg(Sql::quoted(storedName), QLatin1String(verdict),
                    Sql::quoted(QDateTime::currentDateTimeUtc().toString(Qt::ISODate))));
    });
}

void PdfGuard::forget(const QString& storedName)
{
    quietly(checkRecord, [&] {
        m_connection.execute(QString::fromLatin1(Schema::pdfCheckTable));
        m_connection.execute(u"delete from qh_pdfcheck where filename = %1"_s.arg(Sql::quoted(storedName)));
    });
}

bool PdfGuard::isSafe(const EbookStore& store, const QString& storedName, const QString& password)
{
    const QString known = recorded(storedName);
    if (known == u"ok"_s)
        return true;
    if (known == u"bad"_s)
        return false;

    // Streamed from the store file as reading does, a part at a time.
    EncryptedPdfDevice plain(store.path(storedName));
    switch (PdfProbe::probe(plain, password)) {
    case PdfProbe::Result::Ok:
        record(storedName, "ok");
        return true;
    case PdfProbe::Result::BadStructure:
        record(storedName, "bad");
        return false;
    case PdfProbe::Result::WrongPassword:
    case PdfProbe::Result::Damaged:
    case PdfProbe::Result::NotChecked:
        break;
    }
    return true;
}
