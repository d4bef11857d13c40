// korvani-cli as a test station runs it: a real process whose --port is the
// pseudo-terminal of a simulated module owned by the test, so the test sees
// the bytes on the line. Its exit statuses under faults are tst_cli_faults'.

#include "processrun.h"
#include "sim/simulatedmodule.h"

#include <QtTest>

constexpr int Extended = -2;

class TstCli : public QObject
{
    Q_OBJECT

private slots:
    void commandsOnTheLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("busId");  // -1: the only module on the line; Extended: 0x82 frames with known words
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("out");  // a regular expression for the whole output
        const auto row = [](const char *name, const QStringList &args, int busId, const char *sent,
                            const QString &out) { QTest::newRow(name) << args << busId << QString(sent) << out; };
        const QString readings = "^(\\d\\d:\\d\\d:\\d\\d\\.\\d{3},01234,02000,40,0100,2, \n)",
                      reading = readings + "{1}$";
        // The lines themselves are tst_answers'.
        row("info", {"info"}, -1, "56e000b6 56070051 56a000f6 56d00086", "^RANGE: 4321\nIntegration: 250\n(.*\n){13}$");
        row("single", {"single"}, -1, "56020054", reading);
        const QString iso = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d",
                      time = "^\\{\"time\":\"" + iso + "\",";
        row("single, CSV", {"--format", "csv", "single"}, Extended, "56020054",
            "^time,code,distance_mm,amplitude,ambient,temperature_c,driver_current,"
            "w1,w2,w3,w4,w5,w6,w7,w8,w9,w10,w11,w12,w13,w14,w15\n"
                + iso + ",130,1234,2000,100,-10,2,7,1234,2000,100,-5,-10,2,8,9,10,11,-1,2,-32768,32767\n$");
        row("single, JSON", {"--format", "json", "single"}, Extended, "56020054",
            time + "\"code\":130,\"distance_mm\":1234,.*\"words\":\\[7,1234,.*,-32768,32767\\]\\}\n$");
        row("threshold --id", {"--id", "1", "threshold", "70"}, 1, "5601da0446000000cf 5601030054",
            "^threshold: 70\n$");
        row("version --id, JSON", {"--id", "7", "--format", "json", "version"}, 7, "5607080059 56070e005f",
            "^\\{\"firmware\":\"B-1\\.2\\.5\",\"hardware\":\"A-0\\.1\\.2\"\\}\n$");
        row("info, JSON", {"--format", "json", "info"}, -1, "56e000b6 56070051 56a000f6 56d00086",
            "^\\{\"coefficients\":\\{.*\\},\"configuration\":\\{.*\\},\"integration\":250,\"range\":4321\\}\n$");
        row("info, CSV", {"--format", "csv", "info"}, -1, "56e000b6 56070051 56a000f6 56d00086",
            "^field,value\n(coefficients\\.[a-z_]+(\\.\\d)?,[^,\n]+\n){11}(configuration\\.[A-Z_]+(\\.\\d)?,-?\\d+\n){"
            "12}integration,250\nrange,4321\n$");
        row("integration", {"integration", "5280"}, -1, "562002a014c0", "^$");
        row("restart --id", {"--id", "1", "restart"}, 1, "5601fb00ac", "^$");
        row("send", {"send", "da", " e8 03 ", "00", "00"}, -1, "56da04e803000063", "^Received:  89 da 02 e8 03 ba\n$");
        row("measure", {"measure", "--count", "3"}, -1, "56340062 56500006 56060050", readings + "{3}$");
        row("measure --fixed --rate 10", {"measure", "--count", "2", "--rate", "10", "--fixed"}, -1,
            "56310067 56050053 56060050", readings + "{2}$");
        row("measure --id polls", {"--id", "4", "measure", "--count", "3"}, 4, "5604020050 5604020050 5604020050",
            readings + "{3}$");
        row("scan", {"scan", "--from", "2", "--to", "4"}, 3, "560208005c 560308005d 560408005a",
            "^3\tHARD: A-0\\.1\\.2\n$");
    }
    void commandsOnTheLine()
    {
        QFETCH(QStringList, args);
        QFETCH(int, busId);
        QFETCH(QString, sent);
        QFETCH(QString, out);
        SimulatedModule sim;
        sim.setFixedReading(SimulatedModule::Reading{1234, 2000, 40, 100, 2});
        sim.setRangeValue(4321);
        sim.setIntegrationValue(250);
        QVERIFY(sim.open());
        sim.setRs485(busId >= 0, quint8(qMax(busId, 1)));
        sim.setExtendedMode(busId == Extended);
        if (busId == Extended)  // words 7, 1234, 2000, 100, -5, -10, 2, 8, 9, 10, 11, -1, 2, -32768, 32767
            sim.setAnswerData(0x02,
                              QByteArray::fromHex("0700d204d0076400fbfff6ff0200080009000a000b00ffff02000080ff7f"));
        // A generous answer wait: a loaded machine may hold an answer up beyond 100 ms.
        const ProcessRun r = runProcess(KORVANI_CLI, QStringList{"--port", sim.portName(), "--timeout", "1000"} + args);
        QVERIFY2(r.status == 0 && r.err.isEmpty(), qPrintable(QString::number(r.status) + ' ' + r.err));
        QVERIFY2(QRegularExpression(out).match(r.out).hasMatch(), qPrintable(r.out));
        QCOMPARE(QByteArrayList(sim.receivedCommands()).join().toHex(), sent.toLatin1().replace(' ', ""));
    }
};

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
