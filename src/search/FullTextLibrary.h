#pragma once

#include "format/BookText.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// The text inside the e-books: made once per book into its companion file by
// a thread of its own, and read back (decrypted in memory) for searching.
//
// The builder looks at every row of the e-book table: a book whose companion
// is missing is decrypted in memory, its text read page by page and written
// as the companion. A book that cannot be opened with its password is
// skipped and tried again once its password changes.
//
// What searches read is kept in memory for the rest of the run; forget() and
// clear() drop it when the store changes.
class FullTextLibrary : public QObject
{
    Q_OBJECT
public:
    FullTextLibrary(QString storeFolder, QString databasePath, QObject* parent = nullptr);
    ~FullTextLibrary() override;

    // The program's own (set by the main window); null where there is none.
    static FullTextLibrary* current();
    static void setCurrent(FullTextLibrary* library);

    QString storeFolder() const { return m_storeFolder; }

    // Asked on the builder's thread before a book goes to the PDF engine; a
    // book it turns down (one that makes the engine hang) gets no text. The
    // main window sets the program's guard; none lets every book through.
    using LoadCheck = std::function<bool(const QString& storedName, const QString& password)>;
    void setLoadCheck(LoadCheck check) { m_loadCheck = std::move(check); }

    // Looks again for books without a text (after an import, a password
    // change, a restore); the work happens on the builder's thread.
    void refresh();
    // Drops what is kept of one book or of all.
    void forget(const QString& storedName);
    void clear();

    // The text of a stored e-book: from memory, else from its companion.
    // Null when there is no sound companion yet; a refresh is then asked for,
    // so a missing or damaged one is made again. Any thread.
    std::shared_ptr<const BookText> text(const QString& storedName);

    // Why the texts made cannot be kept (the store folder cannot be written,
    // so searches find nothing in the books waiting); empty while none failed. Any thread.
    QString problem() const;

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

private:
    void run();
    void buildAll();
    void build(const QString& storedName, const QString& password);

    const QString m_storeFolder;
    const QString m_databasePath;
    LoadCheck m_loadCheck; // set before the first refresh

    mutable std::mutex m_problemMutex;
    QString m_problem;

    std::mutex m_keptMutex;
    QHash<QString, std::shared_ptr<const BookText>> m_kept;

    std::mutex m_workMutex;
    std::condition_variable m_wake;
    bool m_refreshAsked = false;
    bool m_busy = false;
    std::atomic<bool> m_stop { false };
    std::atomic<int> m_pending { 0 };
    QHash<QString, QString> m_failed; // stored name -> the password it failed with (builder's thread)
    QThread* m_thread = nullptr; // the builder, at the lowest priority the system gives
};
