#pragma once

// The guard every load of a stored e-book into the PDF engine passes: reading,
// and the text building of the search. A book is first checked by the PDF
// worker (pdfworker/), a process of its own, so a document that makes the
// engine loop, crash or eat memory costs a worker instead of the window.
//
// What the worker found is kept in qh_pdfverdict, tied to the stored name, the
// store file's size and the worker's version, so later loads cost one lookup.
// A book is set aside ("bad") only when the same failure comes twice; a worker
// that could not start, was killed from outside, or had no processor time on a
// busy machine leaves the book "not checked", tried again next time.
// Only one check of a book runs at a time: whoever asks meanwhile (the reader,
// the text builder) shares its answer.
//
//     PdfGuard guard(connectionString);              // one for the program
//     if (guard.known(storedName, size) == Known::Safe) → load at once
//     else, off the window's thread: guard.check(...)

#include "pdfworker/PdfWorkerClient.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <future>
#include <mutex>

class Connection;

class PdfGuard
{
public:
    enum class Answer
    {
        Safe, // may be loaded
        SetAside, // the same failure twice: never handed to the engine
        NotChecked, // no answer this time (worker missing, killed from outside, machine busy)
        NeedsPassword, // the password is missing or wrong
        Damaged, // the engine refuses it at once
        PasswordTooLong, // refused before any worker saw it
        StoreError, // the store file cannot be read (detail says why)
        Cancelled,
    };
    struct Outcome
    {
        Answer answer = Answer::NotChecked;
        QString detail; // the limit or failure behind it
    };

    enum class Known
    {
        Safe,
        SetAside,
        Unknown,
    };

    explicit PdfGuard(QString connectionString, WorkerSettings settings = WorkerSettings::standard());

    const WorkerSettings& workerSettings() const { return m_settings; }

    // The recorded verdict of a book whose store file has this size: one lookup,
    // for the window's thread.
    Known known(const QString& storedName, qint64 size) const;

    // Checks a book in a worker, or waits for the check of it already running.
    // Blocks: never on the window's thread. `cancel` ends this caller's wait
    // (and the worker, when the check is its own).
    Outcome check(const QString& storeFile, const QString& storedName, const QString& password,
        const PdfWorkerClient::Cancelled& cancelled = {});

    // A deleted book's verdicts go with it.
    static void forget(Connection& connection, const QString& storedName);

    // What the reader shows for a book that is set aside, and for one it could not check now.
    static QString refusal();
    static QString notCheckedMessage();
    static QString passwordTooLongMessage();

private:
    Outcome runCheck(const QString& storeFile, const QString& storedName, qint64 size, const QString& password,
        const PdfWorkerClient::Cancelled& cancelled);

    const QString m_connectionString;
    WorkerSettings m_settings;
    std::mutex m_mutex;
    QHash<QString, std::shared_future<Outcome>> m_running; // by stored name
};
