#include "widgets/Skin.h"

#include "Exception.h"
#include "platform/DataFolder.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QFont>
#include <QSaveFile>

#include <algorithm>

namespace Skin {

namespace {

QByteArray builtInSkin()
{
    QFile resource(QStringLiteral(":/skin/skinh.she"));
    if (!resource.open(QIODevice::ReadOnly))
        throw Exception("The built-in skin is missing from this build.");
    return resource.readAll();
}

// SHA-256 of the skins earlier versions of the program wrote. Such a file, unedited, is
// replaced by the current skin: it made the file dialogs' completer black and unreadable.
bool isEarlierBuiltIn(const QByteArray& bytes)
{
    static const char* const earlier[] = {
        "440ce56322295124af720fe128e4aac2e1012c28787cc512c08ee8f39798deca",
        "edb7c5189279359c3db8ab39e3f837c1098d9cb246ca6a162760e3cde5048b99",
    };
    const QByteArray sum = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    return std::any_of(std::begin(earlier), std::end(earlier), [&](const char* known) { return sum == known; });
}

// In a skin a family has edited, only the rule that made every list see-through (and so
// the completer black) is narrowed to the shelf it was meant for.
QByteArray narrowSeeThroughLists(const QByteArray& bytes)
{
    static const QRegularExpression everyList(
        QStringLiteral("(^|\\n)QListView\\s*\\{\\s*background:\\s*transparent;\\s*border:\\s*none;\\s*\\}"));
    QString text = QString::fromUtf8(bytes);
    if (!text.contains(everyList))
        return bytes;
    text.replace(everyList, QStringLiteral("\\1QListView#ListView1 {\n    background: transparent;\n    border: none;\n}"));
    return text.toUtf8();
}

void write(const QString& path, const QByteArray& bytes)
{
    DataFolder::makeFolder(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(bytes) != bytes.size() || !file.commit())
        throw Exception(QStringLiteral("无法写入皮肤文件 \"%1\"：%2").arg(path, file.errorString()).toStdString());
}

} // namespace

void ensureSkinFile(const QString& path)
{
    if (!QFileInfo::exists(path)) {
        write(path, builtInSkin());
        return;
    }
    QFile existing(path);
    if (!existing.open(QIODevice::ReadOnly))
        return; // attach() leaves the plain look
    const QByteArray bytes = existing.readAll();
    existing.close();
    if (isEarlierBuiltIn(bytes)) {
        write(path, builtInSkin());
        return;
    }
    const QByteArray narrowed = narrowSeeThroughLists(bytes);
    if (narrowed != bytes)
        write(path, narrowed);
}

void attach(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return; // an unreadable skin leaves the plain look; nothing to report
    qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
}

void installFonts()
{
    const QString songti = QStringLiteral("宋体");
    QFont::insertSubstitutions(songti,
                               {QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"),
                                QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Serif CJK SC")});
    QFont font(songti);
    font.setPixelSize(13);
    QApplication::setFont(font);
}

} // namespace Skin
