#include "widgets/Skin.h"

#include "Exception.h"
#include "platform/DataFolder.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QFont>
#include <QSaveFile>

namespace Skin {

void ensureSkinFile(const QString& path)
{
    if (QFileInfo::exists(path))
        return;
    QFile resource(QStringLiteral(":/skin/skinh.she"));
    if (!resource.open(QIODevice::ReadOnly))
        throw Exception("The built-in skin is missing from this build.");
    const QByteArray bytes = resource.readAll();

    DataFolder::makeFolder(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(bytes) != bytes.size() || !file.commit())
        throw Exception(QStringLiteral("无法写入皮肤文件 \"%1\"：%2").arg(path, file.errorString()).toStdString());
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
