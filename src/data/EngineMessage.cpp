#include "data/EngineMessage.h"

#include <QHash>
#include <QRegularExpression>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace EngineMessage {
namespace {

    // The fields of the library's columns as the windows name them.
    QString fieldName(const QString& column)
    {
        static const QHash<QString, QString> names {
            { u"name"_s, u"书名"_s },
            { u"zuozhe"_s, u"作者"_s },
            { u"publish"_s, u"出版社"_s },
            { u"pubtime"_s, u"出版时间"_s },
            { u"isbn"_s, u"ISBN"_s },
            { u"yuzhong"_s, u"语种"_s },
            { u"boxbz"_s, u"包装"_s },
            { u"place"_s, u"存放地点"_s },
            { u"isread"_s, u"阅读状态"_s },
            { u"isjie"_s, u"是否借人"_s },
            { u"jieshumen"_s, u"借书人"_s },
            { u"isgo"_s, u"是否出屋"_s },
            { u"gocause"_s, u"出屋原因"_s },
            { u"filename"_s, u"文件名"_s },
            { u"leib"_s, u"类别名称"_s },
            { u"users"_s, u"用户名"_s },
            { u"password"_s, u"密码"_s },
        };
        const QString lower = column.toLower();
        if (lower.startsWith(u"格式"_s))
            return u"图片格式"_s;
        return names.value(lower, column);
    }

    // "CHECK constraint failed: name 最多 255 个字符", the check every short
    // text column of the library carries.
    QString checkFailed(const QString& engineText)
    {
        static const QRegularExpression tooLong(u"CHECK constraint failed: (\\S+) 最多 (\\d+) 个字符"_s);
        const QRegularExpressionMatch match = tooLong.match(engineText);
        if (match.hasMatch())
            return u"“%1”太长：最多 %2 个字符。请删减后再保存。"_s.arg(fieldName(match.captured(1)), match.captured(2));
        return u"内容不符合书库的要求，没有保存。(%1)"_s.arg(engineText);
    }

} // namespace

QString of(sqlite3* db)
{
    return of(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
}

QString of(int extendedCode, const QString& engineText)
{
    switch (extendedCode) {
    case SQLITE_CONSTRAINT_CHECK:
        return checkFailed(engineText);
    case SQLITE_CONSTRAINT_NOTNULL:
        return u"缺少必须填写的内容，没有保存。(%1)"_s.arg(engineText);
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
        return u"书库中已有相同的记录，没有保存。(%1)"_s.arg(engineText);
    default:
        break;
    }
    switch (extendedCode & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return u"书库正被其他程序使用，请稍后再试。(%1)"_s.arg(engineText);
    case SQLITE_READONLY:
        return u"书库文件不能写入，没有保存。请检查文件和所在文件夹是否只读。(%1)"_s.arg(engineText);
    case SQLITE_FULL:
        return u"磁盘已满，没有保存。请腾出磁盘空间后再试。(%1)"_s.arg(engineText);
    case SQLITE_IOERR:
        return u"读写书库文件时出错，请检查磁盘后再试。(%1)"_s.arg(engineText);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return u"书库文件已损坏或不是书库文件，请从备份恢复。(%1)"_s.arg(engineText);
    case SQLITE_CANTOPEN:
        return u"无法打开书库文件，请检查它是否存在、能否读写。(%1)"_s.arg(engineText);
    default:
        // Anything else is a fault of the statement, or a message of our own
        // (a trigger's raise()): the text as it stands.
        return engineText;
    }
}

} // namespace EngineMessage
