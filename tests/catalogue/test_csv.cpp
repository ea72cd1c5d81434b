#include <QtTest>
class TestCsv : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestCsv)
#include "test_csv.moc"
