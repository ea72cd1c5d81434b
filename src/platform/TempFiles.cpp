#include "platform/TempFiles.h"

#include "Exception.h"
#include "platform/AppPaths.h"

#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QMutex& listLock()
{
    static QMutex lock;
    return lock;
}

// One line per file: its name's bytes, percent-encoded, so that any byte a name may hold fits on a line.
QByteArray lineFor(const QString& path)
{
    return QFile::encodeName(QFileInfo(path).absoluteFilePath()).toPercentEncoding("/") + '\n';
}

QByteArrayList readLines(const QString& list)
{
    QFile file(list);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArrayList lines = file.readAll().split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

bool isPlainFile(const QByteArray& name)
{
    struct stat info
    {
    };
    return ::lstat(name.constData(), &info) == 0 && S_ISREG(info.st_mode);
}

int removeIfPlain(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    return isPlainFile(name) && ::unlink(name.constData()) == 0 ? 1 : 0;
}

} // namespace

namespace TempFiles {

QString listPath()
{
    return AppPaths::path(u"temporaries.list"_s);
}

bool isTemporaryName(const QString& name)
{
    return name.startsWith(u".qinghe-"_s) || (name.startsWith(u'.') && name.endsWith(u".tmp"_s))
        || name.endsWith(u".compacted"_s);
}

void record(const QString& path)
{
    const QMutexLocker locker(&listLock());
    const QByteArray line = lineFor(path);
    const QString list = listPath();
    const int fd = ::open(QFile::encodeName(list).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    bool written = fd >= 0 && ::write(fd, line.constData(), size_t(line.size())) == line.size();
    int error = errno;
    if (written && ::fdatasync(fd) != 0) {
        written = false;
        error = errno;
    }
    if (fd >= 0)
        ::close(fd);
    if (!written)
        throw EFCreateError(u"Cannot create file \"%1\". %2"_s
                                .arg(QDir::toNativeSeparators(list), QString::fromLocal8Bit(std::strerror(error)))
                                .toStdString());
}

void forget(const QString& path)
{
    const QMutexLocker locker(&listLock());
    const QString list = listPath();
    QByteArrayList lines = readLines(list);
    const QByteArray line = lineFor(path).chopped(1);
    if (!lines.removeOne(line))
        return;
    if (lines.isEmpty()) {
        QFile::remove(list);
        return;
    }
    // Replaced whole by a rename: a kill half-way leaves the old list, which names one file too many.
    const QString fresh = list + u".new"_s;
    QFile file(fresh);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        && file.write(lines.join('\n') + '\n') >= 0 && file.flush()) {
        file.close();
        ::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(list).constData());
    }
    QFile::remove(fresh);
}

int removeLeftovers()
{
    const QMutexLocker locker(&listLock());
    const QString list = listPath();
    int removed = 0;
    for (const QByteArray& line : readLines(list)) {
        const QString path = QFile::decodeName(QByteArray::fromPercentEncoding(line));
        if (QDir::isAbsolutePath(path) && isTemporaryName(QFileInfo(path).fileName()))
            removed += removeIfPlain(path);
    }
    QFile::remove(list);
    QFile::remove(list + u".new"_s);

    // The data folder's own scratch files: a compaction's copy, a backup's snapshot.
    const QDir data(AppPaths::dataDir());
    const QStringList scratch = data.entryList(
        { u"Temp.mdb"_s, u"Temp.mdb-*"_s, u"backup-snapshot-*"_s }, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : scratch)
        removed += removeIfPlain(data.filePath(name));
    return removed;
}

Recorded::Recorded(QString path)
    : m_path(std::move(path))
{
    record(m_path);
}

Recorded::~Recorded()
{
    forget(m_path);
}

} // namespace TempFiles
