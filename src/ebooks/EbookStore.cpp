#include "ebooks/EbookStore.h"

#include "crypto/Streams.h"
#include "format/Companion.h"
#include "format/StoreFile.h"
#include "format/StoreNames.h"
#include "platform/FileIo.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <chrono>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

std::string local(const QString& path)
{
    return path.toUtf8().toStdString();
}

// The source as the cipher reads it, counting the bytes and asking whether to go on.
class WatchedStream : public TStream
{
public:
    WatchedStream(TStream& inner, const EbookStore::Progress& progress)
        : m_inner(inner)
        , m_progress(progress)
    { }

    int64_t size() const override { return m_inner.size(); }
    void setSize(int64_t newSize) override { m_inner.setSize(newSize); }
    int64_t position() const override { return m_inner.position(); }
    void setPosition(int64_t pos) override { m_inner.setPosition(pos); }
    int64_t write(const void* buffer, int64_t count) override { return m_inner.write(buffer, count); }
    int64_t read(void* buffer, int64_t count) override
    {
        const int64_t got = m_inner.read(buffer, count);
        report(position());
        return got;
    }

    void report(int64_t done)
    {
        if (m_progress && !m_progress(done, size()))
            throw EImportCancelled();
    }

private:
    TStream& m_inner;
    const EbookStore::Progress& m_progress;
};

// Flushes a file or a folder entry to the disk.
void sync(const std::string& path)
{
    if (const int error = SafeFile::syncToDisk(QString::fromStdString(path)))
        throw EWriteError("Cannot write \"" + path + "\". " + std::strerror(error));
}

// Starts writing the finished part of a file to the disk while the rest is
// still being made, so the flush at its end has little left to wait for.
class Writeback
{
public:
    explicit Writeback(const std::string& path)
        : m_file(FileIo::openForReading(QString::fromUtf8(path)))
    { }
    Writeback(const Writeback&) = delete;
    Writeback& operator=(const Writeback&) = delete;

    void written(int64_t upTo)
    {
        constexpr int64_t step = int64_t(8) << 20;
        if (m_file.isOpen() && upTo - m_started >= step) {
            FileIo::startWriteback(m_file.get(), m_started, upTo - m_started);
            m_started = upTo;
        }
    }

private:
    FileIo::Descriptor m_file;
    int64_t m_started = 0;
};

} // namespace

EbookStore::EbookStore(QString folder)
    : m_folder(std::move(folder))
{ }

QString EbookStore::path(const QString& storedName) const
{
    return m_folder + u'/' + storedName;
}

QString EbookStore::newStoredName(const QSet<QString>& taken) const
{
    // Seeded afresh for every draw; a name already in use is drawn again.
    for (;;) {
        const auto seed = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        QRandomGenerator random(quint64(seed) ^ quint64(QDateTime::currentMSecsSinceEpoch()));
        const QString name = StoreNames::stamped(QDateTime::currentDateTime(), int(random.bounded(10000)));
        if (!taken.contains(name) && !QFile::exists(path(name))
            && !QFile::exists(path(name) + QLatin1String(partSuffix)))
            return name;
    }
}

void EbookStore::store(const QString& source, const QString& storedName, const Progress& progress) const
{
    const std::string target = local(path(storedName));
    const std::string part = target + partSuffix;
    try {
        {
            TFileStream in(local(source), TFileStream::Mode::OpenRead);
            FileIo::Descriptor(FileIo::openForWriting(QString::fromUtf8(part), 0600, false)); // the user's alone
            TFileStream out(part, TFileStream::Mode::Create);
            Writeback writeback(part);
            // The source is read a chunk ahead of what is written: the written part is behind the bytes read.
            int64_t read = 0;
            const Progress watch = [&](qint64 done, qint64 total) {
                writeback.written(read);
                read = done;
                return !progress || progress(done, total);
            };
            WatchedStream watched(in, watch);
            watched.report(0);
            StoreFile::write(watched, out);
            out.close();
        }
        sync(part);
        if (const int error = FileIo::rename(QString::fromUtf8(part), QString::fromUtf8(target)))
            throw EFCreateError("Cannot create file \"" + target + "\". " + std::strerror(error));
        sync(local(m_folder));
    } catch (...) {
        FileIo::remove(QString::fromUtf8(part));
        throw;
    }
}

