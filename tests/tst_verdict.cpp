// A test's verdict on the distances 1000, 1002 and 1004 mm (mean 1002,
// sigma exactly 2, mean amplitude 2000): every limit met exactly at its edge
// passes, every limit missed by a thousandth is named, in order.

#include "cli/verdict.h"

#include <QtTest>

class TstVerdict : public QObject
{
    Q_OBJECT

private slots:
    void judge_data()
    {
        QTest::addColumn<qint64>("toleranceMilli");  // about 1000 mm
        QTest::addColumn<quint64>("maxOutside");
        QTest::addColumn<qint64>("maxSigmaMilli");      // -1: no limit
        QTest::addColumn<qint64>("minAmplitudeMilli");  // -1: no limit
        QTest::addColumn<quint64>("expectedFrames");
        QTest::addColumn<QString>("failed");
        QTest::newRow("every limit met at its edge") << 2000LL << 1ULL << 2000LL << 2000000LL << 3ULL << "";
        QTest::newRow("every limit missed by a thousandth")
            << 1999LL << 1ULL << 1999LL << 2000001LL << 4ULL
            << "accuracy 2.000 mm beyond tolerance 1.999 mm; outside 2 > 1; sigma 2.000 mm > 1.999 mm; "
               "mean amplitude 2000.000 < 2000.001; frames 3 < 4";
        QTest::newRow("no sigma or amplitude limit")
            << 1999LL << 2ULL << -1LL << -1LL << 3ULL << "accuracy 2.000 mm beyond tolerance 1.999 mm";
    }
    void judge()
    {
        QFETCH(qint64, toleranceMilli);
        QFETCH(quint64, maxOutside);
        QFETCH(qint64, maxSigmaMilli);
        QFETCH(qint64, minAmplitudeMilli);
        QFETCH(quint64, expectedFrames);
        QFETCH(QString, failed);
        TestLimits limits;
        limits.referenceMilli = 1000000;
        limits.toleranceMilli = toleranceMilli;
        limits.maxOutside = maxOutside;
        if (maxSigmaMilli >= 0)
            limits.maxSigmaMilli = maxSigmaMilli;
        if (minAmplitudeMilli >= 0)
            limits.minAmplitudeMilli = minAmplitudeMilli;
        limits.expectedFrames = expectedFrames;
        DistanceStatistics distances;
        quint64 outside = 0;
        for (quint16 d : {1000, 1002, 1004}) {
            distances.add(d);
            outside += isOutside(d, limits);
        }
        const Verdict v = ::judge(limits, distances, 3 * 2000, outside);
        QCOMPARE(v.failed.join(QStringLiteral("; ")), failed);
        QCOMPARE(v.pass, failed.isEmpty());
    }

    void nothingMeasuredFails()
    {
        TestLimits limits;
        limits.expectedFrames = 1;
        QCOMPARE(::judge(limits, DistanceStatistics(), 0, 0).failed,
                 QStringList({"no distance measured", "frames 0 < 1"}));
    }
};

QTEST_GUILESS_MAIN(TstVerdict)
#include "tst_verdict.moc"
