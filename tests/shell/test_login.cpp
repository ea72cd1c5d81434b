#include "GuiFixture.h"

#include "shell/ulogo.h"

#include <QLineEdit>
#include <QPushButton>

class TestLogin : public QObject
{
    Q_OBJECT

private:
    struct Dialog
    {
        TFmlog window;
        QLineEdit* user = window.findChild<QLineEdit*>(QStringLiteral("Edit1"));
        QLineEdit* password = window.findChild<QLineEdit*>(QStringLiteral("Edit2"));
        QPushButton* login = window.findChild<QPushButton*>(QStringLiteral("Button1"));

        Dialog()
        {
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        }
    };

private slots:
    void firstStartWritesSkinOnce()
    {
        GuiFixture f;
        const QString skin = f.home.filePath(QStringLiteral("skinh.she"));
        {
            Dialog d;
            QVERIFY(QFileInfo::exists(skin));
        }
        QFile file(skin);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("QWidget { }");
        file.close();
        Dialog again;
        QFile reread(skin);
        QVERIFY(reread.open(QIODevice::ReadOnly));
        QCOMPARE(reread.readAll(), QByteArray("QWidget { }"));
    }

    void prefillsFirstAccount()
    {
        GuiFixture f;
        f.db().execute(QStringLiteral("update userb set users = '  admin  '"));
        Dialog d;
        QCOMPARE(d.user->text(), QStringLiteral("admin"));
        QCOMPARE(QApplication::focusWidget(), d.password);
    }

    void login_data()
    {
        QTest::addColumn<QString>("typedUser");
        QTest::addColumn<QString>("typedPassword");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exact") << "admin" << "admin" << true;
        QTest::newRow("blanks around") << "  admin " << "   admin  " << true;
        QTest::newRow("other letter case") << "ADMIN" << "AdMiN" << true;
        QTest::newRow("wrong password") << "admin" << "admin2" << false;
        QTest::newRow("quote in password") << "admin" << "ad'min" << false;
        QTest::newRow("empty") << "" << "" << false;
    }

    void login()
    {
        QFETCH(QString, typedUser);
        QFETCH(QString, typedPassword);
        QFETCH(bool, accepted);
        GuiFixture f;
        Dialog d;
        d.user->setText(typedUser);
        QTest::keyClicks(d.password, typedPassword);
        QTest::mouseClick(d.login, Qt::LeftButton);
        QCOMPARE(d.window.result() == QDialog::Accepted, accepted);
        if (!accepted) {
            QCOMPARE(Prompt::lastShown().text, QStringLiteral("密码错误"));
            QCOMPARE(Prompt::lastShown().caption, QStringLiteral("提示"));
            QVERIFY(d.password->text().isEmpty());
            QCOMPARE(d.user->text(), typedUser);
            QVERIFY(d.window.isVisible());
        }
    }

    void quotesInStoredValuesMatch()
    {
        GuiFixture f;
        f.db().execute(QStringLiteral("update userb set users = 'O''Neil', [password] = 'it''s'"));
        Dialog d;
        QCOMPARE(d.user->text(), QStringLiteral("O'Neil"));
        QTest::keyClicks(d.password, QStringLiteral("IT'S"));
        QTest::mouseClick(d.login, Qt::LeftButton);
        QCOMPARE(d.window.result(), int(QDialog::Accepted));
    }

    void enterLogsInOnlyFromPasswordBox()
    {
        GuiFixture f;
        Dialog d;
        d.password->setText(QStringLiteral("admin"));
        d.user->setFocus();
        QTest::keyClick(d.user, Qt::Key_Return);
        QVERIFY(d.window.isVisible());
        QCOMPARE(d.window.result(), int(QDialog::Rejected));
        QTest::keyClick(d.password, Qt::Key_Return);
        QCOMPARE(d.window.result(), int(QDialog::Accepted));
    }

    void emptyAccountTableRefusesEveryone()
    {
        GuiFixture f;
        f.db().execute(QStringLiteral("delete from userb"));
        Dialog d;
        QVERIFY(d.user->text().isEmpty());
        QTest::keyClicks(d.password, QStringLiteral("admin"));
        QTest::keyClick(d.password, Qt::Key_Enter);
        QCOMPARE(Prompt::lastShown().text, QStringLiteral("密码错误"));
        QVERIFY(d.window.isVisible());
    }

    void exitEndsWithCancel()
    {
        GuiFixture f;
        Dialog d;
        QTest::mouseClick(d.window.findChild<QPushButton*>(QStringLiteral("Button2")), Qt::LeftButton);
        QCOMPARE(d.window.result(), int(QDialog::Rejected));
        QVERIFY(!d.window.isVisible());
        QVERIFY(Prompt::takeShown().isEmpty());
    }

    void unreadableDatabaseIsReportedAndRefusesLogin()
    {
        GuiFixture f;
        f.dataModule->Adocon.setConnectionString(
            TDataModule2::defaultConnectionString().replace(QStringLiteral("tovrik"), QStringLiteral("wrong")));
        Dialog d;
        QVERIFY(d.user->text().isEmpty());
        QVERIFY(!Prompt::lastShown().text.isEmpty());
        QTest::keyClicks(d.password, QStringLiteral("admin"));
        QTest::mouseClick(d.login, Qt::LeftButton);
        QVERIFY(d.window.isVisible());
        QVERIFY(Prompt::lastShown().text != QStringLiteral("密码错误"));
    }
};

QTEST_MAIN(TestLogin)
#include "test_login.moc"
