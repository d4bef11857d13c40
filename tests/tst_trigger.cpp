// The tolerance-band counter of the trigger test. How its two inputs are
// read is checked with the other typed numbers in tst_protocol.

#include "stats/triggertest.h"

#include <QtTest>

class TstTrigger : public QObject
{
    Q_OBJECT

private slots:
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
        QTest::newRow("65535, far") << 65535 << 1500 << 64034 << true << 64035;
        QTest::newRow("65535, just in") << 65535 << 1500 << 64035 << false << 64035;
        QTest::newRow("widest deviation up") << 65535 << 0 << 0 << true << 65535;
        QTest::newRow("widest deviation down") << 0 << 65535 << 65535 << false << 65535;
        QTest::newRow("threshold 0, off by one") << 1501 << 1500 << 0 << true << 1;
        QTest::newRow("threshold 0, on it") << 1500 << 1500 << 0 << false << 0;
    }
    void band()
    {
        QFETCH(int, distance);
        QFETCH(int, reference);
        QFETCH(int, threshold);
        QFETCH(bool, triggers);
        QFETCH(int, deviation);
        TriggerTest t;
        QCOMPARE(t.evaluate(quint16(distance), quint16(reference), quint16(threshold)), triggers);
        QCOMPARE(int(t.lastDeviation()), deviation);
        QCOMPARE(t.totalCount(), quint32(1));
        QCOMPARE(t.triggerCount(), quint32(triggers ? 1 : 0));
    }

    void countsAndReset()
    {
        TriggerTest t;
        for (quint16 d : {2000, 1500, 1000})
            t.evaluate(d, 1500, 50);
        QCOMPARE(t.totalCount(), quint32(3));
        QCOMPARE(t.triggerCount(), quint32(2));
        t.reset();
        QCOMPARE(t.totalCount(), quint32(0));
        QCOMPARE(t.triggerCount(), quint32(0));
    }
};

QTEST_GUILESS_MAIN(TstTrigger)
#include "tst_trigger.moc"
