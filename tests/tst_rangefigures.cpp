// The figures of a run across the module's range, against hand-worked values:
// the least-squares line of bias against reference (exact, noisy, flat, one
// distance), and the type-1 study's Cg/Cgk, its capability, no spread and
// the resolution note.

#include "stats/linearity.h"
#include "stats/typeonestudy.h"

#include <QtTest>

class TstRangeFigures : public QObject
{
    Q_OBJECT

private slots:
    void line_data()
    {
        // "reference:bias" pairs in mm; expected slope, intercept, r2 ("-": none), max |bias|.
        QTest::addColumn<QStringList>("points");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("exact line") << QStringList{"500:2", "1000:3", "2000:5"}
                                    << QStringList{"0.002000", "1.000", "1.0000", "5.000"};
        QTest::newRow("scatter") << QStringList{"0:0", "1000:1", "2000:1"}
                                 << QStringList{"0.000500", "0.167", "0.7500", "1.000"};
        QTest::newRow("flat: nothing to explain")
            << QStringList{"500:1", "1500:1"} << QStringList{"0.000000", "1.000", "-", "1.000"};
        QTest::newRow("one distance twice") << QStringList{"1000:1", "1000:-2"} << QStringList{"-", "-", "-", "2.000"};
        QTest::newRow("one point") << QStringList{"1000:-3.25"} << QStringList{"-", "-", "-", "3.250"};
    }
    void line()
    {
        QFETCH(QStringList, points);
        QFETCH(QStringList, expected);
        QVector<BiasPoint> given;
        for (const QString &p : points) {
            const QStringList parts = p.split(QLatin1Char(':'));
            given.append({qint64(parts[0].toDouble() * 1000), qint64(parts[1].toDouble() * 1000)});
        }
        const Linearity l = linearity(given);
        const auto shown = [](const std::optional<double> &v, QString (*text)(double)) {
            return v ? text(*v) : QStringLiteral("-");
        };
        QCOMPARE(QStringList({shown(l.slope, slopeText), shown(l.interceptMm, mmText), shown(l.r2, r2Text),
                              mmText(l.maxAbsBiasMm)}),
                 expected);
    }

    void study_data()
    {
        QTest::addColumn<QVector<int>>("distances");
        QTest::addColumn<qint64>("referenceMilli");
        QTest::addColumn<qint64>("toleranceMilli");
        QTest::addColumn<double>("minCg");
        QTest::addColumn<QString>("expected");  // "Cg Cgk capable coarse"; "- -": none
        QTest::newRow("s 1, T 20") << QVector<int>{1499, 1500, 1501} << 1500000LL << 10000LL << 1.33
                                   << "0.667 0.667 0 0";
        // Readings 3 mm short: the bias counts by its size.
        QTest::newRow("biased short, lower minimum")
            << QVector<int>{1494, 1496, 1498, 1500} << 1500000LL << 50000LL << 0.9 << "1.291 0.904 1 0";
        QTest::newRow("bias beyond 0.1 T: Cg alone is not enough")
            << QVector<int>{1010, 1011, 1012} << 1000000LL << 20000LL << 1.33 << "1.333 -2.333 0 0";
        QTest::newRow("resolution above 5 % of T")
            << QVector<int>{1499, 1500, 1501} << 1500000LL << 9999LL << 1.33 << "0.667 0.667 0 1";
        QTest::newRow("s = 0") << QVector<int>{1500, 1500, 1500} << 1500000LL << 50000LL << 1.33 << "- - 0 0";
        QTest::newRow("one distance") << QVector<int>{1500} << 1500000LL << 50000LL << 1.33 << "- - 0 0";
    }
    void study()
    {
        QFETCH(QVector<int>, distances);
        QFETCH(qint64, referenceMilli);
        QFETCH(qint64, toleranceMilli);
        QFETCH(double, minCg);
        QFETCH(QString, expected);
        DistanceStatistics d;
        for (int x : distances)
            d.add(quint16(x));
        const TypeOneStudy s = typeOneStudy(d, referenceMilli, toleranceMilli, minCg);
        const QString got =
            QStringList{s.cg ? indexText(*s.cg) : QStringLiteral("-"), s.cgk ? indexText(*s.cgk) : QStringLiteral("-"),
                        QString::number(s.capable), QString::number(s.resolutionTooCoarse)}
                .join(QLatin1Char(' '));
        QCOMPARE(got, expected);
        // No figures always comes with the reason why.
        QCOMPARE(s.reason.isEmpty(), bool(s.cg));
    }
};

QTEST_GUILESS_MAIN(TstRangeFigures)
#include "tst_rangefigures.moc"
