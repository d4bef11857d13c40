// korvani-cli's capture and replay as a test station uses them: a live run
// captured, then replayed offline to the same records and summary; replayed
// by korvani-sim on a pseudo-terminal; measured on recorded time; and every
// malformed capture refused by both programs (a capture cut off mid-line,
// tst_capturefile's).

#include "protocol/capturefile.h"
#include "sim/responseframes.h"
#include "support/processrun.h"
#include "support/testfiles.h"

#include <QtTest>

namespace {

// A capture of `frames` measurements 10 ms apart, distance 1000 + i % 50.
QByteArray syntheticCapture(int frames)
{
    QByteArray out =
        CaptureFormat::header(QDateTime::fromMSecsSinceEpoch(1796000000000), QStringLiteral("/dev/ttyUSB0"), 115200);
    CaptureFormat::appendEvent(out, 0, CaptureDirection::Tx, QByteArray::fromHex("56050059"));
    for (int i = 0; i < frames; ++i)
        CaptureFormat::appendEvent(out, 10000 + qint64(i) * 10000, CaptureDirection::Rx,
                                   measurementFrame(SensorReading{quint16(1000 + i % 50), 3000, 30, 100, 1}));
    return out;
}

// The file's path, or an empty one when it cannot be written.
QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    return writeTestFile(dir.filePath(name), content) ? dir.filePath(name) : QString();
}

// A column of the measurement records (code 129) in CSV output: 0 the time, 2 the distance.
QStringList column(const QString &csv, int index)
{
    QStringList d;
    for (const QString &line : csv.split(QLatin1Char('\n'))) {
        const QStringList fields = line.split(QLatin1Char(','));
        if (fields.size() > 3 && fields[1] == QLatin1String("129"))
            d << fields[index];
    }
    return d;
}

}  // namespace

class TstCliReplay : public QObject
{
    Q_OBJECT

private slots:
    // The replay gives every record its recorded time: the same output, summary and verdict.
    void captureThenReplay_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::newRow("measure, csv") << QStringList{"--format", "csv", "measure", "--count", "120", "--stats"};
        QTest::newRow("test, json")
            << QString("--format json test --reference 1500 --tolerance 4 --max-sigma 3 --count 120").split(' ');
        // The versions the capture recorded, checked as the live run checked the module's.
        QTest::newRow("test, version patterns") << QStringList{"test", "--limits", "LIMITS", "--count", "20"};
    }

    void captureThenReplay()
    {
        QFETCH(QStringList, command);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("live.txt"));
        command.replaceInStrings(QStringLiteral("LIMITS"),
                                 writeFile(dir, QStringLiteral("limits.json"),
                                           "{\"reference_mm\": 1500, \"tolerance_mm\": 5, \"max_outside\": 5, "
                                           "\"hardware\": \"A-0\\\\.1\\\\.2\", \"firmware\": \"B-1\\\\.2\\\\.5\"}"));
        const ProcessRun live = runProcess(KORVANI_CLI, QStringList{"--sim", "--capture", path} + command);
        QVERIFY2(live.status == 0 || (live.status == 1 && !live.out.contains(QLatin1String("does not match"))),
                 qPrintable(live.out + live.err));
        QVERIFY(live.out.contains(QLatin1String("mean")));
        const ProcessRun replayed = runProcess(KORVANI_CLI, QStringList{"--replay", path} + command);
        QCOMPARE(replayed.status, live.status);
        QCOMPARE(replayed.out, live.out);
    }

    // --duration counts recorded time: 1 s of a 5 s capture, however fast it is read.
    void durationOnRecordedTime()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("five.txt"), syntheticCapture(500));
        const ProcessRun r =
            runProcess(KORVANI_CLI, {"--replay", path, "--format", "csv", "measure", "--duration", "1", "--stats"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(QLatin1String("# frames: 100\n")), qPrintable(r.out.right(300)));
        QVERIFY(r.out.contains(QLatin1String("# rate_hz: 100.00\n")));
        QCOMPARE(column(r.out, 2).first(), QStringLiteral("1000"));
        // The recorded date, not today's.
        QVERIFY(r.out.contains(
            QDateTime::fromMSecsSinceEpoch(1796000000010).toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz"))));
    }

    // korvani-sim plays the capture on its line from the first command, at
    // 20 times the recorded pace (3 s in 150 ms, not at once); the command
    // line measures it like a module.
    void simulatorPlaysTheCapture()
    {
        QTemporaryDir dir;
        QProcess sim;
        sim.start(KORVANI_SIM, {"--replay", writeFile(dir, "play.txt", syntheticCapture(300)), "--speed", "20"});
        QVERIFY(sim.waitForReadyRead(10000));
        const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed();
        const ProcessRun r = runProcess(
            KORVANI_CLI, {"--port", port, "--timeout", "5000", "--format", "csv", "measure", "--count", "300"});
        sim.terminate();
        sim.waitForFinished(10000);
        QCOMPARE(r.status, 0);
        QStringList want;
        for (int i = 0; i < 300; ++i)
            want << QString::number(1000 + i % 50);
        QCOMPARE(column(r.out, 2), want);
        const QStringList times = column(r.out, 0);
        const qint64 spanMs = QDateTime::fromString(times.first(), Qt::ISODateWithMs)
                                  .msecsTo(QDateTime::fromString(times.last(), Qt::ISODateWithMs));
        QVERIFY2(spanMs >= 100, qPrintable(QString::number(spanMs)));
    }

    // A malformed capture is refused by both programs before anything is
    // measured: "FILE:LINE: reason", status 64 (the reader's every refusal
    // is tst_capturefile's).
    void malformedCapture()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, "bad.txt", syntheticCapture(3) + "0.5 rx 89zz\n");
        for (const QStringList &command : {QStringList{KORVANI_CLI, "--replay", path, "measure", "--stats"},
                                           QStringList{KORVANI_SIM, "--replay", path}}) {
            const ProcessRun r = runProcess(command.first(), command.mid(1));
            QCOMPARE(r.status, 64);
            QVERIFY2(r.err.contains(path + ":7: bad hex"), qPrintable(r.err));
            QVERIFY(r.out.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TstCliReplay)
#include "tst_cli_replay.moc"