QByteArray EbookStore::read(const QString& storedName) const
{
    return QByteArray::fromStdString(readOwned(storedName));
}

std::string EbookStore::readOwned(const QString& storedName) const
{
    return StoreFile::readAll(path(storedName));
}

bool EbookStore::remove(const QString& storedName) const
{
    // Only ever a file of the store itself, whatever a row's filename says.
    if (!StoreNames::isPlainName(storedName))
        return false;
    Companion::remove(path(storedName)); // the book's text goes with it
    return QFile::remove(path(storedName));
}

int EbookStore::removeUnfinished(const QDateTime& changedBefore) const
{
    int removed = 0;
    const QDir dir(m_folder);
    for (const QFileInfo& file :
        dir.entryInfoList({ u"*"_s + QLatin1String(partSuffix) }, QDir::Files | QDir::Hidden | QDir::System)) {
        if (file.lastModified() < changedBefore)
            removed += QFile::remove(file.filePath()) ? 1 : 0;
    }
    return removed;
}

int EbookStore::removeStrayCompanions() const
{
    int removed = 0;
    const QDir dir(m_folder);
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files | QDir::Hidden)) {
        QString owner;
        if (Companion::isCompanionName(file.fileName(), &owner) && StoreNames::isStoredName(owner)
            && !QFileInfo::exists(path(owner)))
            removed += QFile::remove(file.filePath()) ? 1 : 0;
    }
    return removed;
}

QStringList EbookStore::unlisted(const QSet<QString>& listed, const QDateTime& changedBefore) const
{
    QStringList found;
    const QDir dir(m_folder);
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
        if (StoreNames::isStoredName(file.fileName()) && !listed.contains(file.fileName()) && file.lastModified() < changedBefore)
            found << file.fileName();
    }
    return found;
}

namespace {

// Renames from -> to (a file missing at from is left as it is); true when to exists afterwards.
bool moveFile(const QString& from, const QString& to)
{
    if (QFileInfo::exists(from) && !QFileInfo::exists(to)) {
        if (!QFile::rename(from, to))
            return false;
        SafeFile::syncToDisk(QFileInfo(from).absolutePath());
        SafeFile::syncToDisk(QFileInfo(to).absolutePath());
    }
    return QFileInfo::exists(to);
}

} // namespace

QString EbookStore::binFolder() const
{
    return m_folder + u'/' + QLatin1String(binName);
}

QString EbookStore::binPath(const QString& storedName) const
{
    return binFolder() + u'/' + storedName;
}

bool EbookStore::moveToBin(const QString& storedName) const
{
    if (!StoreNames::isStoredName(storedName))
        return false;
    if (!QFileInfo(binFolder()).isDir()) {
        if (!QDir().mkpath(binFolder()))
            return false;
        FileIo::setMode(binFolder(), 0700);
        SafeFile::syncToDisk(m_folder);
    }
    moveFile(path(Companion::fileName(storedName)), binPath(Companion::fileName(storedName)));
    return moveFile(path(storedName), binPath(storedName));
}

bool EbookStore::moveFromBin(const QString& storedName) const
{
    if (!StoreNames::isStoredName(storedName))
        return false;
    moveFile(binPath(Companion::fileName(storedName)), path(Companion::fileName(storedName)));
    return moveFile(binPath(storedName), path(storedName));
}

bool EbookStore::removeFromBin(const QString& storedName) const
{
    if (!StoreNames::isStoredName(storedName))
        return false;
    Companion::remove(binPath(storedName));
    const bool removed = !QFileInfo::exists(binPath(storedName)) || QFile::remove(binPath(storedName));
    SafeFile::syncToDisk(binFolder());
    return removed;
}

QStringList EbookStore::binned() const
{
    QStringList found;
    for (const QString& name : QDir(binFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        QString owner = name;
        Companion::isCompanionName(name, &owner);
        if (StoreNames::isStoredName(owner) && !found.contains(owner))
            found << owner;
    }
    return found;
}
