#include "catalogue/PictureLoader.h"

#include "tasks/BackgroundTask.h"

#include <QCoreApplication>
#include <QtConcurrent/QtConcurrentMap>

#include <memory>

PictureLoader::PictureLoader(QObject* parent)
    : QObject(parent)
{
    // The load's own thread and those it decodes on.
    m_pool.setMaxThreadCount(qMax(3, QThread::idealThreadCount() + 1));
}

PictureLoader::~PictureLoader()
{
    cancel();
    // The tasks, children of this object, each wait for their work as they go.
}

void PictureLoader::load(QList<Source> sources, QSize panel)
{
    cancel();
    auto pictures = std::make_shared<QList<BookPictures::Decoded>>();
    QThreadPool* pool = &m_pool;
    auto* task = new ThreadTask(
        [sources = std::move(sources), panel, pictures, pool](TaskControl& control) {
            const std::atomic<bool>* cancelled = control.cancelFlag();
            *pictures = QtConcurrent::blockingMapped(pool, sources, [cancelled, panel](const Source& source) {
                if (cancelled->load())
                    return BookPictures::Decoded {}; // a newer row is being shown
                return BookPictures::decodeStored(source.tag, source.bytes, panel);
            });
        },
        this);
    task->setPool(&m_pool);
    m_task = task;
    connect(task, &BackgroundTask::finished, this, [this, task, pictures] {
        if (task != m_task)
            return;
        m_task = nullptr;
        task->deleteLater(); // we are inside its own signal
        if (task->state() == BackgroundTask::State::Succeeded)
            emit finished(*pictures);
    });
    task->start();
}

void PictureLoader::cancel()
{
    if (!m_task)
        return;
    ThreadTask* task = m_task;
    m_task = nullptr;
    // It goes when its picture being decoded is done; nobody waits for it.
    task->cancel();
    if (task->isFinished())
        task->deleteLater();
    else
        task->setAutoDelete(true);
}

bool PictureLoader::isBusy() const
{
    return m_task != nullptr;
}

void PictureLoader::settle()
{
    if (!m_task)
        return;
    m_pool.waitForDone();
    QCoreApplication::sendPostedEvents(m_task);
}
