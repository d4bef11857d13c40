// A fixture of several modules on one RS485 bus: korvani-cli test --ids as a
// process on the port of a simulated bus owned by the test, one module
// failing, one silent; verdicts, exit status, records and the results rows.

#include "protocol/commands.h"
#include "sim/simulatedbus.h"
#include "sim/simulatedmodule.h"
#include "support/dbreader.h"
#include "support/processrun.h"
#include "support/testfiles.h"

#include <QtTest>

namespace {

// A module kind per character: P reads the reference, F 40 mm off, S says nothing.
SimulatedModule::Reading reading(QChar kind)
{
    return SimulatedModule::Reading{quint16(kind == QLatin1Char('F') ? 1540 : 1500), 2500, 35, 100, 1};
}

// What a module of a kind leaves, {n} standing for the frames expected, {r}
// for the poll rate, {fw} for its firmware: its summary's verdict, frames,
// expected, poll_rate_hz, outside, marginal; its row's firmware_version,
// status, result, frames, exit_status.
QString left(QChar kind, bool row)
{
    if (kind == 'P')
        return row ? "{fw}|COMPLETE|PASS|{n}|0" : "PASS {n} {n} {r} 0 false";
    if (kind == 'F')
        return row ? "{fw}|COMPLETE|FAIL|{n}|1" : "FAIL {n} {n} {r} {n} false";
    return row ? "|ERROR||0|2" : "ERROR null {n} {r} null -";
}

}  // namespace

