// A fixture of several modules on one RS485 bus: korvani-cli test --ids as a
// process on the port of a simulated bus owned by the test, one module
// failing, one silent; verdicts, exit status, records and the results rows.

#include "protocol/commands.h"
#include "sim/simulatedbus.h"
#include "sim/simulatedmodule.h"
#include "support/dbreader.h"
#include "support/processrun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A module kind per character: P reads the reference, F 40 mm off, S says nothing.
SimulatedModule::Reading reading(QChar kind)
{
    return SimulatedModule::Reading{quint16(kind == QLatin1Char('F') ? 1540 : 1500), 2500, 35, 100, 1};
}

} // namespace

class TstFixture : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void fixture_data()
    {
        QTest::addColumn<QString>("kinds");   // one per ID, 1, 2, 3 ...
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("expectedFrames");
        QTest::addColumn<int>("pollRate");
        QTest::newRow("one failing, one silent") << "PFS" << QStringList{"--count", "25"} << 2 << 25 << 100;
        QTest::newRow("one failing") << "PF" << QStringList{"--count", "25"} << 1 << 25 << 100;
        QTest::newRow("all pass") << "PPP" << QStringList{"--count", "25"} << 0 << 25 << 100;
        // 9600 baud: two modules, 5-byte polls and 11-byte answers of 10 bits
        // a byte: 9600 / 320 = 30 polls a second each, 30 in a second.
        QTest::newRow("slow line, a duration") << "PP" << QStringList{"--baud", "9600", "--duration", "1"} << 0 << 30 << 30;
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
        const QString db = dir.filePath(QStringLiteral("%1.sqlite").arg(QTest::currentDataTag()).replace(' ', '_').remove(','));
        const QString records = dir.filePath(QStringLiteral("records.csv"));
        // A generous answer time-out: the bus answers on this test's loaded event loop.
        QStringList args{"--port", bus.portName(), "--timeout", "1000", "test", "--ids", QStringLiteral("1-%1").arg(kinds.size()),
                         "--reference", "1500", "--tolerance", "5", "--format", "json", "--db", db,
                         "--station", "fixture", "--output", records};
        for (int i = 0; i < kinds.size(); ++i)
            args << "--serial" << QStringLiteral("%1=SN-%1").arg(i + 1);
        const ProcessRun r = runProcess(KORVANI_CLI, args + extra);
        QVERIFY2(r.status == status, qPrintable(r.err));

        // One summary object per module, in the order listed.
        const QList<QByteArray> lines = r.out.toUtf8().trimmed().split('\n');
        QCOMPARE(lines.size(), kinds.size());
        for (int i = 0; i < kinds.size(); ++i) {
            const QJsonObject s = QJsonDocument::fromJson(lines.at(i)).object().value("summary").toObject();
            const QChar kind = kinds.at(i);
            QCOMPARE(s.value("id").toInt(), i + 1);
            QCOMPARE(s.value("verdict").toString(), kind == 'P' ? QString("PASS") : kind == 'F' ? QString("FAIL") : QString("ERROR"));
            QCOMPARE(s.value("frames").toInt(), kind == 'S' ? 0 : expectedFrames);
            QCOMPARE(s.value("expected").toInt(), expectedFrames);
            QCOMPARE(s.value("poll_rate_hz").toInt(), pollRate);
            // A module never measured has no figures, not zeros; the others say whether they passed marginally.
            QCOMPARE(s.value("outside").isNull(), kind == 'S');
            QCOMPARE(s.value("frames").isNull(), kind == 'S');
            QCOMPARE(s.value("marginal"), kind == 'S' ? QJsonValue(QJsonValue::Undefined) : QJsonValue(false));
            if (kind == 'S')
                QVERIFY2(r.err.contains("id 3: the module did not answer"), qPrintable(r.err));
        }

        // The records carry the ID; the modules are polled in turn, the rounds
        // evenly spaced from the first (no burst of late rounds at the start).
        QFile file(records);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = file.readAll().trimmed().split('\n');
        const int answering = kinds.size() - int(kinds.count('S'));
        QCOMPARE(rows.size(), answering * expectedFrames);
        for (int k = 0; k < rows.size(); ++k) {
            const QJsonObject record = QJsonDocument::fromJson(rows.at(k)).object();
            const int id = record.value("id").toInt();
            QCOMPARE(id, k % answering + 1);
            QCOMPARE(record.value("distance_mm").toInt(), int(reading(kinds.at(id - 1)).distance));
        }
        const auto timeOf = [&rows](int k) {
            return QDateTime::fromString(QJsonDocument::fromJson(rows.at(k)).object().value("time").toString(), Qt::ISODateWithMs);
        };
        const qint64 firstRounds = timeOf(0).msecsTo(timeOf(4 * answering));  // four periods
        QVERIFY2(firstRounds >= 3 * 1000 / pollRate, qPrintable(QString::number(firstRounds)));

        // One row per module, with its ID, serial number, firmware and status.
        const QVector<QVariantList> runs = DbReader(db).rows(QStringLiteral(
            "SELECT device_id, serial_number, firmware_version, status, result, frames, station, exit_status"
            " FROM runs ORDER BY device_id"));
        QCOMPARE(runs.size(), kinds.size());
        for (int i = 0; i < kinds.size(); ++i) {
            const QVariantList &row = runs.at(i);
            const QChar kind = kinds.at(i);
            QCOMPARE(row.value(0).toInt(), i + 1);
            QCOMPARE(row.value(1).toString(), QStringLiteral("SN-%1").arg(i + 1));
            QCOMPARE(row.value(2).toString(), kind == 'S' ? QString() : QStringLiteral("B-1.2.%1").arg(i));
            QCOMPARE(row.value(3).toString(), kind == 'S' ? QString("ERROR") : QString("COMPLETE"));
            QCOMPARE(row.value(4).toString(), kind == 'S' ? QString() : kind == 'P' ? QString("PASS") : QString("FAIL"));
            QCOMPARE(row.value(5).toInt(), kind == 'S' ? 0 : expectedFrames);
            QCOMPARE(row.value(6).toString(), QStringLiteral("fixture"));
            QCOMPARE(row.value(7).toInt(), kind == 'S' ? 2 : kind == 'P' ? 0 : 1);
        }
    }

    // Text: every summary line and the verdict prefixed by the module's ID;
    // CSV records: an id column.
    void csvAndTextPerModule()
    {
        SimulatedBus bus;
        bus.addModule(4)->setFixedReading(reading('P'));
        bus.addModule(9)->setFixedReading(reading('F'));
        QVERIFY(bus.open());
        const QString csv = dir.filePath("records.csv");
        const ProcessRun r = runProcess(KORVANI_CLI, {"--port", bus.portName(), "--timeout", "1000", "test", "--ids", "4,9", "--reference", "1500",
                              "--tolerance", "5", "--count", "5", "--format", "csv", "--output", csv});
        QVERIFY2(r.status == 1, qPrintable(r.err));
        QList<QByteArray> lines = r.out.toUtf8().trimmed().split('\n');
        for (const QByteArray &line : lines)
            QVERIFY2(line.startsWith("# id 4: ") || line.startsWith("# id 9: "), line.constData());
        QVERIFY(lines.contains("# id 4: verdict: PASS"));
        QVERIFY(lines.contains("# id 9: verdict: FAIL: accuracy 40.000 mm beyond tolerance 5.000 mm; outside 5 > 0"));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        lines = file.readAll().trimmed().split('\n');
        QVERIFY(lines.takeFirst().startsWith("id,time,code,distance_mm,"));
        QCOMPARE(lines.size(), 10);
        for (int k = 0; k < lines.size(); ++k)
            QVERIFY2(lines.at(k).startsWith(k % 2 ? "9," : "4,"), lines.at(k).constData());

        const ProcessRun text = runProcess(KORVANI_CLI, {"--port", bus.portName(), "--timeout", "1000", "test", "--ids", "4,9", "--reference", "1540",
                                 "--tolerance", "5", "--count", "5", "--output", dir.filePath("records.txt")});
        QVERIFY2(text.status == 1, qPrintable(text.err));
        lines = text.out.toUtf8().trimmed().split('\n');
        for (const QByteArray &line : lines)
            QVERIFY2(line.startsWith("id 4: ") || line.startsWith("id 9: "), line.constData());
        QVERIFY(lines.contains("id 4: FAIL: accuracy -40.000 mm beyond tolerance 5.000 mm; outside 5 > 0"));
        QVERIFY(lines.contains("id 9: PASS"));
    }
};

QTEST_GUILESS_MAIN(TstFixture)
#include "tst_fixture.moc"
