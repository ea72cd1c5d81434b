// ISBNs in one place: the CSV import's idea of the same book and the search's
// forms agree, check digits are checked where a key is made, and text that is
// no ISBN keeps its own key.

#include "data/Isbn.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestIsbn : public QObject
{
    Q_OBJECT

private slots:
    void keys_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addRow("isbn-13") << u"9787020002207"_s << u"9787020002207"_s;
        QTest::addRow("isbn-13 with hyphens") << u"978-7-02-000220-7"_s << u"9787020002207"_s;
        QTest::addRow("isbn-10 with x") << u"702000220x"_s << u"9787020002207"_s;
        QTest::addRow("isbn-10, blanks of every kind") << u"7 02\u3000000\u00A0220-X"_s << u"9787020002207"_s;
        QTest::addRow("isbn-10 without its leading zero") << u"156012197"_s << u"9780156012195"_s;
        QTest::addRow("wrong check digit, 10") << u"7020002201"_s << u"7020002201"_s;
        QTest::addRow("wrong check digit, 13") << u"978-7020002208"_s << u"9787020002208"_s;
        QTest::addRow("no isbn") << u"三体 1"_s << u"三体1"_s;
        QTest::addRow("empty") << QString() << QString();
    }

    void keys()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QCOMPARE(Isbn::key(text), key);
        // A valid ISBN typed into the search box: its key is among the forms looked for.
        const std::optional<QString> isbn13 = Isbn::isbn13(text);
        if (isbn13 && Isbn::looksLike(text) && Isbn::compact(text).size() >= 10) {
            QVERIFY(Isbn::forms(text).contains(*isbn13));
            QCOMPARE(Isbn::key(Isbn::toIsbn10(*isbn13)), *isbn13);
        }
    }

    void lostLeadingZero()
    {
        QVERIFY(Isbn::lostLeadingZero(u"156012197"_s));
        QVERIFY(Isbn::lostLeadingZero(u"15-6012197"_s));
        QVERIFY(!Isbn::lostLeadingZero(u"156012198"_s)); // the check digit says no
        QVERIFY(!Isbn::lostLeadingZero(u"0156012197"_s));
    }

    void compactFormsAgree()
    {
        for (const QString& text : { u"978-7-02-000220-7"_s, u"isbn 702000220x"_s, u"红楼梦 7"_s, QString() }) {
            const QByteArray utf8 = text.toUtf8();
            QCOMPARE(QString::fromStdString(Isbn::compact(std::string_view(utf8.constData(), size_t(utf8.size())))),
                Isbn::compact(text));
        }
        QCOMPARE(Isbn::compact(u"isbn 702000220x"_s), u"702000220X"_s);
    }
};

QTEST_GUILESS_MAIN(TestIsbn)
#include "test_isbn.moc"
