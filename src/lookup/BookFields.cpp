#include "lookup/BookFields.h"

#include <QHash>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace Lookup {
namespace {

    QString resolveEntities(const QString& text)
    {
        static const QRegularExpression entity(u"&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|[a-zA-Z]{2,8});"_s);
        static const QHash<QString, QString> named { { u"amp"_s, u"&"_s }, { u"lt"_s, u"<"_s }, { u"gt"_s, u">"_s },
            { u"quot"_s, u"\""_s }, { u"apos"_s, u"'"_s }, { u"nbsp"_s, u" "_s }, { u"mdash"_s, u"—"_s },
            { u"ndash"_s, u"–"_s }, { u"hellip"_s, u"…"_s }, { u"lsquo"_s, u"‘"_s }, { u"rsquo"_s, u"’"_s },
            { u"ldquo"_s, u"“"_s }, { u"rdquo"_s, u"”"_s }, { u"middot"_s, u"·"_s }, { u"copy"_s, u"©"_s } };
        QString out;
        qsizetype from = 0;
        QRegularExpressionMatchIterator it = entity.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch match = it.next();
            out += QStringView(text).mid(from, match.capturedStart() - from);
            from = match.capturedEnd();
            const QString body = match.captured(1);
            if (body.startsWith(u'#')) {
                bool ok = false;
                const bool hex = body.size() > 1 && (body.at(1) == u'x' || body.at(1) == u'X');
                const uint code = hex ? body.mid(2).toUInt(&ok, 16) : body.mid(1).toUInt(&ok, 10);
                // Surrogates and values beyond Unicode are no characters.
                if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF))
                    out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
            } else {
                out += named.value(body, match.captured(0));
            }
        }
        out += QStringView(text).mid(from);
        return out;
    }

    // Tags out; the ones that end a line or paragraph leave a line break.
    QString withoutTags(const QString& text)
    {
        static const QRegularExpression breaks(u"<\\s*(br|/p|/div|/li)\\b[^>]*>"_s,
            QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression tags(u"<[^>]*>"_s);
        QString out = text;
        out.replace(breaks, u"\n"_s);
        out.remove(tags);
        return out;
    }

    // Control characters (NUL included) out; a tab becomes a blank, line breaks stay.
    QString withoutControls(const QString& text)
    {
        QString out;
        out.reserve(text.size());
        for (QChar c : text) {
            if (c == u'\n')
                out += c;
            else if (c == u'\t' || c == u'\r')
                out += u' ';
            else if (c.category() != QChar::Other_Control && c != QChar(0xFFFE) && c != QChar(0xFFFF))
                out += c;
        }
        return out;
    }

} // namespace

BookFields merge(const QList<const BookFields*>& answers, const QList<const BookFields*>& coverOrder)
{
    BookFields merged;
    const auto first = [&](QString BookFields::* field) {
        for (const BookFields* answer : answers) {
            if (answer && !(answer->*field).isEmpty())
                return answer->*field;
        }
        return QString();
    };
    merged.name = first(&BookFields::name);
    merged.zuozhe = first(&BookFields::zuozhe);
    merged.publish = first(&BookFields::publish);
    merged.contentjj = first(&BookFields::contentjj);
    merged.yuzhong = first(&BookFields::yuzhong);
    for (const BookFields* answer : coverOrder) {
        if (answer && answer->cover.isValid()) {
            merged.cover = answer->cover;
            break;
        }
    }
    return merged;
}

QString cleanLine(const QString& text)
{
    return withoutControls(resolveEntities(withoutTags(text))).simplified();
}

QString cleanMemo(const QString& text)
{
    const QStringList lines = withoutControls(resolveEntities(withoutTags(text))).split(u'\n');
    QStringList kept;
    for (const QString& line : lines) {
        const QString folded = line.simplified();
        if (!folded.isEmpty() || (!kept.isEmpty() && !kept.last().isEmpty()))
            kept << folded;
    }
    while (!kept.isEmpty() && kept.last().isEmpty())
        kept.removeLast();
    return kept.join(u'\n');
}

QString cutTo(const QString& text, qsizetype characters)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isLowSurrogate() && i > 0 && text.at(i - 1).isHighSurrogate())
            continue;
        if (count == characters)
            return text.left(i);
        ++count;
    }
    return text;
}

QString languageName(const QString& code)
{
    static const QHash<QString, QString> names {
        { u"zh"_s, u"中文"_s }, { u"chi"_s, u"中文"_s }, { u"zho"_s, u"中文"_s }, { u"en"_s, u"英文"_s },
        { u"eng"_s, u"英文"_s }, { u"ja"_s, u"日文"_s }, { u"jpn"_s, u"日文"_s }, { u"ko"_s, u"韩文"_s },
        { u"kor"_s, u"韩文"_s }, { u"fr"_s, u"法文"_s }, { u"fre"_s, u"法文"_s }, { u"fra"_s, u"法文"_s },
        { u"de"_s, u"德文"_s }, { u"ger"_s, u"德文"_s }, { u"deu"_s, u"德文"_s }, { u"ru"_s, u"俄文"_s },
        { u"rus"_s, u"俄文"_s }, { u"es"_s, u"西班牙文"_s }, { u"spa"_s, u"西班牙文"_s }, { u"it"_s, u"意大利文"_s },
        { u"ita"_s, u"意大利文"_s }, { u"pt"_s, u"葡萄牙文"_s }, { u"por"_s, u"葡萄牙文"_s },
        { u"la"_s, u"拉丁文"_s }, { u"lat"_s, u"拉丁文"_s }, { u"ar"_s, u"阿拉伯文"_s }, { u"ara"_s, u"阿拉伯文"_s },
        { u"nl"_s, u"荷兰文"_s }, { u"dut"_s, u"荷兰文"_s }, { u"nld"_s, u"荷兰文"_s }, { u"sv"_s, u"瑞典文"_s },
        { u"swe"_s, u"瑞典文"_s }, { u"vi"_s, u"越南文"_s }, { u"vie"_s, u"越南文"_s }, { u"th"_s, u"泰文"_s },
        { u"tha"_s, u"泰文"_s }, { u"mn"_s, u"蒙古文"_s }, { u"mon"_s, u"蒙古文"_s }, { u"bo"_s, u"藏文"_s },
        { u"tib"_s, u"藏文"_s }, { u"bod"_s, u"藏文"_s },
    };
    // "zh-CN", "zh_TW", "/languages/eng": the language part only.
    QString key = code.trimmed().toLower();
    key = key.mid(key.lastIndexOf(u'/') + 1);
    key = key.left(key.indexOf(QRegularExpression(u"[-_]"_s)));
    return names.value(key);
}

BookFields fitted(BookFields fields)
{
    fields.name = cutTo(cleanLine(fields.name), ShortColumn);
    fields.zuozhe = cutTo(cleanLine(fields.zuozhe), ShortColumn);
    fields.publish = cutTo(cleanLine(fields.publish), ShortColumn);
    fields.yuzhong = cutTo(cleanLine(fields.yuzhong), ShortColumn);
    fields.contentjj = cutTo(cleanMemo(fields.contentjj), MemoColumn);
    return fields;
}

} // namespace Lookup
