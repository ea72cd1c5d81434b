#include "ebooks/PdfGuard.h"

#include "Quietly.h"
#include "data/Connection.h"
#include "data/Schema.h"
#include "data/Sql.h"
#include "pdfworker/WorkerMain.h"

#include <QDateTime>
#include <QFileInfo>

#include <chrono>

using namespace Qt::StringLiterals;

namespace {

const char* const CheckJob = "check";

struct Row
{
    QString verdict;
    QString reason;
};

// The record is a convenience: a library that cannot be written to (read-only,
// being compacted) only means the check runs again next time.
constexpr const char* checkRecord = "PDF check record";

std::optional<Row> findRow(Connection& connection, const QString& storedName, qint64 size)
{
    std::optional<Row> found;
    quietly(checkRecord, [&] {
        connection.execute(QString::fromLatin1(Schema::pdfVerdictTable));
        const QString where = u"from qh_pdfverdict where filename = %1 and job = '%2' and size = %3 and worker = %4"_s.arg(
            Sql::quoted(storedName), QLatin1String(CheckJob), QString::number(size),
            QString::number(PdfWorker::EngineVersion));
        const QString verdict = connection.scalar(u"select verdict "_s + where);
        if (!verdict.isEmpty())
            found = Row { verdict, connection.scalar(u"select reason "_s + where) };
    });
    return found;
}

void record(Connection& connection, const QString& storedName, qint64 size, const QString& verdict, const QString& reason)
{
    quietly(checkRecord, [&] {
        connection.execute(QString::fromLatin1(Schema::pdfVerdictTable));
        connection.execute(
            u"insert or replace into qh_pdfverdict (filename, job, size, worker, verdict, reason, checked) "
            "values (%1, '%2', %3, %4, %5, %6, %7)"_s.arg(Sql::quoted(storedName), QLatin1String(CheckJob),
                QString::number(size), QString::number(PdfWorker::EngineVersion), Sql::quoted(verdict),
                Sql::quoted(reason), Sql::quoted(QDateTime::currentDateTimeUtc().toString(Qt::ISODate))));
    });
}

} // namespace

PdfGuard::PdfGuard(QString connectionString, WorkerSettings settings)
    : m_connectionString(std::move(connectionString))
    , m_settings(std::move(settings))
{
    // The family waits for a check: it runs at the normal priority, in a worker of its own.
    m_settings.idlePriority = false;
}

QString PdfGuard::refusal()
{
    return u"无法打开此文档：文件结构有误"_s;
}

QString PdfGuard::notCheckedMessage()
{
    return u"现在无法检查这本电子书，请稍后再试"_s;
}

QString PdfGuard::passwordTooLongMessage()
{
    return u"文档密码过长，无法打开此文档"_s;
}

PdfGuard::Known PdfGuard::known(const QString& storedName, qint64 size) const
{
    Connection connection(m_connectionString);
    const std::optional<Row> row = findRow(connection, storedName, size);
    if (row && row->verdict == u"ok"_s)
        return Known::Safe;
    if (row && row->verdict == u"bad"_s)
        return Known::SetAside;
    return Known::Unknown;
}

void PdfGuard::forget(Connection& connection, const QString& storedName)
{
    quietly(checkRecord, [&] {
        connection.execute(QString::fromLatin1(Schema::pdfVerdictTable));
        connection.execute(u"delete from qh_pdfverdict where filename = %1"_s.arg(Sql::quoted(storedName)));
    });
}

PdfGuard::Outcome PdfGuard::check(const QString& storeFile, const QString& storedName, const QString& password,
    const PdfWorkerClient::Cancelled& cancelled)
{
    const qint64 size = QFileInfo(storeFile).size();
    for (;;) {
        switch (known(storedName, size)) {
        case Known::Safe:
            return { Answer::Safe, {} };
        case Known::SetAside:
            return { Answer::SetAside, {} };
        case Known::Unknown:
            break;
        }
        std::shared_future<Outcome> running;
        std::promise<Outcome> mine;
        {
            const std::lock_guard lock(m_mutex);
            if (const auto found = m_running.constFind(storedName); found != m_running.constEnd()) {
                running = *found;
            } else {
                running = mine.get_future().share();
                m_running.insert(storedName, running);
                running = {};
            }
        }
        if (!running.valid()) {
            Outcome outcome { Answer::NotChecked, {} };
            try {
                outcome = runCheck(storeFile, storedName, size, password, cancelled);
            } catch (...) {
                outcome = { Answer::NotChecked, u"failed"_s };
            }
            {
                const std::lock_guard lock(m_mutex);
                m_running.remove(storedName);
            }
            mine.set_value(outcome);
            return outcome;
        }
        // Another caller's check of the same book: its answer is ours, unless
        // it was given up (cancelled, or for another password) - then ours runs.
        while (running.wait_for(std::chrono::milliseconds(PdfWorkerClient::WaitSliceMs)) != std::future_status::ready)
            if (cancelled && cancelled())
                return { Answer::Cancelled, {} };
        const Outcome shared = running.get();
        if (shared.answer != Answer::Cancelled && shared.answer != Answer::NeedsPassword)
            return shared;
    }
}

PdfGuard::Outcome PdfGuard::runCheck(const QString& storeFile, const QString& storedName, qint64 size,
    const QString& password, const PdfWorkerClient::Cancelled& cancelled)
{
    PdfWorkerClient worker(m_settings);
    Connection connection(m_connectionString);
    const auto settle = [&](const WorkerResult& result) -> std::optional<Outcome> {
        switch (result.end) {
        case WorkerEnd::Done: {
            const QString word = result.result();
            if (word == u"ok"_s) {
                record(connection, storedName, size, u"ok"_s, QString());
                return Outcome { Answer::Safe, {} };
            }
            return Outcome { word == u"password"_s ? Answer::NeedsPassword : Answer::Damaged, {} };
        }
        case WorkerEnd::Failed:
            return Outcome { Answer::StoreError, result.body.value(u"reason"_s).toString() };
        case WorkerEnd::Cancelled:
            return Outcome { Answer::Cancelled, {} };
        case WorkerEnd::PasswordTooLong:
            return Outcome { Answer::PasswordTooLong, {} };
        case WorkerEnd::CannotStart:
        case WorkerEnd::KilledOutside:
        case WorkerEnd::Busy:
            return Outcome { Answer::NotChecked, result.limitName() };
        default:
            return std::nullopt; // a fault of the engine
        }
    };

    const WorkerResult first = worker.run(WorkerJob::check(storeFile, password), {}, cancelled);
    if (const std::optional<Outcome> settled = settle(first))
        return *settled;
    const QString reason = first.limitName();
    qWarning("PDF check of %s: %s", qPrintable(storedName), qPrintable(reason));
    const std::optional<Row> before = findRow(connection, storedName, size);
    if (!before || before->verdict != u"strike"_s || before->reason != reason) {
        // Once is not enough to judge a book: a one-off (memory short for a
        // moment) passes the second time.
        const WorkerResult second = worker.run(WorkerJob::check(storeFile, password), {}, cancelled);
        if (const std::optional<Outcome> settled = settle(second))
            return *settled;
        if (second.limitName() != reason) {
            record(connection, storedName, size, u"strike"_s, second.limitName());
            return { Answer::NotChecked, second.limitName() };
        }
    }
    record(connection, storedName, size, u"bad"_s, reason);
    return { Answer::SetAside, reason };
}
