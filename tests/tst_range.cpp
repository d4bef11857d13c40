// Runs across the module's range and type-1 studies: korvani-cli as a process
// on the port of a simulated module owned by the test, with a linearity
// error and a target that the run's move command puts at each point. The
// per-point figures and the line are checked against what the test works out
// from the records it read; the study's Cg/Cgk likewise.

#include "sim/simoptions.h"
#include "sim/simulatedmodule.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

struct Run { int status = -1; QByteArray out, err; };

// Runs korvani-cli with no controlling terminal (setsid), as a station's
// script would; the module answers on this event loop meanwhile.
Run runCli(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("setsid"), QStringList{QStringLiteral(KORVANI_CLI)} + args);
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 90000))
        p.kill(), p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

QJsonObject summaryOf(const QByteArray &out)
{
    return QJsonDocument::fromJson(out.trimmed().split('\n').last()).object().value(QStringLiteral("summary")).toObject();
}

// Mean and sample sigma of distances.
struct Figures {
    double mean = 0, sigma = 0;
    int n = 0;
};

Figures figuresOf(const QVector<int> &distances)
{
    Figures f;
    f.n = distances.size();
    for (int d : distances)
        f.mean += d;
    f.mean /= f.n;
    for (int d : distances)
        f.sigma += (d - f.mean) * (d - f.mean);
    f.sigma = std::sqrt(f.sigma / (f.n - 1));
    return f;
}

