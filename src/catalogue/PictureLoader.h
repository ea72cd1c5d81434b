#pragma once

// Decodes the stored pictures of the book being shown, off the user-interface thread.
//
// Each load() replaces the one before it: the newest row wins. Pictures still waiting
// for a thread are dropped at once, a picture being decoded is left to finish and its
// result is thrown away, so moving quickly through many books only decodes the book
// where the user stops.

#include "catalogue/BookPictures.h"

#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <memory>

class PictureLoader : public QObject
{
    Q_OBJECT
public:
    struct Source
    {
        QString tag;
        QByteArray bytes;
    };

    explicit PictureLoader(QObject* parent = nullptr);
    ~PictureLoader() override;

    // Starts decoding these pictures for panels of this size (in device pixels);
    // finished() reports them in the same order.
    void load(QList<Source> sources, QSize panel);
    // Forgets the load in progress: nothing is reported for it.
    void cancel();
    bool isBusy() const;
    // Blocks until the current load is decoded and reported (for tests and measurements).
    void waitForFinished();

signals:
    void finished(const QList<BookPictures::Decoded>& pictures);

private:
    void report();

    QThreadPool m_pool;
    std::shared_ptr<std::atomic<quint64>> m_latest;
    quint64 m_generation = 0;
    std::unique_ptr<QFutureWatcher<BookPictures::Decoded>> m_watcher;
};
