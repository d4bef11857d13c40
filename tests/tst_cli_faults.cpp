// korvani-cli under the faults a test station meets: outputs that fail or
// fill up, readers that go away, hang-ups and signals, polled buses, long
// runs, odd port names and a second program on the same device. Real
// processes on the pseudo-terminal of a simulated module owned by the test,
// which sees every command on the line (stop included).

#include "protocol/commands.h"
#include "sim/simulatedmodule.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

namespace {

const QByteArray Stop = QByteArray::fromHex("56060050");

struct Run { int status = -1; QString out, err; };

// Starts `program` (korvani-cli unless given) with `args`; `during` runs once
// it has started; the module answers on this event loop meanwhile.
Run run(QProcess &p, const QStringList &args, const std::function<void(QProcess &)> &during = {},
        const QString &program = QStringLiteral(KORVANI_CLI))
{
    p.start(program, args);
    if (p.waitForStarted(10000) && during)
        during(p);
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000))
        p.kill(), p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QString summaryValue(const QString &out, const char *name)
{
    return QRegularExpression(QStringLiteral("^%1: (.*)$").arg(QLatin1String(name)),
                              QRegularExpression::MultilineOption).match(out).captured(1);
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

const QRegularExpression textRecord(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3},\\d{5},\\d{5},\\d+,\\d{4},\\d, $"));

} // namespace

class TstCliFaults : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimulatedModule> sim;
    std::unique_ptr<QTemporaryDir> dir;

    bool streamed() const { return sim->receivedCommands().contains(QByteArray::fromHex("56500006")); }
    bool stopArrived() const { return !sim->receivedCommands().isEmpty() && sim->receivedCommands().last() == Stop; }

