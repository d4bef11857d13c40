// The simulated module's switches, shared by korvani-sim and korvani-demo:
// every option reaches the module, and a bad value is refused by name.

#include "sim/simoptions.h"
#include "sim/simulatedmodule.h"

#include <QtTest>

namespace {
bool parse(const QStringList &arguments, SimOptions &options, QString *error)
{
    QCommandLineParser parser;
    addSimOptions(parser);
    if (!parser.parse(QStringList{QStringLiteral("korvani-sim")} + arguments)) {
        *error = parser.errorText();
        return false;
    }
    return readSimOptions(parser, options, error);
}
}  // namespace

class TestSimOptions : public QObject
{
    Q_OBJECT

private slots:
    void everyOptionArrives()
    {
        SimOptions o;
        QString error;
        const QString every = QStringLiteral(
            "--rate 100 --extended --rs485=255 --distance 65535 --seed 7 --split --join 3 --garbage --corrupt "
            "--delay 250 --silent --go-away 0 --replug 1500 --pull 900 --stream --outliers --link /tmp/ttyKorvani "
            "--drift 20 --scale 1.002 --offset -1.5 --target-file /tmp/target");
        QVERIFY2(parse(every.split(QLatin1Char(' ')), o, &error), qPrintable(error));
        QCOMPARE(QVector<int>({o.rateHz, o.rs485Id, o.distanceMm, o.seed.value_or(-1), o.join, o.delayMs,
                               o.goAwayFrames, o.replugMs, o.pullMs}),
                 QVector<int>({100, 255, 65535, 7, 3, 250, 0, 1500, 900}));
        QCOMPARE(QVector<bool>({o.extended, o.split, o.garbage, o.corrupt, o.silent, o.stream, o.outliers}),
                 QVector<bool>(7, true));
        QCOMPARE(o.link, QStringLiteral("/tmp/ttyKorvani"));
        QCOMPARE(QVector<double>({o.driftMm, o.scale, o.offsetMm}), QVector<double>({20, 1.002, -1.5}));
        QCOMPARE(o.targetFile, QStringLiteral("/tmp/target"));

        SimulatedModule module;
        applySimOptions(o, module);
        QCOMPARE(module.rateHz(), 100);
        QVERIFY(module.isRs485());
        QCOMPARE(int(module.deviceId()), 255);
        // Options left out put the module back to its defaults.
        QVERIFY(parse({}, o, &error));
        applySimOptions(o, module);
        QCOMPARE(module.rateHz(), 50);
        QVERIFY(!module.isRs485());
        // A healthy module by default: no drift, no linearity error, a seed of its own each run.
        QCOMPARE(QVector<double>({o.driftMm, o.scale, o.offsetMm}), QVector<double>({0, 1, 0}));
        QVERIFY(!o.seed);

        // A bus module's keys, each to its own setting.
        QVERIFY(parse({"--module", "2,distance=2000,noise=0.5,scale=0.998,offset=2,firmware=B-1.2.6,hardware=C-3.4.5"},
                      o, &error));
        const BusModuleOptions m = o.bus.value(0);
        QCOMPARE(QVariantList({m.id, m.distanceMm.value_or(-1), m.noiseMm.value_or(-1), m.scale.value_or(-1),
                               m.offsetMm.value_or(-1), m.firmware, m.hardware}),
                 QVariantList({2, 2000, 0.5, 0.998, 2.0, QByteArray("B216"), QByteArray("C435")}));
    }

    // Each row's name is a command line refused; its value, a word the reason names.
    void refusesBadValues_data()
    {
        QTest::addColumn<QString>("named");
        QTest::newRow("--rate 30") << "--rate";
        QTest::newRow("--rs485 256") << "--rs485";
        QTest::newRow("--loud") << "loud";
        QTest::newRow("--module 256") << "ID";
        QTest::newRow("--module 4 --module 4,silent") << "twice";
        QTest::newRow("--module 4,distance=70000") << "distance";
        QTest::newRow("--module 4,noise=-1") << "noise";
        QTest::newRow("--module 4,firmware=B125") << "firmware";
        QTest::newRow("--scale 1.2") << "--scale";
        QTest::newRow("--module 4,offset=2000") << "offset";
        QTest::newRow("--module 4,loud") << "loud";
        QTest::newRow("--module 4 --rs485 4") << "--rs485";
        QTest::newRow("--replay x.txt --speed 1e3") << "--speed";
    }
    void refusesBadValues()
    {
        QFETCH(QString, named);
        SimOptions options;
        QString error;
        QVERIFY(!parse(QString::fromLatin1(QTest::currentDataTag()).split(QLatin1Char(' ')), options, &error));
        QVERIFY2(error.contains(named), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestSimOptions)
#include "tst_simoptions.moc"
