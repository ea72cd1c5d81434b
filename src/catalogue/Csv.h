#pragma once

#include "Exception.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// A CSV file that cannot be read: the message says why, in words for the user.
class ECsvError : public Exception
{
public:
    using Exception::Exception;
};

// The user stopped a long read.
class ECsvCancelled : public ECsvError
{
public:
    using ECsvError::ECsvError;
};

// Called now and then during a long read with the bytes read so far and the
// file's size; returning false stops the read (ECsvCancelled).
using CsvProgress = std::function<bool(qint64 done, qint64 total)>;

namespace Csv {

// One field as RFC 4180 writes it: in double quotes, each quote doubled, when it
// holds a comma, a quote or a line break; as it stands otherwise.
QString field(const QString& text);
// A record: the fields joined by commas, ended by CRLF.
QString record(const QStringList& fields);

} // namespace Csv

// Reads a CSV file record by record (RFC 4180: quoted fields may hold commas,
// doubled quotes and line breaks; CRLF, LF or CR end a record), without holding
// more than one record in memory.
//
// Text is UTF-8 (with or without a byte-order mark); a file that is not valid
// UTF-8 is read as GB18030 (which includes GBK and GB2312), as the spreadsheet
// programs of Chinese desktops save it. UTF-16 files are refused with a message
// saying which encodings are read.
class CsvReader
{
public:
    // Opens the file and settles its encoding. Throws ECsvError.
    explicit CsvReader(const QString& path);

    QString encoding() const { return m_encoding; } // "UTF-8" or "GB18030"
    qint64 size() const { return m_size; }

    // Calls row for each record with its fields and the line it starts on
    // (1-based). Throws ECsvError for an unreadable file, a quote left open at
    // the end or a record of more than maxRecordChars characters.
    void read(const std::function<void(const QStringList& fields, qint64 line)>& row, const CsvProgress& progress = {});

    // SHA-256 of the bytes the last read() went through.
    QByteArray sha256() const { return m_sha256; }

    static constexpr qsizetype maxRecordChars = 16 * 1024 * 1024;

private:
    QString m_path;
    QString m_encoding;
    qint64 m_size = 0;
    QByteArray m_sha256;
};