class TstFixture : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void fixture_data()
    {
        QTest::addColumn<QString>("kinds");  // one per ID, 1, 2, 3 ...
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("expectedFrames");
        QTest::addColumn<int>("pollRate");
        QTest::newRow("one failing, one silent") << "PFS" << QStringList{"--count", "25"} << 2 << 25 << 100;
        // Not the default rate: a poll timer that ignores it polls too early.
        QTest::newRow("all pass, a lower rate")
            << "PPP" << QStringList{"--count", "25", "--rate", "50"} << 0 << 25 << 50;
        // 9600 baud: two modules, 5-byte polls and 11-byte answers of 10 bits
        // a byte: 9600 / 320 = 30 polls a second each, 30 in a second.
        QTest::newRow("slow line, a duration")
            << "PP" << QStringList{"--baud", "9600", "--duration", "1"} << 0 << 30 << 30;
    }
    void fixture()
    {
        QFETCH(QString, kinds);
        QFETCH(QStringList, extra);
        QFETCH(int, status);
        QFETCH(int, expectedFrames);
        QFETCH(int, pollRate);

        SimulatedBus bus;
        for (int i = 0; i < kinds.size(); ++i) {
            SimulatedModule *m = bus.addModule(quint8(i + 1));
            m->setFixedReading(reading(kinds.at(i)));
            m->setFirmwareVersion(QByteArray("B21") + char('0' + i));
            m->setSilent(kinds.at(i) == QLatin1Char('S'));
        }
        QVERIFY2(bus.open(), qPrintable(bus.errorString()));
        const QString db = dir.filePath(kinds + ".sqlite"), records = dir.filePath("records.json");
        // A generous answer time-out: the bus answers on this test's loaded event loop.
        QStringList args = QStringLiteral("--port %1 --timeout 1000 test --ids 1-%2 --reference 1500 --tolerance 5 "
                                          "--format json --db %3 --station fixture --output %4")
                               .arg(bus.portName())
                               .arg(kinds.size())
                               .arg(db, records)
                               .split(' ');
        for (int i = 0; i < kinds.size(); ++i)
            args << "--serial" << QStringLiteral("%1=SN-%1").arg(i + 1);
        const ProcessRun r = runProcess(KORVANI_CLI, args + extra);
        QVERIFY2(r.status == status, qPrintable(r.err));
        QVERIFY2(!kinds.contains('S') || r.err.contains("id 3: the module did not answer"), qPrintable(r.err));

        // One summary object per module, in the order listed; a module never
        // measured has no figures, not zeros, and is not called marginal.
        const QList<QByteArray> lines = r.out.toUtf8().trimmed().split('\n');
        QCOMPARE(lines.size(), kinds.size());
        const auto expected = [&](int i, bool row) {
            return left(kinds.at(i), row)
                .replace("{n}", QString::number(expectedFrames))
                .replace("{r}", QString::number(pollRate))
                .replace("{fw}", "B-1.2." + QString::number(i));
        };
        for (int i = 0; i < kinds.size(); ++i) {
            const QJsonObject s = QJsonDocument::fromJson(lines.at(i)).object().value("summary").toObject();
            QStringList shown;
            for (const char *key : {"verdict", "frames", "expected", "poll_rate_hz", "outside", "marginal"})
                shown << (s.value(key).isUndefined()  ? "-"
                              : s.value(key).isNull() ? "null"
                                                      : s.value(key).toVariant().toString());
            QCOMPARE(s.value("id").toInt(), i + 1);
            QCOMPARE(shown.join(' '), expected(i, false));
        }

        // The records carry the ID; the modules are polled in turn, the rounds
        // evenly spaced from the first (no burst of late rounds at the start).
        const QList<QByteArray> rows = readTestFile(records).trimmed().split('\n');
        const int answering = kinds.size() - int(kinds.count('S'));
        QCOMPARE(rows.size(), answering * expectedFrames);
        for (int k = 0; k < rows.size(); ++k) {
            const QJsonObject record = QJsonDocument::fromJson(rows.at(k)).object();
            QCOMPARE(record.value("id").toInt(), k % answering + 1);
            QCOMPARE(record.value("distance_mm").toInt(), int(reading(kinds.at(k % answering)).distance));
        }
        const auto timeOf = [&rows](int k) {
            return QDateTime::fromString(QJsonDocument::fromJson(rows.at(k)).object().value("time").toString(),
                                         Qt::ISODateWithMs);
        };
        const qint64 firstRounds = timeOf(0).msecsTo(timeOf(4 * answering));  // four periods
        QVERIFY2(firstRounds >= 3 * 1000 / pollRate, qPrintable(QString::number(firstRounds)));

        // One row per module, with its ID, serial number, firmware and status.
        const QVector<QVariantList> stored =
            DbReader(db).rows("SELECT device_id, serial_number, station, firmware_version,"
                              " status, result, frames, exit_status FROM runs ORDER BY device_id");
        QCOMPARE(stored.size(), kinds.size());
        for (int i = 0; i < kinds.size(); ++i)
            QCOMPARE(QVariant(stored.at(i)).toStringList().join('|'),
                     QStringLiteral("%1|SN-%1|fixture|").arg(i + 1) + expected(i, true));
    }

    // Module 2 tells its versions in time but answers each poll 1.5 s late,
    // past the 1 s time-out: those answers must not be taken for module 3's
    // (which would then read 40 mm off) or, a round on, for module 1's. In
    // CSV every summary line and verdict is prefixed by the module's ID, and
    // the records have an id column.
    void lateAnswerNotTheNextModules()
    {
        SimulatedBus bus;
        bus.addModule(1)->setFixedReading(reading('P'));
        SimulatedModule *late = bus.addModule(2);
        late->setFixedReading(reading('F'));
        connect(late, &SimulatedModule::commandReceived, late, [late](const QByteArray &command) {
            late->setAnswerDelayMs(command == commandFrame(Command::Single, {}, 2) ? 1500 : 0);
        });
        bus.addModule(3)->setFixedReading(reading('P'));
        QVERIFY(bus.open());
        const QString csv = dir.filePath("records.csv");
        const ProcessRun r =
            runProcess(KORVANI_CLI,
                       {"--port", bus.portName(), "--timeout", "1000", "test", "--ids", "1-3", "--reference", "1500",
                        "--tolerance", "5", "--count", "5", "--format", "csv", "--output", csv});
        QVERIFY2(r.status == 2, qPrintable(r.out + r.err));
        QVERIFY2(QRegularExpression("^(# id [123]: [^\n]*\n)+$").match(r.out).hasMatch(), qPrintable(r.out));
        for (const char *verdict :
             {"1: verdict: PASS\n", "2: verdict: ERROR: the module did not answer (no measurement)\n",
              "3: verdict: PASS\n"})
            QVERIFY2(r.out.contains(QStringLiteral("\n# id ") + verdict), qPrintable(r.out));
        QList<QByteArray> lines = readTestFile(csv).trimmed().split('\n');
        QVERIFY(lines.takeFirst().startsWith("id,time,code,distance_mm,"));
        QCOMPARE(lines.size(), 10);
        for (int k = 0; k < lines.size(); ++k) {
            const QList<QByteArray> fields = lines.at(k).split(',');
            QCOMPARE(fields.value(0) + ' ' + fields.value(3), QByteArray(k % 2 ? "3 1500" : "1 1500"));
        }
    }
};

QTEST_GUILESS_MAIN(TstFixture)
#include "tst_fixture.moc"
