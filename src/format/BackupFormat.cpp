#include "format/BackupFormat.h"

#include "format/StoreNames.h"
#include "platform/FileIo.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <openssl/evp.h>
#include <sqlite3.h>

#include <locale.h>

using namespace Qt::StringLiterals;

namespace BackupFormat {

bool isStoreFileName(const QString& name)
{
    return StoreNames::isPlainName(name) && !name.endsWith(QLatin1String(StoreNames::partSuffix));
}

void fail(const QString& message)
{
    throw EBackupError(message.toStdString());
}

struct Sha256::Private
{
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
};

Sha256::Sha256()
    : d(std::make_unique<Private>())
{
    EVP_DigestInit_ex(d->ctx, EVP_sha256(), nullptr);
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(d->ctx);
}

void Sha256::add(const char* data, qint64 size)
{
    EVP_DigestUpdate(d->ctx, data, size_t(size));
}

QByteArray Sha256::hex()
{
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(d->ctx, sum, &length);
    return QByteArray(reinterpret_cast<const char*>(sum), int(length)).toHex();
}

void syncFd(int fd, const QString& shown)
{
    if (const int error = FileIo::sync(fd))
        fail(u"无法写入 %1: %2"_s.arg(QDir::toNativeSeparators(shown), FileIo::errorText(error)));
}

void syncPath(const QString& path)
{
    if (const int error = SafeFile::syncToDisk(path))
        fail(u"无法写入 %1: %2"_s.arg(QDir::toNativeSeparators(path), FileIo::errorText(error)));
}

void writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QString temporary = path + u".tmp"_s;
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(bytes) != bytes.size() || !file.flush())
        fail(u"无法写入 %1: %2"_s.arg(QDir::toNativeSeparators(temporary), file.errorString()));
    syncFd(file.handle(), temporary);
    file.close();
    renameDurably(temporary, path);
}

void renameDurably(const QString& from, const QString& to)
{
    if (const int error = FileIo::rename(from, to))
        fail(u"无法把 %1 改名为 %2: %3"_s.arg(
            QDir::toNativeSeparators(from), QDir::toNativeSeparators(to), FileIo::errorText(error)));
    const QString fromDir = QFileInfo(from).absolutePath();
    const QString toDir = QFileInfo(to).absolutePath();
    syncPath(toDir);
    if (fromDir != toDir)
        syncPath(fromDir);
}

Utf8Names::Utf8Names()
    : m_locale(::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr)))
    , m_previous(m_locale ? ::uselocale(static_cast<locale_t>(m_locale)) : nullptr)
{ }

Utf8Names::~Utf8Names()
{
    if (!m_locale)
        return;
    ::uselocale(static_cast<locale_t>(m_previous));
    ::freelocale(static_cast<locale_t>(m_locale));
}

QString scalar(sqlite3* db, const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
        fail(QString::fromUtf8(sqlite3_errmsg(db)));
    QString value;
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail(message);
    return value;
}

} // namespace BackupFormat
