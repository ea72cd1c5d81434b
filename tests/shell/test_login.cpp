#include "widgets/GuiFixture.h"

#include "shell/ulogo.h"

#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

class TestLogin : public QObject
{
    Q_OBJECT

private:
    struct Dialog
    {
        TFmlog window;
        QLineEdit* user = window.findChild<QLineEdit*>(u"Edit1"_s);
        QLineEdit* password = window.findChild<QLineEdit*>(u"Edit2"_s);
        QPushButton* login = window.findChild<QPushButton*>(u"Button1"_s);

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
        const QString skin = f.dir.filePath(u"skinh.she"_s);
        {
            Dialog d;
            QVERIFY(QFileInfo::exists(skin));
        }
        QFile file(skin);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("QWidget { }");
        file.close();
        Dialog again;
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("QWidget { }"));
    }

    void prefillsFirstAccount()
    {
        GuiFixture f;
        f.db().execute(u"update userb set users = '  O''Neil  '"_s);
        Dialog d;
        QCOMPARE(d.user->text(), u"O'Neil"_s);
        QCOMPARE(QApplication::focusWidget(), d.password);
    }

    void login_data()
    {
        QTest::addColumn<QString>("accounts"); // a statement run on the account table first
        QTest::addColumn<QString>("typedUser");
        QTest::addColumn<QString>("typedPassword");
        QTest::addColumn<bool>("accepted");
        const QString none;
        QTest::newRow("exact") << none << "admin"
                               << "admin" << true;
        QTest::newRow("blanks around") << none << "  admin "
                                       << "   admin  " << true;
        QTest::newRow("other letter case") << none << "ADMIN"
                                           << "AdMiN" << true;
        QTest::newRow("wrong password") << none << "admin"
                                        << "admin2" << false;
        QTest::newRow("quote in password") << none << "admin"
                                           << "ad'min" << false;
        QTest::newRow("empty") << none << ""
                               << "" << false;
        QTest::newRow("quotes stored") << "update userb set users = 'O''Neil', [password] = 'it''s'"
                                       << "o'neil"
                                       << "IT'S" << true;
        QTest::newRow("NUL in the name") << none << QString(u"adm"_s + QChar(0) + u"in"_s) << "admin" << false;
        QTest::newRow("no accounts") << "delete from userb"
                                     << "admin"
                                     << "admin" << false;
    }

    void login()
    {
        QFETCH(QString, accounts);
        QFETCH(QString, typedUser);
        QFETCH(QString, typedPassword);
        QFETCH(bool, accepted);
        GuiFixture f;
        if (!accounts.isEmpty())
            f.db().execute(accounts);
        Dialog d;
        d.user->setText(typedUser);
        QTest::keyClicks(d.password, typedPassword);
        QTest::mouseClick(d.login, Qt::LeftButton);
        QCOMPARE(d.window.result() == QDialog::Accepted, accepted);
        if (!accepted) {
            QCOMPARE(Prompt::lastShown().text, u"密码错误"_s);
            QCOMPARE(Prompt::lastShown().caption, u"提示"_s);
            QVERIFY(d.password->text().isEmpty());
            QCOMPARE(d.user->text(), typedUser);
            QVERIFY(d.window.isVisible());
        }
    }

    void enterLogsInOnlyFromPasswordBoxAndExitCancels()
    {
        GuiFixture f;
        {
            Dialog d;
            d.password->setText(u"admin"_s);
            d.user->setFocus();
            QTest::keyClick(d.user, Qt::Key_Return);
            QVERIFY(d.window.isVisible());
            QCOMPARE(d.window.result(), int(QDialog::Rejected));
            QTest::keyClick(d.password, Qt::Key_Enter);
            QCOMPARE(d.window.result(), int(QDialog::Accepted));
        }
        Dialog d;
        QTest::mouseClick(d.window.findChild<QPushButton*>(u"Button2"_s), Qt::LeftButton);
        QCOMPARE(d.window.result(), int(QDialog::Rejected));
        QVERIFY(!d.window.isVisible());
        QVERIFY(Prompt::takeShown().isEmpty());
    }

    void passwordShowsStarsAndEscapeKeepsTheDialog()
    {
        GuiFixture f;
        Dialog d;
        QTest::keyClicks(d.password, u"ab'c"_s);
        QCOMPARE(d.password->displayText(), u"****"_s);
        // No cancel button: a stray Escape must not end the login (and the program).
        QTest::keyClick(d.password, Qt::Key_Escape);
        QTest::keyClick(d.user, Qt::Key_Escape);
        QVERIFY(d.window.isVisible());
        QCOMPARE(d.window.result(), 0);
    }

    void unreadableDatabaseIsReportedAndRefusesLogin()
    {
        GuiFixture f;
        f.db().setConnectionString(TDataModule2::defaultConnectionString().replace(u"tovrik"_s, u"wrong"_s));
        Dialog d;
        QVERIFY(d.user->text().isEmpty());
        QVERIFY(!Prompt::lastShown().text.isEmpty());
        QTest::keyClicks(d.password, u"admin"_s);
        QTest::mouseClick(d.login, Qt::LeftButton);
        QVERIFY(d.window.isVisible());
        QVERIFY(Prompt::lastShown().text != u"密码错误"_s);
    }
};

QTEST_MAIN(TestLogin)
#include "test_login.moc"
