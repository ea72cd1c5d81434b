#include "widgets/GuiFixture.h"

#include "catalogue/Uusermag.h"
#include "data/Sql.h"

#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

class TestAccountWindow : public QObject
{
    Q_OBJECT
private slots:
    void changesOnlyTheCheckedAccount_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("fresh");
        QTest::addColumn<QString>("again");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("adminPassword"); // afterwards
        QTest::addColumn<QString>("readerPassword");
        QTest::newRow("admin") << u"admin"_s << u"admin"_s << u"n'ew"_s << u"n'ew"_s << u"修改成功"_s << u"n'ew"_s
                               << u"it's"_s;
        QTest::newRow("blanks") << u" admin "_s << u"admin "_s << u" 新密码 "_s << u"新密码"_s << u"修改成功"_s
                                << u"新密码"_s << u"it's"_s;
        QTest::newRow("second account, quote")
            << u"reader"_s << u"it's"_s << u"x"_s << u"x"_s << u"修改成功"_s << u"admin"_s << u"x"_s;
        QTest::newRow("wrong old") << u"admin"_s << u"it's"_s << u"a"_s << u"b"_s << u"密码错误"_s << u"admin"_s
                                   << u"it's"_s;
        QTest::newRow("mismatch") << u"admin"_s << u"admin"_s << u"a"_s << u"A"_s << u"二次输入新密码错误"_s
                                  << u"admin"_s << u"it's"_s;
        QTest::newRow("empty new") << u"admin"_s << u"admin"_s << QString() << u" "_s << u"修改成功"_s << QString()
                                   << u"it's"_s;
    }

    void changesOnlyTheCheckedAccount()
    {
        QFETCH(QString, account);
        QFETCH(QString, old);
        QFETCH(QString, fresh);
        QFETCH(QString, again);
        QFETCH(QString, message);
        QFETCH(QString, adminPassword);
        QFETCH(QString, readerPassword);
        GuiFixture f;
        f.db().execute(u"insert into userb (users, password) values ('reader', 'it''s')"_s);
        qApp->setStyleSheet(u"QLineEdit { padding: 2px; }"_s); // as the skin has one
        Tfmuser window;
        window.show();
        auto edit = [&](int n) { return window.findChild<QLineEdit*>(u"Edit%1"_s.arg(n)); };
        QCOMPARE(edit(1)->text(), u"admin"_s);
        QCOMPARE(edit(3)->echoMode(), QLineEdit::Password);
        edit(3)->setText(u"abc"_s);
        QCOMPARE(edit(3)->displayText(), u"###"_s);
        const QStringList typed { account, old, fresh, again };
        for (int n = 1; n <= 4; ++n)
            edit(n)->setText(typed.at(n - 1));
        QTest::mouseClick(window.findChild<QPushButton*>(u"Button1"_s), Qt::LeftButton);

        QCOMPARE(Prompt::takeShown().size(), 1);
        QCOMPARE(Prompt::lastShown().caption, u"提示"_s);
        QCOMPARE(Prompt::lastShown().text, message);
        QCOMPARE(edit(2)->text(), message == u"密码错误"_s ? QString() : old);
        auto stored = [&](const char* user) {
            return f.count(u"select password from userb where users = "_s + Sql::quoted(QLatin1String(user)));
        };
        QCOMPARE(stored("admin"), adminPassword);
        QCOMPARE(stored("reader"), readerPassword);
    }
};

QTEST_MAIN(TestAccountWindow)
#include "test_uusermag.moc"
