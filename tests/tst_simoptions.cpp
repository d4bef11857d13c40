// The simulated module's switches, shared by korvani-sim and korvani-demo:
// each option reaches its setting, and bad values are refused.

#include "sim/simoptions.h"
#include "sim/simulatedmodule.h"

#include <QCommandLineParser>
#include <QtTest>

Q_DECLARE_METATYPE(SimOptions)

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
}

class TestSimOptions : public QObject
{
    Q_OBJECT

private slots:
    void mapsOptions_data();
    void mapsOptions();
    void refusesBadValues_data();
    void refusesBadValues();
    void appliesToTheModule();
};

void TestSimOptions::mapsOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<SimOptions>("expected");

    const SimOptions defaults;
    QTest::newRow("nothing") << QStringList{} << defaults;
    const auto with = [&defaults](auto change) {
        SimOptions options = defaults;
        change(options);
        return options;
    };
    QTest::newRow("rate") << QStringList{"--rate", "100"}
                          << with([](SimOptions &o) { o.rateHz = 100; });
    QTest::newRow("extended") << QStringList{"--extended"}
                              << with([](SimOptions &o) { o.extended = true; });
    QTest::newRow("rs485 0") << QStringList{"--rs485", "0"}
                             << with([](SimOptions &o) { o.rs485Id = 0; });
    QTest::newRow("rs485 255") << QStringList{"--rs485=255"}
                               << with([](SimOptions &o) { o.rs485Id = 255; });
    QTest::newRow("distance") << QStringList{"--distance", "65535"}
                              << with([](SimOptions &o) { o.distanceMm = 65535; });
    QTest::newRow("seed") << QStringList{"--seed", "7"} << with([](SimOptions &o) { o.seed = 7; });
    QTest::newRow("split") << QStringList{"--split"} << with([](SimOptions &o) { o.split = true; });
    QTest::newRow("join") << QStringList{"--join", "3"} << with([](SimOptions &o) { o.join = 3; });
    QTest::newRow("garbage") << QStringList{"--garbage"}
                             << with([](SimOptions &o) { o.garbage = true; });
    QTest::newRow("corrupt") << QStringList{"--corrupt"}
                             << with([](SimOptions &o) { o.corrupt = true; });
    QTest::newRow("delay") << QStringList{"--delay", "250"}
                           << with([](SimOptions &o) { o.delayMs = 250; });
    QTest::newRow("silent") << QStringList{"--silent"}
                            << with([](SimOptions &o) { o.silent = true; });
    QTest::newRow("go-away 0") << QStringList{"--go-away", "0"}
                               << with([](SimOptions &o) { o.goAwayFrames = 0; });
    QTest::newRow("go-away and replug")
        << QStringList{"--go-away", "20", "--replug", "1500"}
        << with([](SimOptions &o) { o.goAwayFrames = 20; o.replugMs = 1500; });
    QTest::newRow("stream") << QStringList{"--stream"}
                            << with([](SimOptions &o) { o.stream = true; });
    QTest::newRow("link") << QStringList{"--link", "/tmp/ttyKorvani"}
                          << with([](SimOptions &o) { o.link = QStringLiteral("/tmp/ttyKorvani"); });
}

void TestSimOptions::mapsOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(SimOptions, expected);

    SimOptions options;
    options.seed = -5;  // every field is written, not left as it was
    QString error;
    QVERIFY2(parse(arguments, options, &error), qPrintable(error));
    QCOMPARE(options.rateHz, expected.rateHz);
    QCOMPARE(options.extended, expected.extended);
    QCOMPARE(options.rs485Id, expected.rs485Id);
    QCOMPARE(options.distanceMm, expected.distanceMm);
    QCOMPARE(options.seed, expected.seed);
    QCOMPARE(options.split, expected.split);
    QCOMPARE(options.join, expected.join);
    QCOMPARE(options.garbage, expected.garbage);
    QCOMPARE(options.corrupt, expected.corrupt);
    QCOMPARE(options.delayMs, expected.delayMs);
    QCOMPARE(options.silent, expected.silent);
    QCOMPARE(options.goAwayFrames, expected.goAwayFrames);
    QCOMPARE(options.replugMs, expected.replugMs);
    QCOMPARE(options.stream, expected.stream);
    QCOMPARE(options.link, expected.link);
}

void TestSimOptions::refusesBadValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");

    QTest::newRow("rate between") << QStringList{"--rate", "30"} << "--rate";
    QTest::newRow("rate too high") << QStringList{"--rate", "200"} << "--rate";
    QTest::newRow("rate text") << QStringList{"--rate", "fast"} << "--rate";
    QTest::newRow("rs485 256") << QStringList{"--rs485", "256"} << "--rs485";
    QTest::newRow("rs485 negative") << QStringList{"--rs485", "-1"} << "--rs485";
    QTest::newRow("rs485 hex") << QStringList{"--rs485", "0x10"} << "--rs485";
    QTest::newRow("distance") << QStringList{"--distance", "65536"} << "--distance";
    QTest::newRow("join") << QStringList{"--join", "-2"} << "--join";
    QTest::newRow("delay") << QStringList{"--delay", "60001"} << "--delay";
    QTest::newRow("go-away") << QStringList{"--go-away", "x"} << "--go-away";
    QTest::newRow("replug") << QStringList{"--replug", "-1"} << "--replug";
    QTest::newRow("unknown option") << QStringList{"--loud"} << "loud";
    QTest::newRow("missing value") << QStringList{"--rate"} << "rate";
}

void TestSimOptions::refusesBadValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);

    SimOptions options;
    options.rateHz = 20;
    QString error;
    QVERIFY(!parse(arguments, options, &error));
    QVERIFY2(error.contains(named), qPrintable(error));
    QCOMPARE(options.rateHz, 20);  // left untouched
}

void TestSimOptions::appliesToTheModule()
{
    SimOptions options;
    QString error;
    QVERIFY(parse({"--rate", "10", "--rs485", "7"}, options, &error));
    SimulatedModule module;
    applySimOptions(options, module);
    QCOMPARE(module.rateHz(), 10);
    QVERIFY(module.isRs485());
    QCOMPARE(int(module.deviceId()), 7);

    QVERIFY(parse({}, options, &error));
    applySimOptions(options, module);
    QCOMPARE(module.rateHz(), 50);
    QVERIFY(!module.isRs485());
}

QTEST_GUILESS_MAIN(TestSimOptions)
#include "tst_simoptions.moc"
