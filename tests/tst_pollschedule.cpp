// The timing rules of measurement runs: poll times against the run's start
// (exact, no drift, no overflow on year-long runs), the wait to the next poll
// (never early) and the frames a run can bring over a line.

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
        QTest::newRow("a part of a millisecond left waits it")
            << 100 << quint64(1) << qint64(9000001) << qint64(10000000) << qint64(1);
        QTest::newRow("behind: at once") << 100 << quint64(3) << qint64(45000000) << qint64(30000000) << qint64(0);
        QTest::newRow("1/3 s periods add up exactly")
            << 3 << quint64(3000) << qint64(0) << qint64(1000000000000) << qint64(1000000);
        QTest::newRow("one-year run") << 100 << quint64(3153599999ULL) << qint64(31535999989000000)
                                      << qint64(31535999990000000) << qint64(1);
    }
    void dueAndWait()
    {
        QFETCH(int, rate);
        QFETCH(quint64, k);
        QFETCH(qint64, elapsedNs);
        QTEST(PollSchedule(rate).dueNs(k), "dueNs");
        QTEST(PollSchedule(rate).waitMs(k, elapsedNs), "waitMs");
    }

    // (duration ms, rate, baud, frame bytes, poll bytes) -> frames
    void deliverable_data()
    {
        QTest::addColumn<QVector<qint64>>("run");
        QTest::addColumn<quint64>("frames");
        QTest::newRow("streamed, the rate") << QVector<qint64>{3009, 100, 115200, 11, 0} << quint64(300);
        QTest::newRow("shorter than a period") << QVector<qint64>{5, 100, 115200, 11, 0} << quint64(0);
        QTest::newRow("streamed, the line (87.27/s)") << QVector<qint64>{3000, 100, 9600, 11, 0} << quint64(261);
        QTest::newRow("polled, the line (60/s)") << QVector<qint64>{3000, 100, 9600, 11, 5} << quint64(180);
        QTest::newRow("line just fast enough") << QVector<qint64>{1000, 60, 9600, 11, 5} << quint64(60);
        QTest::newRow("a year, line-bound") << QVector<qint64>{31536000000, 100, 9600, 33, 5} << quint64(796698947);
    }
    void deliverable()
    {
        QFETCH(QVector<qint64>, run);
        QTEST(deliverableFrames(run[0], int(run[1]), qint32(run[2]), int(run[3]), int(run[4])), "frames");
    }

    // Modules polled in turn share the line: 16 bytes of 10 bits per module and poll.
    void busRate_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("modules");
        QTest::addColumn<int>("perModule");
        QTest::newRow("seven still get the rate") << 100 << 115200 << 7 << 100;  // 115200 / 1120 = 102
        QTest::newRow("eight: the line") << 100 << 115200 << 8 << 90;
        QTest::newRow("a lower rate asked") << 20 << 115200 << 4 << 20;
        QTest::newRow("never below one") << 100 << 9600 << 255 << 1;
    }
    void busRate()
    {
        QFETCH(int, rate);
        QFETCH(int, baud);
        QFETCH(int, modules);
        QTEST(busRateHz(rate, baud, 11, 5, modules), "perModule");
    }
};

QTEST_GUILESS_MAIN(TstPollSchedule)
#include "tst_pollschedule.moc"
