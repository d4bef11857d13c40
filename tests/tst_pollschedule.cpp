// The timing rules of measurement runs: poll times against the run's start
// (exact, no drift, no overflow on year-long runs), the wait to the next poll
// (never early) and the frames a run can bring over a given line.

#include "protocol/pollschedule.h"

#include <QtTest>

class TstPollSchedule : public QObject
{
    Q_OBJECT

private slots:
    void dueAndWait_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<quint64>("k");
        QTest::addColumn<qint64>("elapsedNs");
        QTest::addColumn<qint64>("dueNs");
        QTest::addColumn<qint64>("waitMs");
        QTest::newRow("first poll at once") << 100 << quint64(0) << qint64(0) << qint64(0) << qint64(0);
        QTest::newRow("next period, from the start") << 100 << quint64(1) << qint64(0) << qint64(10000000) << qint64(10);
        QTest::newRow("a part of a millisecond left waits it") << 100 << quint64(1) << qint64(9000001) << qint64(10000000) << qint64(1);
        QTest::newRow("due now") << 100 << quint64(1) << qint64(10000000) << qint64(10000000) << qint64(0);
        QTest::newRow("behind: at once") << 100 << quint64(3) << qint64(45000000) << qint64(30000000) << qint64(0);
        QTest::newRow("last poll of 3 s at 100/s") << 100 << quint64(299) << qint64(2985500000) << qint64(2990000000) << qint64(5);
        // 1/3 s periods add up to whole seconds exactly, not 3 x 333333333 ns.
        QTest::newRow("period not whole ns, no drift") << 3 << quint64(3000) << qint64(0) << qint64(1000000000000) << qint64(1000000);
        QTest::newRow("one-year run at 100/s") << 100 << quint64(3153599999ULL) << qint64(31535999989000000)
                                               << qint64(31535999990000000) << qint64(1);
    }
    void dueAndWait()
    {
        QFETCH(int, rate);
        QFETCH(quint64, k);
        QFETCH(qint64, elapsedNs);
        QFETCH(qint64, dueNs);
        QFETCH(qint64, waitMs);
        const PollSchedule schedule(rate);
        QCOMPARE(schedule.dueNs(k), dueNs);
        QCOMPARE(schedule.waitMs(k, elapsedNs), waitMs);
    }

    void deliverable_data()
    {
        QTest::addColumn<qint64>("durationMs");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("frameBytes");
        QTest::addColumn<int>("pollBytes");
        QTest::addColumn<quint64>("frames");
        QTest::newRow("streamed, the rate") << qint64(3000) << 100 << 115200 << 11 << 0 << quint64(300);
        QTest::newRow("polled, the rate") << qint64(3000) << 100 << 115200 << 11 << 5 << quint64(300);
        QTest::newRow("part of a period rounds down") << qint64(3009) << 100 << 115200 << 11 << 5 << quint64(300);
        QTest::newRow("shorter than a period") << qint64(5) << 100 << 115200 << 11 << 0 << quint64(0);
        // 11 bytes = 110 bit times: 87.27 frames/s at 9600 baud.
        QTest::newRow("streamed, the line") << qint64(3000) << 100 << 9600 << 11 << 0 << quint64(261);
        // 5 + 11 bytes a poll: 60 polls/s.
        QTest::newRow("polled, the line") << qint64(3000) << 100 << 9600 << 11 << 5 << quint64(180);
        QTest::newRow("polled, extended frames") << qint64(3000) << 50 << 9600 << 33 << 5 << quint64(75);
        QTest::newRow("line just fast enough") << qint64(1000) << 60 << 9600 << 11 << 5 << quint64(60);
        QTest::newRow("beyond 32 bits") << qint64(4294968000) << 100 << 115200 << 11 << 0 << quint64(429496800);
        QTest::newRow("a year at 921600") << qint64(31536000000) << 100 << 921600 << 33 << 0 << quint64(3153600000);
        QTest::newRow("a year, line-bound") << qint64(31536000000) << 100 << 9600 << 33 << 5 << quint64(796698947);
    }
    void deliverable()
    {
        QFETCH(qint64, durationMs);
        QFETCH(int, rate);
        QFETCH(int, baud);
        QFETCH(int, frameBytes);
        QFETCH(int, pollBytes);
        QFETCH(quint64, frames);
        QCOMPARE(deliverableFrames(durationMs, rate, baud, frameBytes, pollBytes), frames);
    }

    // Modules polled in turn share the line: 16 bytes of 10 bits per module and poll.
    void busRate_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("modules");
        QTest::addColumn<int>("perModule");
        QTest::newRow("one module, the rate") << 100 << 115200 << 1 << 100;
        QTest::newRow("seven still get the rate") << 100 << 115200 << 7 << 100;   // 115200 / 1120 = 102
        QTest::newRow("eight: the line") << 100 << 115200 << 8 << 90;
        QTest::newRow("fifteen") << 100 << 115200 << 15 << 48;
        QTest::newRow("slow line") << 100 << 9600 << 2 << 30;
        QTest::newRow("a lower rate asked") << 20 << 115200 << 4 << 20;
        QTest::newRow("never below one") << 100 << 9600 << 255 << 1;
    }
    void busRate()
    {
        QFETCH(int, rate);
        QFETCH(int, baud);
        QFETCH(int, modules);
        QFETCH(int, perModule);
        QCOMPARE(busRateHz(rate, baud, 11, 5, modules), perModule);
    }
};

QTEST_GUILESS_MAIN(TstPollSchedule)
#include "tst_pollschedule.moc"
