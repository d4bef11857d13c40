// Runs across the module's range and type-1 studies: korvani-cli as a process
// on the port of a simulated module owned by the test, with a linearity
// error and a target that the run's move command puts at each point. The
// figures themselves are tst_rangefigures'; here, that each point measures
// with the target there and its figures and line reach the summary.

#include "processrun.h"
#include "testfiles.h"
#include "sim/simoptions.h"
#include "sim/simulatedmodule.h"

#include <QtTest>

#include <cmath>

namespace {

// korvani-cli with no controlling terminal (setsid), as a station's script runs it.
ProcessRun runCli(const QStringList &args)
{
    return runProcess(QStringLiteral("setsid"), QStringList{QStringLiteral(KORVANI_CLI)} + args);
}

QJsonObject summaryOf(const QString &line)
{
    return QJsonDocument::fromJson(line.toUtf8()).object().value(QStringLiteral("summary")).toObject();
}

constexpr double Scale = 1.002, OffsetMm = 1.0;

}  // namespace

class TstRange : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    SimulatedModule module;
    std::unique_ptr<SimSession> session;
    QString target = dir.filePath(QStringLiteral("target"));

    QStringList line() const { return {QStringLiteral("--port"), session->portName()}; }

private slots:
    void initTestCase()
    {
        SimOptions o;
        o.scale = Scale;
        o.offsetMm = OffsetMm;
        o.targetFile = target;
        o.rateHz = 100;
        session = std::make_unique<SimSession>(module, o);
        QVERIFY2(session->start(), qPrintable(session->errorString()));
    }

    void pointsAcrossTheRange_data()
    {
        QTest::addColumn<QString>("move");  // the move command; {T}: the target file, {L}: the log
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("measured");     // points in the summary
        QTest::addColumn<QString>("message");  // in standard error or the failed limits
        const QString moves = "echo $KORVANI_POINT_MM > {T}; echo $KORVANI_POINT_INDEX:$KORVANI_POINT_MM >> {L}";
        QTest::newRow("moved, in tolerance") << moves << QStringList() << 0 << 3 << QString();
        QTest::newRow("slope beyond the limit")
            << moves << QStringList{"--max-slope", "0.001"} << 1 << 3 << "slope 0.00";
        QTest::newRow("move fails at point 2") << "test $KORVANI_POINT_INDEX = 1 || exit 1; " + moves << QStringList()
                                               << 2 << 1 << "point 2 (1000 mm): the move command exited with status 1";
        QTest::newRow("move hangs at point 3")
            << "if [ $KORVANI_POINT_INDEX = 3 ]; then exec sleep 60; fi; " + moves << QStringList{"--move-timeout", "1"}
            << 2 << 2 << "point 3 (2000 mm): the move command did not finish within 1 s";
    }
    void pointsAcrossTheRange()
    {
        QFETCH(QString, move);
        QFETCH(QStringList, extra);
        QFETCH(int, status);
        QFETCH(int, measured);
        QFETCH(QString, message);
        const QString records = dir.filePath("records.json"), log = dir.filePath("moves");
        QFile::remove(log);
        QVERIFY(writeTestFile(target, ""));  // the target starts at 0 mm
        move.replace("{T}", target).replace("{L}", log);

        const ProcessRun r =
            runCli(line()
                   + QStringList{"--format", "json", "test", "--points", "500,1000,2000", "--tolerance", "10",
                                 "--count", "20", "--output", records, "--move", move}
                   + extra);
        QCOMPARE(r.status, status);
        const QJsonObject summary = summaryOf(r.out.trimmed().section('\n', -1));
        const QJsonArray points = summary.value("points").toArray();
        QCOMPARE(points.size(), measured);
        QVERIFY2(message.isEmpty() ? summary.value("result").toString() == "PASS" : (r.err + r.out).contains(message),
                 qPrintable(r.err));

        // Every record is labelled with its point; a point's bias is the
        // module's error there (its mean less the reference, so measured with
        // the target there); the line's slope, its scale error (the fit is
        // tst_rangefigures').
        QMap<int, int> recordsAt;
        for (const QByteArray &record : readTestFile(records).trimmed().split('\n'))
            ++recordsAt[QJsonDocument::fromJson(record).object().value("reference_mm").toInt()];
        QCOMPARE(recordsAt.size(), measured);
        for (const QJsonValue &v : points) {
            const int reference = v["reference_mm"].toInt();
            const double bias = v["bias_mm"].toDouble();
            QCOMPARE(v["frames"].toInt(), recordsAt.value(reference));
            QVERIFY2(std::abs(bias - (Scale - 1) * reference - OffsetMm) < 2,
                     qPrintable(QStringLiteral("bias %1 mm at the %2 mm point").arg(bias).arg(reference)));
        }
        // Over all three points the noise moves the slope by about 0.0002;
        // over the first two (500 mm apart) by about 0.0006, so there only
        // that there is one.
        const QJsonValue slope = summary.value("linearity").toObject().value("slope");
        QVERIFY2(measured < 2       ? slope.isNull()
                     : measured < 3 ? slope.isDouble()
                                    : std::abs(slope.toDouble() - (Scale - 1)) < 0.001,
                 qPrintable(QString::number(slope.toDouble())));

        // The move command saw its point; a failed one was the last run.
        QCOMPARE(readTestFile(log).trimmed().split('\n').size(), measured);
    }

    // A fixture across the range: the target moved once per point, every
    // module of the bus measured there, each with its own points and line; a
    // silent module is an ERROR and the others are still judged.
    void fixtureAcrossTheRange()
    {
        SimOptions o;
        o.targetFile = target;
        o.rateHz = 100;
        for (const char *module : {"1", "2,scale=1.003", "3,silent"})
            o.bus << *parseBusModule(QString::fromLatin1(module), nullptr);
        SimulatedModule unused;
        SimSession bus(unused, o);
        QVERIFY2(bus.start(), qPrintable(bus.errorString()));
        const QString log = dir.filePath("fixture-moves");
        // A second's time-out, as a bus's answers are timed on a loaded machine.
        const ProcessRun r =
            runCli({"--port", bus.portName(), "--timeout", "1000", "--format", "json", "test", "--ids", "1-3",
                    "--points", "500,1500", "--tolerance", "10", "--max-outside", "20", "--count", "20", "--move",
                    QStringLiteral("echo $KORVANI_POINT_MM | tee %1 >> %2").arg(target, log)});
        QCOMPARE(r.status, 2);
        QCOMPARE(readTestFile(log), QByteArray("500\n1500\n"));
        // Module 2 reads 0.3 % long: its line says so, module 1's is flat.
        QStringList modules;
        for (const QString &line : r.out.trimmed().split('\n')) {
            const QJsonObject s = summaryOf(line);
            const QJsonArray points = s["points"].toArray();
            if (!s.isEmpty())
                modules << QStringLiteral("%1 %2 %3 %4 %5")
                               .arg(s["id"].toInt())
                               .arg(s["result"].toString())
                               .arg(points[0]["frames"].toInt())
                               .arg(points[1]["frames"].toInt())
                               .arg(std::lround(s["linearity"]["slope"].toDouble() / 0.003));
        }
        modules.sort();
        QCOMPARE(modules, QStringList({"1 PASS 20 20 0", "2 PASS 20 20 1", "3 ERROR 0 0 0"}));
    }

    // The other ways a run goes, one process each: a study, its figures and
    // the note that a tolerance of 4 mm is below 20 resolutions; without
    // --move on a terminal (a pseudo-terminal that `script` gives the run),
    // each point asked for and the answer read a line at a time (Enter
    // measures, q stops: a test cut short, 1); without --move and without a
    // terminal (a script), asking is impossible: a usage error naming --move.
    void otherRuns_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");  // a regular expression for standard output and error
        QTest::newRow("study")
            << "--format json study --reference 1500 --tolerance 2 --count 30 --output /dev/null" << false << 1
            << "^\\{\"summary\":\\{\"frames\":30,.*,\"cg\":\\d+\\.\\d{3},\"cgk\":-?\\d+\\.\\d{3},"
               "\"result\":\"NOT CAPABLE\",.*\"notes\":\\[\"[^\"]*cannot resolve this tolerance\"\\]";
        QTest::newRow("asked on a terminal")
            << "test --points 500,1000,2000 --tolerance 5 --count 5 --output /dev/null" << true << 1
            << "Place the target at 500 mm[^\n]*then press Enter; q stops[\\s\\S]*Place the target at 1000 mm[^\n]*"
               "then press Enter; q stops[\\s\\S]*point 2 \\(1000 mm\\): stopped at the prompt";
        QTest::newRow("no terminal, no --move") << "test --points 500,1000 --tolerance 5" << false << 64 << "--move";
    }
    void otherRuns()
    {
        QFETCH(QString, args);
        QFETCH(bool, terminal);
        QFETCH(int, status);
        QFETCH(QString, output);
        QVERIFY(writeTestFile(target, "1500"));
        const QStringList cli = line() + args.split(' ');
        ProcessOptions typed;
        typed.input = "\nq\n";
        const ProcessRun r = terminal
            ? runProcess("script", {"-qec", (QStringList{KORVANI_CLI} + cli).join(' '), "/dev/null"}, typed)
            : runCli(cli);
        QCOMPARE(r.status, status);
        QVERIFY2(QRegularExpression(output).match(r.out + r.err).hasMatch(), qPrintable(r.out + r.err));
    }
};

QTEST_GUILESS_MAIN(TstRange)
#include "tst_range.moc"
