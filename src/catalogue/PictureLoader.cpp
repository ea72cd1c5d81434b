#include "catalogue/PictureLoader.h"

#include <QtConcurrent/QtConcurrentMap>

PictureLoader::PictureLoader(QObject* parent)
    : QObject(parent)
    , m_latest(std::make_shared<std::atomic<quint64>>(0))
{
    m_pool.setMaxThreadCount(qMax(2, QThread::idealThreadCount()));
}

PictureLoader::~PictureLoader()
{
    cancel();
    m_pool.waitForDone();
}

void PictureLoader::load(QList<Source> sources, QSize panel)
{
    cancel();
    const quint64 generation = ++m_generation;
    m_latest->store(generation);
    std::shared_ptr<std::atomic<quint64>> latest = m_latest;
    auto decode = [latest, generation, panel](const Source& source) {
        if (latest->load() != generation)
            return BookPictures::Decoded {}; // a newer row is being shown
        return BookPictures::decodeStored(source.tag, source.bytes, panel);
    };
    m_watcher = std::make_unique<QFutureWatcher<BookPictures::Decoded>>();
    connect(m_watcher.get(), &QFutureWatcherBase::finished, this, &PictureLoader::report);
    m_watcher->setFuture(QtConcurrent::mapped(&m_pool, std::move(sources), decode));
}

void PictureLoader::cancel()
{
    m_latest->store(++m_generation);
    if (m_watcher) {
        m_watcher->disconnect(this);
        m_watcher->cancel();
        // The watcher goes when its picture being decoded is done; nobody waits for it.
        QFutureWatcher<BookPictures::Decoded>* old = m_watcher.release();
        connect(old, &QFutureWatcherBase::finished, old, &QObject::deleteLater);
        if (old->isFinished())
            old->deleteLater();
    }
}

bool PictureLoader::isBusy() const
{
    return m_watcher != nullptr;
}

void PictureLoader::waitForFinished()
{
    if (!m_watcher)
        return;
    m_watcher->waitForFinished();
    report();
}

void PictureLoader::report()
{
    if (!m_watcher)
        return;
    QFutureWatcher<BookPictures::Decoded>* done = m_watcher.release();
    done->disconnect(this);
    done->deleteLater(); // we may be inside its own signal
    const QList<BookPictures::Decoded> pictures = done->future().results();
    emit finished(pictures);
}
