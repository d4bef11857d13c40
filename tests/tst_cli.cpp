// korvani-cli as a test station runs it: a real process whose --port is the
// pseudo-terminal of a simulated module owned by the test, so the test sees
// the bytes on the line and makes the module fail; a few runs with --sim.

#include "support/testframes.h"
#include "protocol/frame.h"
#include "sim/simulatedmodule.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <csignal>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

QByteArray bytes(const char *hexText)
{
    return QByteArray::fromHex(hexText);
}

// Starts korvani-cli; the module (if any) answers on this event loop meanwhile.
Run runCli(QStringList args, SimulatedModule *module = nullptr,
           const std::function<void(QProcess &)> &whileRunning = {})
{
    if (module)
        args.prepend(module->portName()), args.prepend(QStringLiteral("--port"));
    QProcess p;
    qRegisterMetaType<QProcess::ExitStatus>();
    QSignalSpy done(&p, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    p.start(QStringLiteral(KORVANI_CLI), args);
    if (!p.waitForStarted(10000))
        return {};
    if (whileRunning)
        whileRunning(p);
    if (done.isEmpty() && !done.wait(60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// A module answering with a known reading; counting makes the distances 0, 1, 2...
struct Module {
    Module(bool counting = false)
    {
        sim.setHardwareVersion("A102");
        sim.setFirmwareVersion("B215");
        sim.setFixedReading(SimulatedModule::Reading{1234, 2000, 40, 100, 2});
        sim.setCountingDistance(counting);
        ok = sim.open();
    }
    SimulatedModule sim;
    bool ok = false;
};

QStringList dataRows(const QString &csv)
{
    QStringList rows = csv.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [](const QString &r) { return r.startsWith(QLatin1Char('#')) || r.startsWith("time,"); }),
               rows.end());
    return rows;
}

QString summaryValue(const QString &csv, const QString &key)
{
    const QRegularExpression line(QStringLiteral("^# %1: (.*)$").arg(key), QRegularExpression::MultilineOption);
    return line.match(csv).captured(1);
}

const QString Stamp = QStringLiteral("\\d\\d:\\d\\d:\\d\\d\\.\\d{3},");

} // namespace

class TstCli : public QObject
{
    Q_OBJECT

private slots:
    void commandsOnTheLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("busId");  // -1: the only module on the line
        QTest::addColumn<QList<QByteArray>>("sent");
        QTest::addColumn<QString>("out");  // a regular expression for the whole output

        using L = QList<QByteArray>;
        const QString reading = QStringLiteral("01234,02000,40,0100,2, ");
        QTest::newRow("version") << QStringList{"version"} << -1
                                 << L{bytes("5608005e"), bytes("560e0058")} << "HARD: A-0\\.1\\.2\nSOFT:B-1\\.2\\.5\n";
        QTest::newRow("version --id") << QStringList{"--id", "7", "version"} << 7
                                      << L{bytes("5607080059"), bytes("56070e005f")}
                                      << "HARD: A-0\\.1\\.2\nSOFT:B-1\\.2\\.5\n";
        QTest::newRow("info") << QStringList{"info"} << -1
                              << L{bytes("56e000b6"), bytes("56070051"), bytes("56a000f6"), bytes("56d00086")}
                              << "^RANGE: 4321\nIntegration: 250\nPOW_ON:\\d\n(.*\n){6}TEMP_COF:\\[.*\\]\n.*\n温度\\[大\\]: .*\n温度\\[小\\]: .*\n环境: .*\n线性: .*\n$";
        QTest::newRow("single") << QStringList{"single"} << -1 << L{bytes("56020054")} << "^" + Stamp + reading + "\n$";
        QTest::newRow("single --fixed") << QStringList{"single", "--fixed"} << -1
                                        << L{bytes("56010057")} << "^" + Stamp + reading + "\n$";
        QTest::newRow("single --id") << QStringList{"--id", "2", "single"} << 2
                                     << L{bytes("5602020056")} << "^" + Stamp + reading + "\n$";
        QTest::newRow("single --fixed --id") << QStringList{"--id", "2", "single", "--fixed"} << 2
                                             << L{bytes("5602010055")} << "^" + Stamp + reading + "\n$";
        QTest::newRow("threshold set") << QStringList{"threshold", "1000"} << -1
                                       << L{bytes("56da04e803000063"), bytes("56030055")} << "threshold: 1000\n";
        QTest::newRow("threshold read") << QStringList{"threshold"} << -1 << L{bytes("56030055")} << "threshold: 500\n";
        QTest::newRow("threshold --id") << QStringList{"--id", "1", "threshold", "70"} << 1
                                        << L{bytes("5601da0446000000cf"), bytes("5601030054")} << "threshold: 70\n";
        QTest::newRow("integration") << QStringList{"integration", "5280"} << -1 << L{bytes("562002a014c0")} << "";
        QTest::newRow("integration --id") << QStringList{"--id", "1", "integration", "100"} << 1
                                          << L{bytes("56012002640011")} << "";
        QTest::newRow("restart") << QStringList{"restart"} << -1 << L{bytes("56fb00ad")} << "";
        QTest::newRow("restart --id") << QStringList{"--id", "1", "restart"} << 1 << L{bytes("5601fb00ac")} << "";
        QTest::newRow("send") << QStringList{"send", "da", "e8", "03", "00", "00"} << -1
                              << L{bytes("56da04e803000063")}
                              << "Received:  " + hexBytes(responseFrame(0xDA, bytes("e803"))) + "\n";
        QTest::newRow("send --id, one argument") << QStringList{"--id", "1", "send", "  02 "} << 1
                                                 << L{bytes("5601020055")}
                                                 << "Received:  " + hexBytes(fixedLengthFrame(0x81, bytes("d204d00728640002"))) + "\n";
        QTest::newRow("measure") << QStringList{"measure", "--count", "3"} << -1
                                 << L{bytes("56340062"), bytes("56500006"), bytes("56060050")}
                                 << "^(" + Stamp + reading + "\n){3}$";
        QTest::newRow("measure --fixed --rate 10") << QStringList{"measure", "--count", "2", "--rate", "10", "--fixed"} << -1
                                                   << L{bytes("56310067"), bytes("56050053"), bytes("56060050")}
                                                   << "^(" + Stamp + reading + "\n){2}$";
        QTest::newRow("measure --id polls") << QStringList{"--id", "4", "measure", "--count", "3"} << 4
                                            << L{bytes("5604020050"), bytes("5604020050"), bytes("5604020050")}
                                            << "^(" + Stamp + reading + "\n){3}$";
        QTest::newRow("scan") << QStringList{"scan", "--from", "2", "--to", "4"} << 3
                              << L{bytes("560208005c"), bytes("560308005d"), bytes("560408005a")}
                              << "^3\tHARD: A-0\\.1\\.2\n$";
    }

    void commandsOnTheLine()
    {
        QFETCH(QStringList, args);
        QFETCH(int, busId);
        QFETCH(QList<QByteArray>, sent);
        QFETCH(QString, out);
        Module m;
        QVERIFY(m.ok);
        m.sim.setRangeValue(4321);
        m.sim.setIntegrationValue(250);
        if (busId >= 0)
            m.sim.setRs485(true, quint8(busId));
        const Run r = runCli(args, &m.sim);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.status, 0);
        QVERIFY2(QRegularExpression(out).match(r.out).hasMatch(), qPrintable(r.out));
        QCOMPARE(m.sim.receivedCommands(), sent);
    }

    // Records of both measurement frames in CSV and JSON.
    void recordFormats()
    {
        Module m;
        QVERIFY(m.ok);
        m.sim.setExtendedMode(true);
        QByteArray words;
        for (quint16 w : {7, 1234, 2000, 100, 0xFFFB, 0xFFF6, 2, 8, 9, 10, 11, 0xFFFF, 2, 0x8000, 0x7FFF})
            words.append(uint16Bytes(w));
        m.sim.setAnswerData(0x02, words);
        const Run csv = runCli({"single", "--format", "csv"}, &m.sim);
        QCOMPARE(csv.status, 0);
        const QStringList lines = csv.out.split('\n');
        QCOMPARE(lines.value(0), "time,code,distance_mm,amplitude,ambient,temperature_c,driver_current,"
                                 "w1,w2,w3,w4,w5,w6,w7,w8,w9,w10,w11,w12,w13,w14,w15");
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d,"
                                    "130,1234,2000,100,-10,2,7,1234,2000,100,-5,-10,2,8,9,10,11,-1,2,-32768,32767$")
                     .match(lines.value(1)).hasMatch(), qPrintable(lines.value(1)));

        const Run json = runCli({"single", "--format", "json"}, &m.sim);
        const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
        QCOMPARE(o.value("code").toInt(), 130);
        QCOMPARE(o.value("temperature_c").toInt(), -10);
        QCOMPARE(o.value("words").toArray().size(), 15);
        QCOMPARE(o.value("words").toArray().at(13).toInt(), -32768);

        m.sim.setExtendedMode(false);
        m.sim.clearAnswerData(0x02);
        const Run plain = runCli({"single", "--format", "json"}, &m.sim);
        const QJsonObject p = QJsonDocument::fromJson(plain.out.toUtf8()).object();
        QCOMPARE(p.keys(), (QStringList{"ambient", "amplitude", "code", "distance_mm", "driver_current",
                                        "temperature_c", "time"}));
        QCOMPARE(p.value("distance_mm").toInt(), 1234);
    }

    // The summary against figures computed here from the records the run kept.
    void summaryFigures()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("run.csv");
        SimulatedModule sim;
        QVERIFY(sim.open());
        sim.setCorruptChecks(true, 7);
        const Run r = runCli({"measure", "--count", "300", "--stats", "--format", "csv", "--output", file}, &sim);
        QCOMPARE(r.status, 0);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList rows = dataRows(QString::fromUtf8(f.readAll()));
        QCOMPARE(rows.size(), 300);
        QVector<double> d;
        for (const QString &row : rows)
            d << row.section(',', 2, 2).toDouble();
        const double mean = std::accumulate(d.begin(), d.end(), 0.0) / d.size();
        double squares = 0;
        for (double x : d)
            squares += (x - mean) * (x - mean);
        std::sort(d.begin(), d.end());
        QCOMPARE(summaryValue(r.out, "frames"), "300");
        QCOMPARE(summaryValue(r.out, "expected"), "300");
        QVERIFY(summaryValue(r.out, "failed_checks").toInt() >= 300 / 7 - 1);
        QCOMPARE(summaryValue(r.out, "mean_mm"), QString::number(mean, 'f', 3));
        QCOMPARE(summaryValue(r.out, "sigma_mm"), QString::number(std::sqrt(squares / 299), 'f', 3));
        QCOMPARE(summaryValue(r.out, "min_mm"), QString::number(d.first()));
        QCOMPARE(summaryValue(r.out, "max_mm"), QString::number(d.last()));
        QCOMPARE(summaryValue(r.out, "median_mm").toDouble(), (d[149] + d[150]) / 2);
        const double rate = summaryValue(r.out, "rate_hz").toDouble();
        QVERIFY2(rate > 80 && rate < 120, qPrintable(QString::number(rate)));
    }

    // Distances 0..9 (mean 4.5, sigma 3.028), amplitude 2000.
    void verdicts_data()
    {
        QTest::addColumn<QStringList>("limits");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("pass") << QStringList{"--reference", "4.5", "--tolerance", "4.5"} << 0 << "PASS";
        QTest::newRow("accuracy") << QStringList{"--reference", "10", "--tolerance", "5", "--max-outside", "5"} << 1
                                  << "FAIL: accuracy -5.500 mm beyond tolerance 5.000 mm";
        QTest::newRow("accuracy on the limit") << QStringList{"--reference", "9.5", "--tolerance", "5", "--max-outside", "10"}
                                               << 0 << "PASS";
        QTest::newRow("outside") << QStringList{"--reference", "4.5", "--tolerance", "4"} << 1 << "FAIL: outside 2 > 0";
        QTest::newRow("outside allowed") << QStringList{"--reference", "4.5", "--tolerance", "4", "--max-outside", "2"}
                                         << 0 << "PASS";
        QTest::newRow("sigma") << QStringList{"--reference", "4.5", "--tolerance", "5", "--max-sigma", "3"} << 1
                               << "FAIL: sigma 3.028 mm > 3.000 mm";
        QTest::newRow("sigma allowed") << QStringList{"--reference", "4.5", "--tolerance", "5", "--max-sigma", "3.03"}
                                       << 0 << "PASS";
        QTest::newRow("amplitude") << QStringList{"--reference", "4.5", "--tolerance", "5", "--min-amplitude", "2000.001"}
                                   << 1 << "FAIL: mean amplitude 2000.000 < 2000.001";
        QTest::newRow("amplitude allowed") << QStringList{"--reference", "4.5", "--tolerance", "5", "--min-amplitude", "2000"}
                                           << 0 << "PASS";
        QTest::newRow("every limit") << QStringList{"--reference", "20", "--tolerance", "1", "--max-sigma", "1",
                                                    "--min-amplitude", "3000"}
                                     << 1 << "FAIL: accuracy -15.500 mm beyond tolerance 1.000 mm; outside 10 > 0; "
                                             "sigma 3.028 mm > 1.000 mm; mean amplitude 2000.000 < 3000.000";
    }

    void verdicts()
    {
        QFETCH(QStringList, limits);
        QFETCH(int, status);
        QFETCH(QString, verdict);
        Module m(true);
        QVERIFY(m.ok);
        const Run r = runCli(QStringList{"test", "--count", "10"} + limits, &m.sim);
        QCOMPARE(r.status, status);
        QVERIFY2(r.out.endsWith("\n" + verdict + "\n"), qPrintable(r.out));
        QVERIFY(r.out.contains("\nmean: 4.500 mm\nsigma: 3.028 mm\nmin: 0 mm\nmax: 9 mm\nmedian: 4.5 mm\n"));
    }

    // Fewer frames than rate x duration: the module streams at 10 Hz, not at the 100 asked for.
    void tooFewFramesFail()
    {
        Module m;
        QVERIFY(m.ok);
        connect(&m.sim, &SimulatedModule::commandReceived, this, [&m](const QByteArray &f) {
            if (f == bytes("56500006"))
                QTimer::singleShot(0, &m.sim, [&m] { m.sim.setRateHz(10); });
        });
        const Run r = runCli({"test", "--reference", "1234", "--tolerance", "0", "--duration", "0.5",
                              "--format", "json"}, &m.sim);
        QCOMPARE(r.status, 1);
        const QJsonObject s = QJsonDocument::fromJson(r.out.split('\n').value(r.out.count('\n') - 1).toUtf8())
                                  .object().value("summary").toObject();
        QCOMPARE(s.value("expected").toInt(), 50);
        const int frames = s.value("frames").toInt();
        QVERIFY(frames >= 4 && frames <= 7);
        QCOMPARE(s.value("verdict").toString(), "FAIL");
        QCOMPARE(s.value("failed").toArray().toVariantList(), QVariantList{QString("frames %1 < 50").arg(frames)});
        QCOMPARE(s.value("accuracy_mm").toDouble(), 0.0);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing port") << "missing" << QStringList{"version"} << "cannot open the port";
        QTest::newRow("silent: version") << "silent" << QStringList{"version"} << "the module did not answer (hardware version)";
        QTest::newRow("silent: single") << "silent" << QStringList{"single"} << "the module did not answer";
        QTest::newRow("silent: measure") << "silent" << QStringList{"measure", "--count", "5"} << "the module did not answer";
        QTest::newRow("silent: restart") << "silent" << QStringList{"restart"} << "the module did not answer (restart)";
        QTest::newRow("silent: info") << "silent" << QStringList{"info"} << "the module did not answer";
        QTest::newRow("gone: single") << "gone" << QStringList{"single"} << "the port went away";
    }

    void failures()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        Module m;
        QVERIFY(m.ok);
        const QString port = fault == "missing" ? QStringLiteral("/nonexistent/ttyKV9") : m.sim.portName();
        m.sim.setSilent(fault == "silent");
        if (fault == "gone")
            connect(&m.sim, &SimulatedModule::commandReceived, &m.sim, [&m] { m.sim.goAway(); }, Qt::QueuedConnection);
        const Run r = runCli(QStringList{"--port", port} + args);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.startsWith("korvani-cli: " + port + ": " + message), qPrintable(r.err));
        QCOMPARE(r.err.count('\n'), 1);
        if (args.first() != "info")
            QCOMPARE(r.out, QString());
    }

    // The port goes away mid-run: status 2 without a hang, the records so far kept.
    void portGoesAwayMidRun()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("run.csv");
        Module m(true);
        QVERIFY(m.ok);
        m.sim.setGoAwayAfterFrames(2 + 20);  // the rate answer, 20 measurements... and the start's silence
        const Run r = runCli({"measure", "--count", "1000", "--format", "csv", "--output", file, "--stats"}, &m.sim);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(m.sim.portName() + ": the port went away"), qPrintable(r.err));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList rows = dataRows(QString::fromUtf8(f.readAll()));
        QCOMPARE(rows.size(), 21);
        QCOMPARE(rows.last().section(',', 2, 2), "20");
        QCOMPARE(summaryValue(r.out, "frames"), "21");
    }

    // Ctrl+C: the module is stopped, the file keeps every record, the summary counts them.
    void interruptStopsAndKeeps()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("run.txt");
        Module m(true);
        QVERIFY(m.ok);
        const Run r = runCli({"measure", "--count", "100000", "--output", file, "--stats"}, &m.sim, [&](QProcess &p) {
            QTRY_VERIFY_WITH_TIMEOUT(m.sim.isStreaming(), 10000);
            QTest::qWait(200);
            ::kill(pid_t(p.processId()), SIGINT);
        });
        QCOMPARE(r.status, 0);
        QCOMPARE(m.sim.receivedCommands().last(), bytes("56060050"));
        QTRY_VERIFY(!m.sim.isStreaming());
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList rows = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
        QVERIFY(rows.size() >= 5);
        QVERIFY(QRegularExpression("^" + Stamp + QString::asprintf("%05d", rows.size() - 1)).match(rows.last()).hasMatch());
        QVERIFY2(r.out.startsWith(QStringLiteral("frames: %1\nexpected: 100000\n").arg(rows.size())), qPrintable(r.out));
    }

    void simulatedModule()
    {
        const Run version = runCli({"--sim", "version"});
        QCOMPARE(version.status, 0);
        QVERIFY(version.out.startsWith("HARD: "));
        const Run test = runCli({"--sim", "--baud", "921600", "test", "--reference", "1500", "--tolerance", "5",
                                 "--max-outside", "5", "--count", "50", "--format", "json"});
        QCOMPARE(test.status, 0);
        const QStringList lines = test.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 51);
        QCOMPARE(QJsonDocument::fromJson(lines.last().toUtf8()).object().value("summary").toObject()
                     .value("verdict").toString(), "PASS");
        QCOMPARE(test.err, QString());
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        const auto row = [](const QStringList &a) { QTest::newRow(qPrintable(a.join(' '))) << a; };
        row({});
        row({"--sim"});
        row({"version"});
        row({"--sim", "--port", "/dev/ttyUSB0", "version"});
        row({"--sim", "frobnicate"});
        row({"--sim", "--bogus", "version"});
        row({"--sim", "--baud", "57600", "version"});
        row({"--sim", "--id", "256", "version"});
        row({"--sim", "--id", "-1", "version"});
        row({"--sim", "--id", "0x10", "version"});
        row({"--sim", "--timeout", "0", "version"});
        row({"--sim", "--format", "xml", "measure"});
        row({"--sim", "measure", "--rate", "25"});
        row({"--sim", "measure", "--count", "0"});
        row({"--sim", "measure", "--duration", "-1"});
        row({"--sim", "version", "--count", "5"});
        row({"--sim", "version", "--output", "x"});
        row({"--sim", "test", "--reference", "1500"});
        row({"--sim", "test", "--reference", "abc", "--tolerance", "5"});
        row({"--sim", "test", "--reference", "1500", "--tolerance", "1.0001"});
        row({"--sim", "threshold", "65536"});
        row({"--sim", "threshold", "-1"});
        row({"--sim", "threshold", "1", "2"});
        row({"--sim", "integration"});
        row({"--sim", "integration", "5"});
        row({"--sim", "integration", "5281"});
        row({"--sim", "send"});
        row({"--sim", "send", "0g"});
        row({"--sim", "scan", "--from", "9", "--to", "3"});
        row({"--sim", "--id", "1", "scan"});
        row({"--sim", "restart", "now"});
    }

    void usageErrors()
    {
        QFETCH(QStringList, args);
        const Run r = runCli(args);
        QCOMPARE(r.status, 64);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.startsWith("korvani-cli: ") && r.err.contains("\nusage: korvani-cli [--port NAME | --sim]"),
                 qPrintable(r.err));
    }

    void help()
    {
        const Run r = runCli({"--help"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains("Exit status:\n  0 "));
        QCOMPARE(r.err, QString());
    }
};

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
