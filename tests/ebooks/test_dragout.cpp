#include "widgets/GuiFixture.h"

#include "crypto/AES.h"
#include "ebooks/DragCopy.h"
#include "ebooks/DragOut.h"

#include <QDrag>
#include <optional>
#include <QFile>
#include <QMimeData>
#include <QUrl>

using namespace Qt::StringLiterals;

class TestDragOut : public QObject
{
    Q_OBJECT

private slots:
    void startRule_data()
    {
        QTest::addColumn<QPoint>("move");
        QTest::addColumn<bool>("starts");
        QTest::newRow("4 and 4") << QPoint(4, 4) << false;
        QTest::newRow("-4 and -4") << QPoint(-4, -4) << false;
        QTest::newRow("5 right") << QPoint(5, 0) << true;
        QTest::newRow("5 up") << QPoint(0, -5) << true;
    }
    void startRule()
    {
        QFETCH(QPoint, move);
        QFETCH(bool, starts);
        const QPoint press(100, 40);
        QCOMPARE(DragOut::exceedsStartDistance(press, press + move), starts);
    }

    // Starts the drag (its copy is made in the background) and waits for its end.
    static Qt::DropAction drag(
        QWidget* source, const std::shared_ptr<DragCopy>& copies, const QString& store, const QString& name)
    {
        std::optional<Qt::DropAction> action;
        DragOut::startDrag(source, copies, store, name, [&](Qt::DropAction a) { action = a; });
        if (!QTest::qWaitFor([&] { return action.has_value(); }, 20000))
            return Qt::TargetMoveAction; // never ended
        return *action;
    }

    void dragsTheDecryptedCopyMoveOnly()
    {
        GuiFixture f;
        QDir(f.dir.path()).mkdir(u"temp"_s);
        const QString plain = f.dir.filePath(u"plain"_s);
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.4 decrypted");
        file.close();
        const QString store = f.dir.filePath(u"store"_s);
        AesEncryptFile(plain.toStdString(), store.toStdString(), kEbookKey, 2);
        const auto copies = std::make_shared<DragCopy>(f.dir.filePath(u"temp"_s));
        QCOMPARE(copies->path(u"abc"_s), f.dir.filePath(u"temp/abc.pdf"_s));

        QWidget grid;
        grid.show();
        QList<QUrl> urls;
        bool marked = false;
        Qt::DropActions supported;
        QByteArray content;
        DragOut::setExecFunction([&](QDrag* drag, Qt::DropActions actions, Qt::DropAction) {
            urls = drag->mimeData()->urls();
            marked = drag->mimeData()->hasFormat(DragOut::ownDragFormat());
            supported = actions;
            QFile copy(urls.value(0).toLocalFile());
            content = copy.open(QIODevice::ReadOnly) ? copy.readAll() : QByteArray();
            return Qt::IgnoreAction; // cancelled or refused: no one took the copy
        });
        QCOMPARE(drag(&grid, copies, store, u"书"_s), Qt::IgnoreAction);
        DragOut::setExecFunction({});
        QCOMPARE(urls, QList<QUrl> { QUrl::fromLocalFile(f.dir.filePath(u"temp/书.pdf"_s)) });
        QVERIFY(marked);
        QCOMPARE(supported, Qt::DropActions(Qt::MoveAction));
        QCOMPARE(content, QByteArray("%PDF-1.4 decrypted"));
        QVERIFY(!QFile::exists(urls[0].toLocalFile())); // removed at once

        // A drop that took the copy (a target that copies rather than moves): it stays for the run.
        DragOut::setExecFunction([](QDrag*, Qt::DropActions, Qt::DropAction) { return Qt::MoveAction; });
        QCOMPARE(drag(&grid, copies, store, u"书"_s), Qt::MoveAction);
        QVERIFY(QFile::exists(urls[0].toLocalFile()));

        // A copy that cannot be made starts no drag.
        bool started = false;
        DragOut::setExecFunction([&](QDrag*, Qt::DropActions, Qt::DropAction) {
            started = true;
            return Qt::MoveAction;
        });
        QCOMPARE(drag(&grid, copies, f.dir.filePath(u"missing"_s), u"x"_s), Qt::IgnoreAction);
        DragOut::setExecFunction({});
        QVERIFY(!started);
        QCOMPARE(Prompt::takeShown().size(), 1); // the error, shown by the error handler

        copies->removeThisRunsCopies();
        QVERIFY(!QFile::exists(urls[0].toLocalFile()));
    }
};

QTEST_MAIN(TestDragOut)
#include "test_dragout.moc"
