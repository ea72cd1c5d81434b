#include "widgets/QtChinese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// Texts of Qt's file dialogs that its Chinese translation does not have (file kinds
// moved to a new class, so the translation misses them).
class MissingTexts : public QTranslator
{
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* source, const char* disambiguation, int n) const override
    {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        struct Text
        {
            const char* context;
            const char* source;
            const char16_t* chinese;
        };
        static constexpr Text texts[] = {
            { "QAbstractFileIconProvider", "Folder", u"文件夹" },
            { "QAbstractFileIconProvider", "Drive", u"驱动器" },
            { "QAbstractFileIconProvider", "File", u"文件" },
            { "QAbstractFileIconProvider", "%1 File", u"%1 文件" },
            { "QAbstractFileIconProvider", "File Folder", u"文件夹" },
        };
        for (const Text& text : texts) {
            if (qstrcmp(context, text.context) == 0 && qstrcmp(source, text.source) == 0)
                return QString::fromUtf16(text.chinese);
        }
        return {};
    }

    bool isEmpty() const override { return false; }
};

} // namespace

void QtChinese::install()
{
    // Translators installed later are asked first: Qt's own translation, then ours.
    auto* missing = new MissingTexts(QCoreApplication::instance());
    QCoreApplication::installTranslator(missing);
    auto* qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
}
