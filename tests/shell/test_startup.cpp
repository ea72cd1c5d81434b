#include "platform/SystemLocale.h"
#include "shell/Startup.h"
#include "widgets/ErrorHandler.h"
#include "widgets/SizeText.h"
#include "widgets/Skin.h"

#include <QComboBox>
#include <QCompleter>
#include <QDateTime>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <clocale>
#include <cstring>

#include <langinfo.h>

using namespace Qt::StringLiterals;

namespace {

// The average lightness of a widget as drawn (0 black, 255 white).
int lightness(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    qint64 sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += QColor(image.pixel(x, y)).lightness();
    return int(sum / qMax(1, image.width() * image.height()));
}

// LC_ALL as the application object found it.
QByteArray environmentBeforeThreads;

} // namespace

// What start-up prepares before any window: titles without a name appended, Chinese
// dates, sizes and file kinds in Qt's own dialogs, and a skin that keeps popups readable.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void titlesAreExactlyTheCaptions()
    {
        // Qt appends a display name, when one is set, to every title on X11 and Wayland
        // ("提示 — 青禾家庭图书管理系统"). Without one, the display name follows the
        // application's name: so it must follow a name set now.
        const QString name = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(u"probe"_s);
        const QString displayName = QGuiApplication::applicationDisplayName();
        QCoreApplication::setApplicationName(name);
        QCOMPARE(displayName, u"probe"_s);
    }

    void qtTextsDatesAndSizesAreChinese()
    {
        QCOMPARE(QLocale::system().language(), QLocale::Chinese);
        QCOMPARE(QLocale().language(), QLocale::Chinese);
        // The C library and programs started from here keep the user's own settings, given
        // back before the application object (and Qt's threads) existed.
        QCOMPARE(environmentBeforeThreads, QByteArray("C.UTF-8"));
        QCOMPARE(qgetenv("LC_ALL"), QByteArray("C.UTF-8"));
        QCOMPARE(QByteArray(nl_langinfo(CODESET)), QByteArray("UTF-8"));

        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"子文件夹"_s));
        QFile file(dir.filePath(u"书.txt"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(300, 'x'));
        file.close();
        QFileSystemModel model;
        const QModelIndex root = model.setRootPath(dir.path());
        QTRY_COMPARE(model.rowCount(root), 2);
        const QModelIndex folder = model.index(dir.filePath(u"子文件夹"_s));
        const QModelIndex book = model.index(dir.filePath(u"书.txt"_s));
        QCOMPARE(model.data(folder.siblingAtColumn(2)).toString(), u"文件夹"_s);
        const QString size = model.data(book.siblingAtColumn(1)).toString();
        QCOMPARE(size, u"300 字节"_s);
        const QString date = model.data(book.siblingAtColumn(3)).toString();
        const QString month = QLocale::c().monthName(QDate::currentDate().month(), QLocale::ShortFormat);
        QVERIFY2(!date.contains(month), qPrintable(date));

        // Qt's own file dialog gives its columns room for such texts.
        QFileDialog dialog(nullptr, u"导入CSV"_s, dir.path());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QHeaderView* header = dialog.findChild<QTreeView*>(u"treeView"_s)->header();
        QVERIFY(header->sectionSize(1) > header->fontMetrics().horizontalAdvance(u"1023.99 MiB"_s));
        QVERIFY(header->sectionSize(3) > header->fontMetrics().horizontalAdvance(date));
        dialog.reject();

        QCOMPARE(sizeText(3 * 1024 * 1024), u"3.0 MB"_s);
        QCOMPARE(sizeText(qint64(5) * 1024 * 1024 * 1024 + 1), u"5.0 GB"_s);
    }

    void earlierSkinsAreRefreshedAndEditedOnesKept()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"skinh.she"_s);
        QFile builtIn(u":/skin/skinh.she"_s);
        QVERIFY(builtIn.open(QIODevice::ReadOnly));
        const QByteArray current = builtIn.readAll();
        const QByteArray everyList = "QListView {\n    background: transparent;\n    border: none;\n}\n";
        const auto write = [&](const QByteArray& bytes) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
        const auto read = [&] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };

        // A file an earlier version wrote, untouched, becomes the current skin.
        QFile earlier(QStringLiteral(EARLIER_SKIN));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        write(earlier.readAll());
        Skin::ensureSkinFile(path);
        QCOMPARE(read(), current);

        // An edited file keeps the family's rules; only the see-through rule narrows.
        write("QPushButton { color: red; }\n" + everyList + "QMenu { color: blue; }\n");
        Skin::ensureSkinFile(path);
        QCOMPARE(read(),
            QByteArray("QPushButton { color: red; }\nQListView#ListView1 {\n    background: transparent;\n"
                       "    border: none;\n}\nQMenu { color: blue; }\n"));
        Skin::ensureSkinFile(path);
        write("QWidget { }");
        Skin::ensureSkinFile(path);
        QCOMPARE(read(), QByteArray("QWidget { }"));
    }

    void popupsAreReadableUnderTheSkin()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"skinh.she"_s);
        Skin::ensureSkinFile(path);
        Skin::attach(path);

        QWidget window;
        window.resize(400, 300);
        auto* edit = new QLineEdit(&window);
        auto* completer = new QCompleter(new QStringListModel({ u"书房"_s, u"书架"_s, u"书签"_s }, &window), &window);
        edit->setCompleter(completer);
        auto* combo = new QComboBox(&window);
        combo->addItems({ u"还没读"_s, u"正在读"_s, u"已读完"_s });
        combo->move(0, 40);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        completer->setCompletionPrefix(u"书"_s);
        completer->complete();
        QTRY_VERIFY(completer->popup()->isVisible());
        QVERIFY2(lightness(completer->popup()) > 180, "the completer's list is dark");
        completer->popup()->hide();

        combo->showPopup();
        QTRY_VERIFY(combo->view()->isVisible());
        QVERIFY2(lightness(combo->view()) > 150, "the drop-down list is dark");
        combo->hidePopup();

        QMenu menu;
        menu.addAction(u"复制"_s);
        menu.addAction(u"粘贴"_s);
        menu.popup(QPoint(10, 10));
        QTRY_VERIFY(menu.isVisible());
        QVERIFY2(lightness(&menu) > 180, "the menu is dark");
        qApp->setStyleSheet(QString());
    }
};

int main(int argc, char* argv[])
{
    // As the program starts.
    SystemLocale::useForQt("zh_CN.UTF-8");
    environmentBeforeThreads = qgetenv("LC_ALL");
    Application app(argc, argv);
    Startup::prepareApplication();
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_startup.moc"
