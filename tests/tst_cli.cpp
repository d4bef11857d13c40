// korvani-cli as a test station runs it: a real process whose --port is the
// pseudo-terminal of a simulated module owned by the test, so the test sees
// the bytes on the line and makes the module fail; one run with --sim.

#include "processrun.h"
#include "sim/simulatedmodule.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <numeric>

namespace {

// korvani-cli on the module's port (if any).
ProcessRun runCli(const QStringList &args, SimulatedModule *module = nullptr, const std::function<void(QProcess &)> &whileRunning = {})
{
    ProcessOptions options;
    options.whileRunning = whileRunning;
    return runProcess(KORVANI_CLI, module ? QStringList{"--port", module->portName()} + args : args, options);
}

constexpr int Extended = -2;

} // namespace

class TstCli : public QObject
{
    Q_OBJECT

    // A fresh module for every test, answering with a known reading.
    std::unique_ptr<SimulatedModule> sim;

private slots:
    void init()
    {
        sim.reset(new SimulatedModule);
        sim->setHardwareVersion("A102");
        sim->setFirmwareVersion("B215");
        sim->setFixedReading(SimulatedModule::Reading{1234, 2000, 40, 100, 2});
        sim->setRangeValue(4321);
        sim->setIntegrationValue(250);
        QVERIFY(sim->open());
    }

    void commandsOnTheLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("busId");   // -1: the only module on the line; Extended: 0x82 frames with known words
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("out");  // a regular expression for the whole output
        const auto row = [](const char *name, const QStringList &args, int busId, const char *sent, const QString &out) { QTest::newRow(name) << args << busId << QString(sent) << out; };
        const QString readings = "^(\\d\\d:\\d\\d:\\d\\d\\.\\d{3},01234,02000,40,0100,2, \n)", reading = readings + "{1}$";
        row("version --id", {"--id", "7", "version"}, 7, "5607080059 56070e005f", "^HARD: A-0\\.1\\.2\nSOFT:B-1\\.2\\.5\n$");
        row("info", {"info"}, -1, "56e000b6 56070051 56a000f6 56d00086", "^RANGE: 4321\nIntegration: 250\nPOW_ON:\\d\n(.*\n){6}TEMP_COF:\\[.*\\]\n.*\n温度\\[大\\]: .*\n温度\\[小\\]: .*\n环境: .*\n线性: .*\n$");
        row("single", {"single"}, -1, "56020054", reading);
        row("single --fixed", {"single", "--fixed"}, -1, "56010057", reading);
        const QString iso = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d", time = "^\\{\"time\":\"" + iso + "\",";
        row("single, CSV", {"--format", "csv", "single"}, Extended, "56020054", "^time,code,distance_mm,amplitude,ambient,temperature_c,driver_current,"
            "w1,w2,w3,w4,w5,w6,w7,w8,w9,w10,w11,w12,w13,w14,w15\n" + iso + ",130,1234,2000,100,-10,2,7,1234,2000,100,-5,-10,2,8,9,10,11,-1,2,-32768,32767\n$");
        row("single, JSON", {"--format", "json", "single"}, Extended, "56020054", time + "\"code\":130,\"distance_mm\":1234,"
            "\"amplitude\":2000,\"ambient\":100,\"temperature_c\":-10,\"driver_current\":2,\"words\":\\[7,1234,2000,100,-5,-10,2,8,9,10,11,-1,2,-32768,32767\\]\\}\n$");
        row("single, JSON, 0x81", {"--format", "json", "single"}, -1, "56020054", time + "\"code\":129,\"distance_mm\":1234,\"amplitude\":2000,\"ambient\":100,\"temperature_c\":40,\"driver_current\":2\\}\n$");
        row("threshold --id", {"--id", "1", "threshold", "70"}, 1, "5601da0446000000cf 5601030054", "^threshold: 70\n$");
        row("version, JSON", {"--format", "json", "version"}, -1, "5608005e 560e0058", "^\\{\"firmware\":\"B-1\\.2\\.5\",\"hardware\":\"A-0\\.1\\.2\"\\}\n$");
        const QString number = "-?\\d+(\\.\\d+)?(e-?\\d+)?";
        row("info, JSON", {"--format", "json", "info"}, -1, "56e000b6 56070051 56a000f6 56d00086",
            QString("^\\{\"coefficients\":\\{\"ambient\":\\[@,@\\],\"linear\":\\[@,@\\],\"name\":\"[^\"]*\",\"temperature_high\":\\[@,@,@\\],"
                    "\"temperature_low\":\\[@,@,@\\]\\},\"configuration\":\\{\"AMB_COF\":@,\"AMB_ON\":@,\"CURRENT_OFF\":@,\"DIST_OFF\":@,"
                    "\"POW_ON\":@,\"TEMP_COF\":\\[@,@,@,@,@\\],\"TEMP_ON\":@,\"UNIT\":@\\},\"integration\":250,\"range\":4321\\}\n$").replace("@", number));
        row("info, CSV", {"--format", "csv", "info"}, -1, "56e000b6 56070051 56a000f6 56d00086",
            "^field,value\n(coefficients\\.[a-z_]+(\\.\\d)?,[^,\n]+\n){11}(configuration\\.[A-Z_]+(\\.\\d)?,-?\\d+\n){12}integration,250\nrange,4321\n$");
        row("threshold, CSV", {"--format", "csv", "threshold", "70"}, -1, "56da0446000000ce 56030055", "^field,value\nthreshold,70\n$");
        row("integration", {"integration", "5280"}, -1, "562002a014c0", "^$");
        row("restart --id", {"--id", "1", "restart"}, 1, "5601fb00ac", "^$");
        row("send", {"send", "da", "e8", "03", "00", "00"}, -1, "56da04e803000063", "^Received:  89 da 02 e8 03 ba\n$");
        row("send --id, one argument", {"--id", "1", "send", "  02 "}, 1, "5601020055", "^Received:  89 81 d2 04 d0 07 28 64 00 02 47\n$");
        row("measure", {"measure", "--count", "3"}, -1, "56340062 56500006 56060050", readings + "{3}$");
        row("measure --fixed --rate 10", {"measure", "--count", "2", "--rate", "10", "--fixed"}, -1, "56310067 56050053 56060050", readings + "{2}$");
        row("measure --id polls", {"--id", "4", "measure", "--count", "3"}, 4, "5604020050 5604020050 5604020050", readings + "{3}$");
        row("scan", {"scan", "--from", "2", "--to", "4"}, 3, "560208005c 560308005d 560408005a", "^3\tHARD: A-0\\.1\\.2\n$");
    }
    void commandsOnTheLine()
    {
        QFETCH(QStringList, args);
        QFETCH(int, busId);
        QFETCH(QString, sent);
        QFETCH(QString, out);
        sim->setRs485(busId >= 0, quint8(qMax(busId, 1)));
        sim->setExtendedMode(busId == Extended);
        if (busId == Extended)  // words 7, 1234, 2000, 100, -5, -10, 2, 8, 9, 10, 11, -1, 2, -32768, 32767
            sim->setAnswerData(0x02, QByteArray::fromHex("0700d204d0076400fbfff6ff0200080009000a000b00ffff02000080ff7f"));
        const ProcessRun r = runCli(args, sim.get());
        QVERIFY2(r.status == 0 && r.err.isEmpty(), qPrintable(QString::number(r.status) + ' ' + r.err));
        QVERIFY2(QRegularExpression(out).match(r.out).hasMatch(), qPrintable(r.out));
        QCOMPARE(QByteArrayList(sim->receivedCommands()).join().toHex(), sent.toLatin1().replace(' ', ""));
    }

