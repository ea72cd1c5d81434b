#pragma once

// The reading page's PDF worker jobs, run as background tasks (tasks/): the
// check of a book before its first reading, and the outline of the book shown.
// They run on a thread pool of their own, so they never queue behind other
// work. Each answer arrives on the window's thread with the number its start
// returned; an answer for a job that was cancelled or replaced never arrives.
// Cancelling a task ends its worker at once.

#include "ebooks/PdfGuard.h"
#include "ebooks/PdfViewer.h"

#include <QObject>
#include <QPointer>
#include <QThreadPool>

class ThreadTask;

class BookChecks : public QObject
{
    Q_OBJECT
public:
    explicit BookChecks(PdfGuard& guard, QObject* parent = nullptr);
    ~BookChecks() override; // ends every worker at once

    // Checks a book (or joins its check already running); checked() follows.
    // An earlier check of this object is cancelled.
    int startCheck(const QString& storeFile, const QString& storedName, const QString& password);
    // Gives up the running check (its worker is ended).
    void cancelCheck();

    // Reads the outline and page labels of a checked book; outlineRead()
    // follows, empty when the outline is broken. An earlier outline job is cancelled.
    int startOutline(const QString& storeFile, const QString& password);

    // Whether a check, an outline is under way.
    bool checking() const { return !m_check.isNull(); }
    bool readingOutline() const { return !m_outline.isNull(); }

    // The outline in a worker's answer to an outline job; empty for any other.
    static QList<PdfViewer::OutlineEntry> outlineOf(const WorkerResult& result);
    // The book's own page labels in that answer, one a page.
    static QStringList labelsOf(const WorkerResult& result);

signals:
    void checked(int serial, const PdfGuard::Outcome& outcome);
    void outlineRead(int serial, const QList<PdfViewer::OutlineEntry>& entries, const QStringList& labels);

private:
    PdfGuard& m_guard;
    QThreadPool m_pool;
    QPointer<ThreadTask> m_check;
    QPointer<ThreadTask> m_outline;
    int m_serial = 0;
};
