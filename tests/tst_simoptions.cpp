// The simulated module's switches, shared by korvani-sim and korvani-demo:
// every option reaches the module, and a bad value is refused by name.

#include "sim/simoptions.h"
#include "sim/simulatedmodule.h"

#include <QCommandLineParser>
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
} // namespace

class TestSimOptions : public QObject
{
    Q_OBJECT

private slots:
    void everyOptionArrives()
    {
        SimOptions o;
        QString error;
        QVERIFY2(parse({"--rate", "100", "--extended", "--rs485=255", "--distance", "65535",
                        "--seed", "7", "--split", "--join", "3", "--garbage", "--corrupt",
                        "--delay", "250", "--silent", "--go-away", "0", "--replug", "1500",
                        "--stream", "--outliers", "--link", "/tmp/ttyKorvani"},
                       o, &error),
                 qPrintable(error));
        QCOMPARE(QVector<int>({o.rateHz, o.rs485Id, o.distanceMm, o.seed, o.join, o.delayMs,
                               o.goAwayFrames, o.replugMs}),
                 QVector<int>({100, 255, 65535, 7, 3, 250, 0, 1500}));
        QCOMPARE(QVector<bool>({o.extended, o.split, o.garbage, o.corrupt, o.silent, o.stream, o.outliers}),
                 QVector<bool>(7, true));
        QCOMPARE(o.link, QStringLiteral("/tmp/ttyKorvani"));

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
    }

    void refusesBadValues_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");
        QTest::newRow("rate between") << QStringList{"--rate", "30"} << "--rate";
        QTest::newRow("rs485 256") << QStringList{"--rs485", "256"} << "--rs485";
        QTest::newRow("rs485 hex") << QStringList{"--rs485", "0x10"} << "--rs485";
        QTest::newRow("distance") << QStringList{"--distance", "65536"} << "--distance";
        QTest::newRow("join") << QStringList{"--join", "-2"} << "--join";
        QTest::newRow("replug") << QStringList{"--replug", "-1"} << "--replug";
        QTest::newRow("unknown option") << QStringList{"--loud"} << "loud";
    }
    void refusesBadValues()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        SimOptions options;
        QString error;
        QVERIFY(!parse(arguments, options, &error));
        QVERIFY2(error.contains(named), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestSimOptions)
#include "tst_simoptions.moc"