    // The summary against figures computed here from the records the run kept,
    // for a run that ends at its count (with failed checks on the line), one
    // cut short by Ctrl+C (the module is stopped; status 130) and one whose port
    // goes away (status 2 at once, no hang).
    void recordedRun_data()
    {
        QTest::addColumn<QString>("end");
        for (const char *end : {"count", "Ctrl+C", "gone"})
            QTest::newRow(end) << QString(end);
    }
    void recordedRun()
    {
        QFETCH(QString, end);
        QTemporaryDir dir;
        sim->setFixedReading(std::nullopt);  // noisy distances
        sim->setCorruptChecks(end == "count", 7);
        sim->setGoAwayAfterFrames(end == "gone" ? 2 + 20 : -1);  // the rate answer, 20 measurements... and the start's silence
        const QString count = end == "count" ? "300" : "100000", port = sim->portName();
        const auto interrupt = [&](QProcess &p) { QTRY_VERIFY_WITH_TIMEOUT(sim->isStreaming(), 10000); QTest::qWait(300); ::kill(pid_t(p.processId()), SIGINT); };
        const ProcessRun r = runCli({"measure", "--count", count, "--stats", "--format", "csv", "--output", dir.filePath("run.csv")},
                             sim.get(), end == "Ctrl+C" ? interrupt : std::function<void(QProcess &)>());
        QCOMPARE(r.status, end == "gone" ? 2 : end == "Ctrl+C" ? 130 : 0);
        QVERIFY2(end == "gone" ? r.err.startsWith("korvani-cli: " + port + ": the port went away") && r.err.count('\n') == 1 : r.err.isEmpty(), qPrintable(r.err));
        if (end == "Ctrl+C") // the module is told to stop
            QCOMPARE(QByteArrayList(sim->receivedCommands()).join().toHex().right(8), "56060050");

        QFile file(dir.filePath("run.csv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVector<double> d;
        for (const QString &record : QString::fromUtf8(file.readAll()).split('\n').filter(QRegularExpression("^\\d")))
            d << record.section(',', 2, 2).toDouble();
        QVERIFY2(end == "count" ? d.size() == 300 : end == "gone" ? d.size() == 21 : d.size() >= 5, qPrintable(QString::number(d.size())));
        const double mean = std::accumulate(d.begin(), d.end(), 0.0) / d.size();
        const double squares = std::accumulate(d.begin(), d.end(), 0.0, [&](double s, double x) { return s + (x - mean) * (x - mean); });
        std::sort(d.begin(), d.end());
        const auto summary = [&](const char *key) { return QRegularExpression(QStringLiteral("^# %1: (.*)$").arg(key), QRegularExpression::MultilineOption).match(r.out).captured(1); };
        QCOMPARE(summary("frames"), QString::number(d.size()));
        QCOMPARE(summary("expected"), count);
        // Within rounding: the last digit's rounding is the statistics' own test.
        QVERIFY2(qAbs(summary("mean_mm").toDouble() - mean) < 0.00051, qPrintable(summary("mean_mm")));
        QVERIFY2(qAbs(summary("sigma_mm").toDouble() - std::sqrt(squares / (d.size() - 1))) < 0.00051, qPrintable(summary("sigma_mm")));
        QCOMPARE(summary("min_mm").toDouble(), d.value(0));
        QCOMPARE(summary("max_mm").toDouble(), d.value(d.size() - 1));
        QCOMPARE(summary("median_mm").toDouble(), (d.value((d.size() - 1) / 2) + d.value(d.size() / 2)) / 2);
        QVERIFY(summary("failed_checks").toInt() >= (end == "count" ? 300 / 7 - 1 : 0));
        // About 86 frames/s (every 7th of 100 a second fails its check); a busy machine slows the module.
        QVERIFY2(end != "count" || (summary("rate_hz").toDouble() > 40 && summary("rate_hz").toDouble() < 200), qPrintable(summary("rate_hz")));
    }

    // Exit statuses: done (0); a failed test (1), with every verdict rule on
    // distances 0..9 (mean 4.5, sigma 3.028, amplitude 2000) or on a module that
    // streams at 10 Hz however fast it was asked to; link failures (2) with one
    // line naming the port; a usage error (64) with the usage line (the
    // parser's errors are tst_clioptions').
    void exitStatus_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");  // regular expressions; PORT stands for the port's name
        QTest::addColumn<QString>("out");
        const auto row = [](const char *fault, const QString &args, int status, const QString &err, const QString &out = "^$") {
            QTest::newRow(qPrintable(fault + (": " + args))) << fault << args.split(' ', Qt::SkipEmptyParts) << status << err << out;
        };
        const QString summary = "\nmean: 4\\.500 mm\nsigma: 3\\.028 mm\nmin: 0 mm\nmax: 9 mm\nmedian: 4\\.5 mm\n(.*\n)*";
        const auto verdict = [&](const QString &args, int status, const QString &v) { row("0..9", "test --count 10 " + args, status, "^$", summary + v + "\n$"); };
        verdict("--reference 0.5 --tolerance 4 --max-outside 5 --max-sigma 3.03 --min-amplitude 2000", 0, "PASS"); // every limit just met
        verdict("--reference 4.5 --tolerance 4", 1, "FAIL: outside 2 > 0");
        verdict("--reference 4.5 --tolerance 5 --max-sigma 3", 1, "FAIL: sigma 3.028 mm > 3.000 mm");
        verdict("--reference 4.5 --tolerance 5 --min-amplitude 2000.001", 1, "FAIL: mean amplitude 2000.000 < 2000.001");
        verdict("--reference 20 --tolerance 1 --max-sigma 1 --min-amplitude 3000", 1, "FAIL: accuracy -15.500 mm "
                "beyond tolerance 1.000 mm; outside 10 > 0; sigma 3.028 mm > 1.000 mm; mean amplitude 2000.000 < 3000.000");
        row("10 Hz", "test --duration 0.5 --reference 2 --tolerance 10", 1, "^$", "\nexpected: 50\n(.*\n)*FAIL: frames [4-7] < 50\n$");
        row("none", "--sim test --reference 1500 --tolerance 5 --max-outside 5 --count 50", 0, "^$", "\nPASS\n$");
        row("missing", "version", 2, "^korvani-cli: PORT: cannot open the port[^\n]*\n$");
        row("silent", "version", 2, "^korvani-cli: PORT: the module did not answer \\(hardware version\\)\n$");
        row("silent", "info", 2, "^korvani-cli: PORT: the module did not answer[^\n]*\n$",
            "^range: no answer\nintegration time: no answer\nconfiguration: no answer\ncoefficients: no answer\n$");
        row("silent", "--format json info", 2, "^korvani-cli: PORT: the module did not answer[^\n]*\n$",
            "^\\{\"coefficients\":null,\"configuration\":null,\"integration\":null,\"range\":null\\}\n$");
        row("gone", "single", 2, "^korvani-cli: PORT: the port went away[^\n]*\n$");
        row("none", "--sim --id 256 version", 64, "^korvani-cli: .+\nusage: korvani-cli \\[--port NAME \\| --sim\\]");
    }
    void exitStatus()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, err);
        QFETCH(QString, out);
        const QString port = fault == "missing" ? QStringLiteral("/nonexistent/ttyKV9") : sim->portName();
        sim->setSilent(fault == "silent");
        sim->setCountingDistance(fault == "0..9" || fault == "10 Hz");
        connect(sim.get(), &SimulatedModule::commandReceived, sim.get(), [this, fault](const QByteArray &f) {
            fault == "gone" ? sim->goAway() : void(fault == "10 Hz" && f == QByteArray::fromHex("56500006") && sim->setRateHz(10));
        }, Qt::QueuedConnection);
        const ProcessRun r = runCli(fault == "none" ? args : QStringList{"--port", port} + args);
        QCOMPARE(r.status, status);
        QVERIFY2(QRegularExpression(QString(err).replace("PORT", QRegularExpression::escape(port))).match(r.err).hasMatch(), qPrintable(r.err));
        QVERIFY2(QRegularExpression(out).match(r.out).hasMatch(), qPrintable(r.out));
    }

    // The other programs as a user starts them: help without a display, and
    // the status the manual gives for a bad option (unknown or a bad value).
    void programs_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");  // a regular expression over standard output and error
        QTest::newRow("demo --help, no display") << QStringList{KORVANI_DEMO, "--help"} << 0 << "\n +--outliers +";
        QTest::newRow("sim, unknown option") << QStringList{KORVANI_SIM, "--loud"} << 2 << "^korvani-sim: Unknown option 'loud'\\.\n$";
        QTest::newRow("sim, bad value") << QStringList{KORVANI_SIM, "--rate", "25"} << 2 << "^korvani-sim: --rate wants 10, 20, 50 or 100, not '25'\n$";
    }
    void programs()
    {
        QFETCH(QStringList, command);
        QFETCH(int, status);
        QFETCH(QString, out);
        ProcessOptions options;
        for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            options.environment.remove(display);
        const ProcessRun r = runProcess(command.takeFirst(), command, options);
        QCOMPARE(r.status, status);
        QVERIFY2(QRegularExpression(out).match(r.out + r.err).hasMatch(), qPrintable(r.out + r.err));
    }

    // The README's station script as printed, on the simulated module: a
    // healthy module passes; one measuring 10 mm short fails on accuracy.
    void readmeStation_data()
    {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::newRow("healthy module") << "1500" << 0 << "^0001: PASS\n$";
        QTest::newRow("10 mm short") << "1510" << 1 << "^0001: # verdict: FAIL: accuracy -\\d+\\.\\d{3} mm beyond tolerance 5\\.000 mm; outside 30[01] > 3\n$";
    }
    void readmeStation()
    {
        QFETCH(QString, reference);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFile readme(KORVANI_SOURCE_DIR "/README.md");
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString script = QString::fromUtf8(readme.readAll()).section("A test station, one module per run:\n\n```sh\n", 1).section("```", 0, 0);
        QTemporaryDir dir;
        QFile file(dir.filePath("station.sh"));
        QVERIFY(script.startsWith("#!/bin/sh") && file.open(QIODevice::WriteOnly) && file.write(script.toUtf8()) > 0);
        file.close();
        ProcessOptions options;
        options.environment.insert("LINE", "--sim");
        options.environment.insert("REFERENCE", reference);
        options.environment.insert("PATH", QFileInfo(KORVANI_CLI).path() + ':' + options.environment.value("PATH"));
        options.beforeStart = [&](QProcess &p) { p.setWorkingDirectory(dir.path()); };
        const ProcessRun r = runProcess("/bin/sh", {"station.sh", "0001"}, options);
        QCOMPARE(r.status, status);
        QVERIFY2(QRegularExpression(out).match(r.out + r.err).hasMatch(), qPrintable(r.out + r.err));
        QFile records(dir.filePath("results/0001.csv"));
        QVERIFY(records.open(QIODevice::ReadOnly));
        const int lines = records.readAll().count('\n');  // the header and 3 s at 100 frames/s, both ends counted
        QVERIFY2(lines == 301 || lines == 302, qPrintable(QString::number(lines)));
    }
};

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
