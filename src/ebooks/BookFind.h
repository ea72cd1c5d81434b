#pragma once

// The search behind the viewer's find bar. The places of a text are found by
// the PDF worker (pdfworker/, the "find" job) reading the book's store file, so
// the window's PDF engine only ever draws pages: a page whose text makes the
// engine loop costs a worker, never the window. The search runs as a
// background task (tasks/); what it has found so far is read here on the
// window's thread, page by page, and changed() says when more came.

#include "pdfworker/PdfWorkerClient.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QStringList>
#include <QThreadPool>

#include <memory>

class ThreadTask;

class BookFind : public QObject
{
    Q_OBJECT
public:
    explicit BookFind(QObject* parent = nullptr);
    ~BookFind() override; // ends the worker at once

    // The book searched: its store file and password. An empty file: nothing
    // can be searched. Any search running ends.
    void setSource(const QString& storeFile, const QString& password);
    bool hasSource() const { return !m_storeFile.isEmpty(); }
    void setWorkerSettings(const WorkerSettings& settings) { m_settings = settings; }

    // Searches the first of forms (an empty list: nothing) that occurs on
    // page, else the first form, from page to the end and round; an earlier
    // search ends.
    void start(const QStringList& forms, int page);
    void stop();

    bool isSearching() const { return !m_task.isNull(); }
    // The form searched (known once the first page was looked at).
    QString text() const { return m_text; }
    // Whether page was looked at yet.
    bool searched(int page) const;
    // Every page was looked at.
    bool complete() const { return m_pages >= 0 && m_done >= m_pages; }
    // The matches on page, each its rectangles in points.
    QList<QList<QRectF>> matchesOn(int page) const { return m_matches.value(page); }
    int count() const { return m_count; }

signals:
    // More pages were looked at (or the search ended).
    void changed();

private:
    struct Found;
    void take(const std::shared_ptr<Found>& found);

    WorkerSettings m_settings;
    QThreadPool m_pool;
    QString m_storeFile;
    QString m_password;
    QPointer<ThreadTask> m_task;
    QString m_text;
    int m_first = 0;
    int m_pages = -1; // unknown until the worker says
    int m_done = 0;
    int m_count = 0;
    QHash<int, QList<QList<QRectF>>> m_matches;
};