constexpr double Scale = 1.002, OffsetMm = 1.0;

} // namespace

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
        QTest::addColumn<int>("measured");   // points in the summary
        QTest::addColumn<QString>("message");  // in standard error or the failed limits
        const QString moves = QStringLiteral("echo $KORVANI_POINT_MM > {T}; echo $KORVANI_POINT_INDEX:$KORVANI_POINT_MM >> {L}");
        QTest::newRow("moved, in tolerance") << moves << QStringList() << 0 << 3 << QString();
        QTest::newRow("slope beyond the limit") << moves << QStringList{"--max-slope", "0.001"} << 1 << 3 << "slope 0.00";
        QTest::newRow("move fails at point 2")
            << "test $KORVANI_POINT_INDEX = 1 || exit 1; " + moves << QStringList() << 2 << 1
            << "point 2 (1000 mm): the move command exited with status 1";
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
        const QString records = dir.filePath(QStringLiteral("records.json")), log = dir.filePath(QStringLiteral("moves"));
        QFile::remove(log);
        QVERIFY(QFile(target).open(QIODevice::WriteOnly));  // the target starts at 0 mm
        move.replace(QLatin1String("{T}"), target).replace(QLatin1String("{L}"), log);

        const Run r = runCli(line() + QStringList{"--format", "json", "test", "--points", "500,1000,2000", "--tolerance",
                                                   "10", "--count", "20", "--output", records, "--move", move} + extra);
        QCOMPARE(r.status, status);
        const QJsonObject summary = summaryOf(r.out);
        const QJsonArray points = summary.value(QStringLiteral("points")).toArray();
        QCOMPARE(points.size(), measured);
        QVERIFY2((message.isEmpty() ? summary.value("result").toString() == QLatin1String("PASS")
                                    : QString::fromUtf8(r.err + r.out).contains(message)),
                 r.err.constData());

        // The records by point: only frames taken with the target there.
        QFile file(records);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QMap<int, QVector<int>> byPoint;
        for (const QByteArray &record : file.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(record).object();
            if (!o.isEmpty())
                byPoint[o.value("reference_mm").toInt()] << o.value("distance_mm").toInt();
        }
        QCOMPARE(byPoint.size(), measured);
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (const QJsonValue &v : points) {
            const QJsonObject p = v.toObject();
            const int reference = p.value("reference_mm").toInt();
            const QVector<int> distances = byPoint.value(reference);
            const double seen = Scale * reference + OffsetMm;
            for (int d : distances)
                QVERIFY2(std::abs(d - seen) < 8, qPrintable(QStringLiteral("%1 mm at the %2 mm point").arg(d).arg(reference)));
            const Figures f = figuresOf(distances);
            QCOMPARE(p.value("frames").toInt(), f.n);
            QVERIFY(std::abs(p.value("mean_mm").toDouble() - f.mean) <= 0.0005);
            QVERIFY(std::abs(p.value("bias_mm").toDouble() - (f.mean - reference)) <= 0.0005);
            QVERIFY(std::abs(p.value("sigma_mm").toDouble() - f.sigma) <= 0.0005);
            sx += reference;
            sy += f.mean - reference;
            sxx += double(reference) * reference;
            sxy += reference * (f.mean - reference);
        }
        // The line of bias against reference, from the records' means.
        const QJsonObject linearity = summary.value(QStringLiteral("linearity")).toObject();
        const int n = points.size();
        if (n >= 2) {
            const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
            QVERIFY2(std::abs(linearity.value("slope").toDouble() - slope) <= 0.0000015,
                     qPrintable(QString::number(slope, 'f', 7)));
            QVERIFY(std::abs(linearity.value("intercept_mm").toDouble() - (sy - slope * sx) / n) <= 0.0015);
        } else {
            QVERIFY(linearity.value("slope").isNull());
        }

        // The move command saw its point; a failed one was the last run.
        QFile moves(log);
        QVERIFY(moves.open(QIODevice::ReadOnly));
        QCOMPARE(moves.readAll().trimmed().split('\n').size(), measured);
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
        const QString log = dir.filePath(QStringLiteral("fixture-moves"));
        // A second's time-out, as a bus's answers are timed on a loaded machine: an answer
        // later than its poll's time-out would be counted for the next module polled.
        const Run r = runCli({"--port", bus.portName(), "--timeout", "1000", "--format", "json", "test", "--ids", "1-3",
                              "--points", "500,1500",
                              "--tolerance", "10", "--max-outside", "20", "--count", "20", "--move",
                              QStringLiteral("echo $KORVANI_POINT_MM > %1; echo $KORVANI_POINT_MM >> %2").arg(target, log)});
        QCOMPARE(r.status, 2);
        QFile moves(log);
        QVERIFY(moves.open(QIODevice::ReadOnly));
        QCOMPARE(moves.readAll(), QByteArray("500\n1500\n"));
        QMap<int, QJsonObject> byId;
        for (const QByteArray &line : r.out.trimmed().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.contains(QStringLiteral("summary")))
                byId[o["summary"].toObject()["id"].toInt()] = o["summary"].toObject();
        }
        QCOMPARE(byId.keys(), QList<int>({1, 2, 3}));
        QCOMPARE(byId[3]["result"].toString(), QStringLiteral("ERROR"));
        for (int id : {1, 2}) {
            QCOMPARE(byId[id]["points"].toArray().size(), 2);
            for (const QJsonValue &p : byId[id]["points"].toArray())
                QCOMPARE(p.toObject()["frames"].toInt(), 20);
        }
        // Module 2 reads 0.3 % long: its line says so, module 1's is flat.
        const QByteArray summaries = QJsonDocument(QJsonObject{{"1", byId[1]}, {"2", byId[2]}}).toJson(QJsonDocument::Compact);
        QVERIFY2(std::abs(byId[2]["linearity"].toObject()["slope"].toDouble() - 0.003) < 0.0015, summaries.constData());
        QVERIFY2(std::abs(byId[1]["linearity"].toObject()["slope"].toDouble()) < 0.0015, summaries.constData());
    }

    void study_data()
    {
        QTest::addColumn<bool>("fixed");  // a reading that never varies: s = 0
        QTest::addColumn<int>("status");
        QTest::newRow("noisy module") << false << 1;
        QTest::newRow("s = 0") << true << 1;
    }
    void study()
    {
        QFETCH(bool, fixed);
        QFETCH(int, status);
        {
            QFile t(target);
            QVERIFY(t.open(QIODevice::WriteOnly));
            t.write("1500");
        }
        if (fixed)
            module.setFixedReading(SimulatedModule::Reading{1500, 2000, 40, 100, 1});
        const QString records = dir.filePath(QStringLiteral("study.json"));
        const Run r = runCli(line() + QStringList{"--format", "json", "study", "--reference", "1500", "--tolerance", "2",
                                                   "--count", "30", "--output", records});
        module.setFixedReading(std::nullopt);
        QCOMPARE(r.status, status);
        const QJsonObject s = summaryOf(r.out);
        QFile file(records);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVector<int> distances;
        for (const QByteArray &record : file.readAll().split('\n'))
            if (!record.isEmpty())
                distances << QJsonDocument::fromJson(record).object().value("distance_mm").toInt();
        const Figures f = figuresOf(distances);
        QCOMPARE(f.n, 30);
        QCOMPARE(s.value("result").toString(), QStringLiteral("NOT CAPABLE"));
        // T = 4 mm is below 20 resolutions: said beside the figures.
        QVERIFY(s.value("notes").toArray().first().toString().contains(QStringLiteral("cannot resolve")) || fixed);
        if (fixed) {
            QVERIFY(s.value("cg").isNull() && s.value("cgk").isNull());
            QVERIFY(s.value("failed").toArray().first().toString().contains(QStringLiteral("s = 0")));
            return;
        }
        QVERIFY(std::abs(s.value("cg").toDouble() - 0.2 * 4 / (6 * f.sigma)) <= 0.0005);
        QVERIFY(std::abs(s.value("cgk").toDouble() - (0.1 * 4 - std::abs(f.mean - 1500)) / (3 * f.sigma)) <= 0.0005);
    }

    // Without --move on a terminal (here a pseudo-terminal that `script`
    // gives the run), each point is asked for and the answer read from it,
    // a line at a time: Enter measures, q stops (a test cut short: 1).
    void terminalPrompt()
    {
        QProcess p;
        QStringList cli{QStringLiteral(KORVANI_CLI)};
        cli << line() << QStringList{"test", "--points", "500,1000,2000", "--tolerance", "5", "--count", "5", "--output", "/dev/null"};
        p.start(QStringLiteral("script"), {"-qec", cli.join(QLatin1Char(' ')), "/dev/null"});
        QVERIFY(p.waitForStarted(10000));
        p.write("\nq\n");
        p.closeWriteChannel();
        QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(out.count(QStringLiteral("then press Enter; q stops")), 2);
        QVERIFY2(out.contains(QStringLiteral("Place the target at 1000 mm")) && out.contains(QStringLiteral("point 2 (1000 mm): stopped at the prompt")),
                 qPrintable(out));
    }

    // Without --move and without a terminal (a script), asking is impossible: a usage error naming --move.
    void noTerminalNeedsMove()
    {
        const Run r = runCli(line() + QStringList{"test", "--points", "500,1000", "--tolerance", "5"});
        QCOMPARE(r.status, 64);
        QVERIFY2(r.err.contains("--move"), r.err.constData());
    }
};

QTEST_GUILESS_MAIN(TstRange)
#include "tst_range.moc"