private slots:
    void init()
    {
        sim.reset(new SimulatedModule);
        sim->setFixedReading(SimulatedModule::Reading{1500, 2000, 40, 100, 2});
        QVERIFY(sim->open());
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
    }

    // Outputs that cannot take the records: the run stops the module, names
    // the output and its reason, and never ends with 0. A silent module
    // leaves an existing --output file as it was.
    void outputFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");  // regular expression
        const auto row = [](const char *fault, const QString &args, int status, const char *err) {
            QTest::newRow(fault) << QString(fault) << args.split(' ') << status << QString(err);
        };
        row("--output /dev/full", "measure --count 1000 --output /dev/full", 74,
            "^korvani-cli: cannot write /dev/full: No space left on device\n$");
        row("standard output /dev/full", "measure --count 1000 --stats", 74,
            "^korvani-cli: cannot write standard output: No space left on device\n$");
        row("standard output /dev/full, answer lines", "version", 74,
            "^korvani-cli: cannot write standard output: No space left on device\n$");
        row("file-size limit", "measure --count 1000 --output FILE", 74, "^korvani-cli: cannot write FILE: File too large\n$");
        row("folder missing", "measure --count 10 --output DIR/none/run.csv", 73,
            "^korvani-cli: cannot write DIR/none/run.csv: No such file or directory\n$");
        row("silent module, old file", "--timeout 50 measure --count 10 --format csv --output FILE", 2,
            "^korvani-cli: [^\n]+: the module did not answer \\(no measurement\\)\n$");
        row("silent module, no file", "--timeout 50 single --output FILE", 2, "^korvani-cli: [^\n]+: the module did not answer");
    }
    void outputFaults()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, err);
        const QString file = dir->filePath("run.txt");
        args.replaceInStrings("FILE", file).replaceInStrings("DIR", dir->path());
        err.replace("FILE", QRegularExpression::escape(file)).replace("DIR", QRegularExpression::escape(dir->path()));
        const QByteArray old = "kept from an earlier run\n";
        if (fault == "silent module, old file") {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
        }
        sim->setSilent(fault.startsWith("silent"));

        QProcess p;
        if (fault.startsWith("standard output"))
            p.setStandardOutputFile(QStringLiteral("/dev/full"));
        QStringList command = QStringList{"--port", sim->portName()} + args;
        QString program = QStringLiteral(KORVANI_CLI);
        if (fault == "file-size limit") {  // 8 KiB: some 200 records
            command = QStringList{"-c", "ulimit -f 16 && exec \"$0\" \"$@\"", program} + command;
            program = QStringLiteral("/bin/sh");
        }
        const Run r = run(p, command, {}, program);
        QCOMPARE(r.status, status);
        QVERIFY2(QRegularExpression(err).match(r.err).hasMatch(), qPrintable(r.err));
        if (streamed())
            QVERIFY2(stopArrived(), "the module was left streaming");

        if (fault == "file-size limit") {  // whole records only, up to the limit
            const QList<QByteArray> lines = fileBytes(file).split('\n');
            QCOMPARE(lines.last(), QByteArray());
            QVERIFY2(lines.size() > 50, qPrintable(QString::number(lines.size())));
            for (const QByteArray &line : lines.mid(0, lines.size() - 1))
                QVERIFY2(textRecord.match(QString::fromLatin1(line)).hasMatch(), line.constData());
        }
        if (fault == "silent module, old file")
            QCOMPARE(fileBytes(file), old);
        if (fault == "silent module, no file")
            QVERIFY(!QFile::exists(file));
    }

    // Every way a run is cut short stops the module, keeps what was measured
    // and prints the summary where it still can: signals (128 + the signal's
    // number for measure) and a reader that closes its pipe. A long duration
    // runs on (no overflowed deadline) until interrupted.
    void endings_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("signalNumber");  // 0: the reader closes the pipe
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("expected");  // the summary's expected frames; empty: no summary
        const QString endless = "measure --count 100000 --stats --output FILE";
        QTest::newRow("SIGINT") << endless << SIGINT << 130 << "100000";
        QTest::newRow("SIGHUP") << endless << SIGHUP << 129 << "100000";
        QTest::newRow("SIGTERM") << endless << SIGTERM << 143 << "100000";
        QTest::newRow("SIGPIPE") << endless << SIGPIPE << 141 << "100000";
        QTest::newRow("test cut short fails") << "test --reference 1500 --tolerance 1 --count 100000" << SIGHUP << 1 << "100000";
        QTest::newRow("pipe closed by its reader") << "measure --count 100000" << 0 << 141 << "";
        QTest::newRow("duration past 32-bit ms") << "measure --duration 4294968 --stats --output FILE" << SIGINT << 130 << "429496800";
        QTest::newRow("duration past int ms") << "measure --duration 2147484 --stats --output FILE" << SIGINT << 130 << "214748400";
        QTest::newRow("a year, polled") << "--id 1 measure --duration 31536000 --stats --output FILE" << SIGINT << 130 << "3153600000";
    }
    void endings()
    {
        QFETCH(QString, args);
        QFETCH(int, signalNumber);
        QFETCH(int, status);
        QFETCH(QString, expected);
        const QString file = dir->filePath("run.txt");
        sim->setRs485(args.startsWith("--id"), 1);
        const QStringList cli = QStringList{"--port", sim->portName()} + args.replace("FILE", file).split(' ');
        QProcess p;
        Run r;
        if (signalNumber == 0) {  // `korvani-cli ... | head -n 1`: head leaves after the first record
            r = run(p, QStringList{"-c", "\"$0\" \"$@\" | head -n 1; exit $(( PIPESTATUS[0] ))", KORVANI_CLI} + cli, {}, "/bin/bash");
            QVERIFY2(textRecord.match(r.out.chopped(1)).hasMatch(), qPrintable(r.out));
        } else {
            r = run(p, cli, [&](QProcess &p) {
                // Some frames first; a run that ended of itself (an overflowed deadline) is caught below.
                QTRY_VERIFY_WITH_TIMEOUT(sim->framesWritten() >= 20 || p.state() == QProcess::NotRunning, 20000);
                QTest::qWait(1500);
                QVERIFY2(p.state() == QProcess::Running, "the run ended before it was cut short");
                ::kill(pid_t(p.processId()), signalNumber);
            });
        }
        QCOMPARE(r.status, status);
        QVERIFY2(args.startsWith("--id") ? streamed() == false : stopArrived(), "the module was left streaming");
        if (expected.isEmpty())
            return;
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QCOMPARE(summaryValue(r.out, "expected"), expected);
        // What was measured is kept: every frame counted is in the records.
        const quint64 frames = summaryValue(r.out, "frames").toULongLong();
        QVERIFY(frames >= 20);
        if (args.contains(file))
            QCOMPARE(quint64(fileBytes(file).count('\n')), frames);
    }

    // Records reach a pipe as they are measured, not when a buffer fills:
    // at 10 frames/s the first is read long before 4 KiB have gathered.
    void recordsArriveAsMeasured()
    {
        QProcess p;
        p.start(KORVANI_CLI, {"--port", sim->portName(), "measure", "--rate", "10", "--count", "1000"});
        QVERIFY(p.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(sim->framesWritten() >= 3, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(p.canReadLine(), 5000);  // 4 KiB take 11 s at this rate
        QVERIFY(textRecord.match(QString::fromLatin1(p.readLine()).chopped(1)).hasMatch());
        ::kill(pid_t(p.processId()), SIGINT);
        QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 20000);
        QVERIFY(stopArrived());
    }

    // A polled run on a bus keeps the rate over its whole duration: exactly
    // the polls the duration holds, each frame counted, a healthy module passes.
    void polledRun_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("frames");
        QTest::newRow("100/s") << 100 << 300;
        QTest::newRow("50/s") << 50 << 150;
    }
    void polledRun()
    {
        QFETCH(int, rate);
        QFETCH(int, frames);
        sim->setRs485(true, 7);
        QProcess p;
        const Run r = run(p, {"--port", sim->portName(), "--id", "7", "test", "--reference", "1500", "--tolerance", "5",
                              "--duration", "3", "--rate", QString::number(rate)});
        QVERIFY2(r.status == 0 && r.out.endsWith("\nPASS\n"), qPrintable(r.out + r.err));
        QCOMPARE(summaryValue(r.out, "frames"), QString::number(frames));
        QCOMPARE(summaryValue(r.out, "expected"), QString::number(frames));
        // The polls: a test reads the two versions first.
        const QList<QByteArray> commands = sim->receivedCommands();
        QCOMPARE(int(commands.count(commandFrame(Command::Single, {}, 7))), frames);
        QCOMPARE(commands.size(), frames + 2);
        // Never ahead of the rate: no poll goes out before its time.
        QVERIFY2(summaryValue(r.out, "rate").section(' ', 0, 0).toDouble() <= rate * 1.01, qPrintable(summaryValue(r.out, "rate")));
    }

    // Port names: a relative path is that path, not a name under /dev/; a
    // device in use is refused under any of its names, naming the holder.
    void portNames_data()
    {
        QTest::addColumn<QString>("first");   // holds the device while the second opens; empty: none
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("status");
        QTest::newRow("relative path") << "" << "sub/ttyK" << 0;
        QTest::newRow("held by its device name, opened through a link") << "DEVICE" << "sub/ttyK" << 2;
        QTest::newRow("held through a link, opened by its device name") << "sub/ttyK" << "DEVICE" << 2;
        QTest::newRow("held by its name, opened by it") << "DEVICE" << "DEVICE" << 2;
    }
    void portNames()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, status);
        QVERIFY(QDir(dir->path()).mkpath("sub"));
        QVERIFY(QFile::link(sim->portName(), dir->filePath("sub/ttyK")));
        first.replace("DEVICE", sim->portName());
        second.replace("DEVICE", sim->portName());

        QProcess holder;
        holder.setWorkingDirectory(dir->path());
        if (!first.isEmpty()) {
            holder.start(KORVANI_CLI, {"--port", first, "measure", "--count", "100000"});
            QVERIFY(holder.waitForStarted(10000));
            QTRY_VERIFY_WITH_TIMEOUT(sim->framesWritten() >= 3, 20000);
        }
        QProcess p;
        p.setWorkingDirectory(dir->path());
        const Run r = run(p, {"--port", second, "version"});
        QCOMPARE(r.status, status);
        if (status == 0)
            QCOMPARE(r.out, QString("HARD: A-0.1.2\nSOFT:B-1.2.5\n"));
        else
            QCOMPARE(r.err, QStringLiteral("korvani-cli: %1: cannot open the port: in use by process %2\n").arg(second).arg(holder.processId()));
        if (!first.isEmpty()) {  // the holder lost nothing to the second
            QCOMPARE(holder.state(), QProcess::Running);
            ::kill(pid_t(holder.processId()), SIGINT);
            QTRY_VERIFY_WITH_TIMEOUT(holder.state() == QProcess::NotRunning, 20000);
            QCOMPARE(holder.exitCode(), 130);
        }
    }
};

QTEST_GUILESS_MAIN(TstCliFaults)
#include "tst_cli_faults.moc"
