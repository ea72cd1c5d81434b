#pragma once

#include "format/BookText.h"
#include "pdfworker/PdfWorkerClient.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// The text inside the e-books: made once per book into its companion file by
// a thread of its own, and read back (decrypted in memory) for searching.
//
// The builder looks at every row of the e-book table: a book whose companion
// is missing is read by the PDF worker (pdfworker/), a process of its own at
// idle priority, page by page, and its text written as the companion. The
// builder itself never loads a book. A book that cannot be opened with its
// password is skipped and tried again once its password changes; one that
// makes the worker overrun a limit twice the same way is skipped for the run.
//
// What searches read is kept in memory up to CacheBytes, the least recently
// used text going first; forget() and clear() drop it when the store changes.
class ThreadTask;

class FullTextLibrary : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 CacheBytes = qint64(128) * 1024 * 1024;

    FullTextLibrary(QString storeFolder, QString databasePath, WorkerSettings worker = WorkerSettings::standard(),
        QObject* parent = nullptr);
    ~FullTextLibrary() override; // ends the worker at once

    QString storeFolder() const { return m_storeFolder; }

    // Asked on the builder's thread before a book goes to the worker's engine:
    // the program's PDF guard. None lets every book through.
    enum class LoadAnswer
    {
        Go,
        SetAside, // never: no text for it
        Later, // no answer now (the check could not run): tried again at the next refresh
    };
    // `stop` is set when the library closes: the check ends at once then.
    using LoadCheck = std::function<LoadAnswer(
        const QString& storedName, const QString& password, const PdfWorkerClient::Cancelled& stop)>;
    void setLoadCheck(LoadCheck check) { m_loadCheck = std::move(check); }

    // Looks again for books without a text (after an import, a password
    // change, a restore); the work happens on the builder's thread.
    void refresh();
    // Drops what is kept of one book or of all.
    void forget(const QString& storedName);
    void clear();

    // The text of a stored e-book: from memory, else from its companion.
    // Null when there is no sound companion yet; a refresh is then asked for,
    // so a missing, damaged or oversized one is made again. A companion that
    // cannot be read now is reported (textUnreadable) and left alone. Any thread.
    std::shared_ptr<const BookText> text(const QString& storedName);

    // Why the texts made cannot be kept (the store folder cannot be written,
    // so searches find nothing in the books waiting); empty while none failed. Any thread.
    QString problem() const;
    // What the memory of texts holds now, in bytes; tests set a smaller budget.
    qint64 cachedBytes() const;
    void setCacheBudget(qint64 bytes) { m_cacheBudget = bytes; }

    // The number of books still waiting for their text.
    int pending() const { return m_pending.load(); }
    // Tests: waits until the builder has nothing left to do; false on timeout.
    bool waitUntilIdle(int milliseconds);

signals:
    // From the builder's thread: how many books still wait (0 when done).
    void pendingChanged(int remaining);
    void textBuilt(const QString& storedName);
    // From the builder's thread, the first time a text could not be kept.
    void problemFound(const QString& why);
    // From the thread that read it: a companion that could not be read now.
    void textUnreadable(const QString& storedName, const QString& error);

private:
    struct Kept
    {
        std::shared_ptr<const BookText> text;
        qint64 bytes = 0;
        quint64 used = 0;
    };

    void run();
    void buildAll(PdfWorkerClient& worker);
    void build(PdfWorkerClient& worker, const QString& storedName, const QString& password);
    void keep(const QString& storedName, const std::shared_ptr<const BookText>& text);
    // Writes a book's companion; a failure is reported once (problemFound) and thrown on.
    void keepText(const QString& storePath, const BookText& text);

    const QString m_storeFolder;
    const QString m_databasePath;
    const WorkerSettings m_worker;
    LoadCheck m_loadCheck; // set before the first refresh

    mutable std::mutex m_problemMutex;
    QString m_problem;

    mutable std::mutex m_keptMutex;
    QHash<QString, Kept> m_kept;
    qint64 m_keptBytes = 0;
    quint64 m_uses = 0;
    std::atomic<qint64> m_cacheBudget { CacheBytes };

    std::mutex m_workMutex;
    std::condition_variable m_wake;
    bool m_refreshAsked = false;
    bool m_busy = false;
    std::atomic<bool> m_stop { false };
    std::atomic<int> m_pending { 0 };
    QHash<QString, QString> m_failed; // stored name -> the password it failed with (builder's thread)
    QHash<QString, QString> m_faults; // stored name -> the worker's first overrun (builder's thread)
    QThreadPool m_pool;
    ThreadTask* m_builder = nullptr; // runs run() until the library goes
};
