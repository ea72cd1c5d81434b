#include "catalogue/Csv.h"

#include "platform/FileIo.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace Csv {

QString field(const QString& text)
{
    const bool quote = text.contains(u',') || text.contains(u'"') || text.contains(u'\r') || text.contains(u'\n');
    if (!quote)
        return text;
    QString quoted = text;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

QString record(const QStringList& fields)
{
    QStringList written;
    written.reserve(fields.size());
    for (const QString& text : fields)
        written << field(text);
    return written.join(u',') + u"\r\n"_s;
}

} // namespace Csv

namespace {

constexpr qint64 chunkSize = 1024 * 1024;

[[noreturn]] void fail(const QString& message)
{
    throw ECsvError(message.toStdString());
}

// Checks UTF-8 a chunk at a time; a sequence cut at the end of a chunk is
// finished by the next one, and one cut by the end of the file is invalid.
class Utf8Check
{
public:
    bool add(const QByteArray& bytes)
    {
        for (const char ch : bytes) {
            const auto b = static_cast<unsigned char>(ch);
            if (m_pending == 0) {
                if (b < 0x80)
                    continue;
                if (b >= 0xC2 && b <= 0xDF)
                    m_pending = 1;
                else if (b >= 0xE0 && b <= 0xEF)
                    m_pending = 2;
                else if (b >= 0xF0 && b <= 0xF4)
                    m_pending = 3;
                else
                    return false;
                m_lead = b;
                m_first = true;
                continue;
            }
            if ((b & 0xC0) != 0x80)
                return false;
            if (m_first) {
                // Overlong forms, surrogates and points past U+10FFFF.
                if ((m_lead == 0xE0 && b < 0xA0) || (m_lead == 0xED && b > 0x9F) || (m_lead == 0xF0 && b < 0x90)
                    || (m_lead == 0xF4 && b > 0x8F))
                    return false;
                m_first = false;
            }
            --m_pending;
        }
        return true;
    }
    bool complete() const { return m_pending == 0; }

private:
    int m_pending = 0;
    unsigned char m_lead = 0;
    bool m_first = false;
};

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

CsvReader::CsvReader(const QString& path)
    : m_path(path)
{
    // Regular files only, checked without waiting: a pipe would block for ever.
    QFile file;
    if (!FileIo::openRegular(file, path))
        fail(u"无法打开文件 %1: %2"_s.arg(shown(path), FileIo::errorText(errno)));
    m_size = file.size();
    const QByteArray head = file.peek(3);
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
        fail(
            u"文件 %1 是 UTF-16 编码的文本，无法导入。请在表格程序中另存为“CSV UTF-8”(或 GB18030/GBK 编码的 CSV) 后再导入。"_s
                .arg(shown(path)));

    // Settle the encoding before the first record is taken: a file valid as
    // UTF-8 from end to end is UTF-8, anything else GB18030.
    Utf8Check check;
    bool valid = true;
    while (valid && !file.atEnd()) {
        const QByteArray bytes = file.read(chunkSize);
        if (bytes.isEmpty() && file.error() != QFileDevice::NoError)
            fail(u"无法读取文件 %1: %2"_s.arg(shown(path), file.errorString()));
        valid = check.add(bytes);
    }
    valid = valid && check.complete();
    if (!valid && head.startsWith("\xEF\xBB\xBF"))
        fail(u"文件 %1 标明是 UTF-8 编码，但其中有不是 UTF-8 的内容 (文件可能已损坏)，无法导入。"_s.arg(shown(path)));
    m_encoding = valid ? u"UTF-8"_s : u"GB18030"_s;
}

void CsvReader::read(
    const std::function<void(const QStringList& fields, qint64 line)>& row, const CsvProgress& progress)
{
    QFile file;
    if (!FileIo::openRegular(file, m_path))
        fail(u"无法打开文件 %1: %2"_s.arg(shown(m_path), FileIo::errorText(errno)));
    const qint64 total = file.size();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QStringDecoder decoder(m_encoding == u"UTF-8"_s ? QStringDecoder(QStringConverter::Utf8)
                                                    : QStringDecoder(m_encoding.toLatin1().constData()));
    if (!decoder.isValid())
        fail(u"无法读取 %1 编码的文本"_s.arg(m_encoding));

    enum class State
    {
        FieldStart,
        Unquoted,
        Quoted,
        QuoteSeen
    };
    State state = State::FieldStart;
    QStringList fields;
    QString text;
    qint64 line = 1;
    qint64 recordLine = 1;
    qsizetype recordChars = 0;
    bool previousCr = false;
    bool first = true;

    const auto endField = [&] {
        fields << text.remove(QChar(0)); // no text of the library holds a NUL character
        text.clear();
        state = State::FieldStart;
    };
    const auto endRecord = [&] {
        endField();
        row(fields, recordLine);
        fields.clear();
        recordChars = 0;
    };

    qint64 done = 0;
    while (!file.atEnd()) {
        const QByteArray bytes = file.read(chunkSize);
        if (bytes.isEmpty() && file.error() != QFileDevice::NoError)
            fail(u"无法读取文件 %1: %2"_s.arg(shown(m_path), file.errorString()));
        hash.addData(bytes);
        done += bytes.size();
        QString chunk = decoder.decode(bytes);
        if (decoder.hasError())
            fail(u"文件 %1 既不是 UTF-8 也不是 GB18030 (GBK) 编码的文本，无法导入。"_s.arg(shown(m_path)));
        if (first && chunk.startsWith(QChar(0xFEFF)))
            chunk.remove(0, 1);
        first = false;

        const QChar* data = chunk.constData();
        const qsizetype size = chunk.size();
        for (qsizetype i = 0; i < size; ++i) {
            // Inside a field: take the run of ordinary characters at once.
            if (state == State::Quoted || state == State::Unquoted) {
                qsizetype end = i;
                if (state == State::Quoted) {
                    for (; end < size && data[end] != u'"'; ++end) {
                        if (data[end] == u'\r' || (data[end] == u'\n' && !previousCr))
                            ++line;
                        previousCr = data[end] == u'\r';
                    }
                } else {
                    while (end < size && data[end] != u',' && data[end] != u'\r' && data[end] != u'\n')
                        ++end;
                    if (end > i)
                        previousCr = false;
                }
                if (end > i) {
                    recordChars += end - i;
                    if (recordChars > maxRecordChars)
                        fail(u"第 %1 行开始的记录太长 (可能少了一个结尾的引号)，无法导入。"_s.arg(recordLine));
                    text.append(data + i, end - i);
                    i = end;
                    if (i == size)
                        break;
                }
            }
            const QChar c = data[i];
            const bool lineBreak = c == u'\r' || c == u'\n';
            if (state == State::FieldStart && fields.isEmpty())
                recordLine = line;
            if (c == u'\r' || (c == u'\n' && !previousCr))
                ++line;
            previousCr = c == u'\r';

            if (++recordChars > maxRecordChars)
                fail(u"第 %1 行开始的记录太长 (可能少了一个结尾的引号)，无法导入。"_s.arg(recordLine));
            switch (state) {
            case State::FieldStart:
                if (c == u'"')
                    state = State::Quoted;
                else if (c == u',')
                    endField();
                else if (lineBreak) {
                    if (!fields.isEmpty())
                        endRecord();
                    recordChars = 0; // a blank line, or the LF of a CRLF
                } else {
                    text += c;
                    state = State::Unquoted;
                }
                break;
            case State::Unquoted:
                if (c == u',')
                    endField();
                else if (lineBreak)
                    endRecord();
                else
                    text += c;
                break;
            case State::Quoted:
                if (c == u'"')
                    state = State::QuoteSeen;
                else
                    text += c;
                break;
            case State::QuoteSeen:
                if (c == u'"') {
                    text += c;
                    state = State::Quoted;
                } else if (c == u',') {
                    endField();
                } else if (lineBreak) {
                    endRecord();
                } else {
                    text += c; // "ab"c: taken as it stands
                    state = State::Unquoted;
                }
                break;
            }
        }
        if (progress && !progress(done, total))
            throw ECsvCancelled("已取消");
    }
    if (state == State::Quoted)
        fail(u"第 %1 行开始的字段少了结尾的引号，文件可能不完整，无法导入。"_s.arg(recordLine));
    if (state != State::FieldStart || !fields.isEmpty())
        endRecord();
    m_sha256 = hash.result();
}
