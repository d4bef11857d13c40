// The tolerance-band counter of the trigger test. How its two inputs are
// read is checked with the other typed numbers in tst_protocol.

#include "stats/triggertest.h"

#include <QtTest>

class TstTrigger : public QObject
{
    Q_OBJECT

private slots:
    // Each row after a first reading of 1000 against 1500 +-50 (a trigger),
    // so that the counts add up and the row's own deviation replaces the last.
    void band_data()
    {
        QTest::addColumn<int>("distance");
        QTest::addColumn<int>("reference");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<bool>("triggers");  // more than the threshold away
        QTest::addColumn<int>("deviation");
        QTest::newRow("1450: on the edge") << 1450 << 1500 << 50 << false << 50;
        QTest::newRow("1550: on the edge") << 1550 << 1500 << 50 << false << 50;
        QTest::newRow("1449") << 1449 << 1500 << 50 << true << 51;
        QTest::newRow("1551") << 1551 << 1500 << 50 << true << 51;
        QTest::newRow("widest deviation up") << 65535 << 0 << 0 << true << 65535;
        QTest::newRow("widest deviation down") << 0 << 65535 << 65535 << false << 65535;
    }
    void band()
    {
        QFETCH(int, distance);
        QFETCH(int, reference);
        QFETCH(int, threshold);
        QFETCH(bool, triggers);
        TriggerTest t;
        QVERIFY(t.evaluate(1000, 1500, 50));
        QCOMPARE(t.evaluate(quint16(distance), quint16(reference), quint16(threshold)), triggers);
        QTEST(int(t.lastDeviation()), "deviation");
        QCOMPARE(t.totalCount(), quint32(2));
        QCOMPARE(t.triggerCount(), quint32(triggers ? 2 : 1));
        t.reset();
        QCOMPARE(t.totalCount() + t.triggerCount(), quint32(0));
    }
};

QTEST_GUILESS_MAIN(TstTrigger)
#include "tst_trigger.moc"
