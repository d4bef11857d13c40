// The tolerance-band counter of the trigger test.

#include "trigger/triggertest.h"

#include <QtTest>

class TstTrigger : public QObject
{
    Q_OBJECT

private slots:
    void band_data()
    {
        QTest::addColumn<int>("distance");
        QTest::addColumn<bool>("triggers");
        QTest::addColumn<int>("deviation");
        QTest::newRow("1450") << 1450 << false << 50;
        QTest::newRow("1550") << 1550 << false << 50;
        QTest::newRow("1449") << 1449 << true << 51;
        QTest::newRow("1551") << 1551 << true << 51;
        QTest::newRow("1500") << 1500 << false << 0;
        QTest::newRow("0") << 0 << true << 1500;
        QTest::newRow("65535") << 65535 << true << 64035;
    }
    void band()
    {
        QFETCH(int, distance);
        QFETCH(bool, triggers);
        QFETCH(int, deviation);
        TriggerTest t;
        QCOMPARE(t.evaluate(quint16(distance), 1500, 50), triggers);
        QCOMPARE(int(t.lastDeviation()), deviation);
        QCOMPARE(t.totalCount(), quint32(1));
        QCOMPARE(t.triggerCount(), quint32(triggers ? 1 : 0));
    }

    void extremes()
    {
        TriggerTest t;
        QVERIFY(t.evaluate(65535, 1500, 64034));
        QVERIFY(!t.evaluate(65535, 1500, 64035));
        QVERIFY(t.evaluate(65535, 0, 0));
        QCOMPARE(int(t.lastDeviation()), 65535);
        QVERIFY(!t.evaluate(0, 65535, 65535));
        QCOMPARE(int(t.lastDeviation()), 65535);
        // Threshold 0: every distance other than the reference triggers.
        QVERIFY(t.evaluate(1501, 1500, 0));
        QVERIFY(!t.evaluate(1500, 1500, 0));
    }

    void everyFrameOutsideCounts()
    {
        TriggerTest t;
        for (int i = 0; i < 10; ++i)
            QVERIFY(t.evaluate(2000, 1500, 50));
        QVERIFY(!t.evaluate(1500, 1500, 50));
        QCOMPARE(t.totalCount(), quint32(11));
        QCOMPARE(t.triggerCount(), quint32(10));
    }

    void reset()
    {
        TriggerTest t;
        t.evaluate(1600, 1500, 50);
        t.evaluate(1500, 1500, 50);
        QCOMPARE(t.totalCount(), quint32(2));
        QCOMPARE(t.triggerCount(), quint32(1));
        t.reset();
        QCOMPARE(t.totalCount(), quint32(0));
        QCOMPARE(t.triggerCount(), quint32(0));
        QVERIFY(t.evaluate(1449, 1500, 50));
        QCOMPARE(t.totalCount(), quint32(1));
        QCOMPARE(t.triggerCount(), quint32(1));
    }

    void parseInput_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("1500") << "1500" << 1500;
        QTest::newRow("50") << "50" << 50;
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("65535") << "65535" << 65535;
        QTest::newRow("65536") << "65536" << 0;
        QTest::newRow("70000") << "70000" << 0;
        QTest::newRow("-1") << "-1" << 0;
        QTest::newRow("abc") << "abc" << 0;
        QTest::newRow("12abc") << "12abc" << 0;
        QTest::newRow("1.5") << "1.5" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void parseInput()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(int(TriggerTest::parseInput(text)), value);
    }
};

QTEST_GUILESS_MAIN(TstTrigger)
#include "tst_trigger.moc"
