#pragma once

// Decodes the stored pictures of the book being shown, off the user-interface thread.
//
// Each load() replaces the one before it: the newest row wins. Pictures still waiting
// for a thread are dropped at once, a picture being decoded is left to finish and its
// result is thrown away, so moving quickly through many books only decodes the book
// where the user stops. Each load is a background task (tasks/BackgroundTask.h)
// that decodes its pictures side by side.

#include "catalogue/BookPictures.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QThreadPool>


class ThreadTask;

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
    // Tests and measurements: blocks until the current load is decoded and reported.
    void settle();

signals:
    void finished(const QList<BookPictures::Decoded>& pictures);

private:
    QThreadPool m_pool;
    QPointer<ThreadTask> m_task;
};
