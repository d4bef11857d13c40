// korvani-cli under the faults a test station meets: outputs that fail or
// fill up (and the one way out itself, in-process), readers that go away,
// hang-ups and signals, polled buses, long runs, odd port names, a second
// program on one device and an adapter pulled and put back. Real processes on
// the line of a simulated module owned by the test, which sees every command
// (stop included).

#include "cli/output.h"
#include "dbreader.h"
#include "processrun.h"
#include "testfiles.h"
#include "protocol/commands.h"
#include "sim/simoptions.h"
#include "sim/simulatedmodule.h"

#include <QtTest>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>

namespace {

QString summaryValue(const QString &out, const char *name)
{
    // A fixture's summary lines begin with the module's ID.
    return QRegularExpression(QStringLiteral("^(?:id \\d+: )?%1: (\\S*)").arg(name),
                              QRegularExpression::MultilineOption)
        .match(out)
        .captured(1);
}

const QRegularExpression textRecord("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3},\\d{5},\\d{5},\\d+,\\d{4},\\d, $");

}  // namespace

class TstCliFaults : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimulatedModule> sim;
    std::unique_ptr<QTemporaryDir> dir;
    QTemporaryDir store;

    bool streamed() const { return sim->receivedCommands().contains(QByteArray::fromHex("56500006")); }
    bool stopArrived() const
    {
        return sim->receivedCommands().value(sim->receivedCommands().size() - 1) == QByteArray::fromHex("56060050");
    }

private slots:
    void init()
    {
        sim.reset(new SimulatedModule);
        sim->setFixedReading(SimulatedModule::Reading{1500, 2000, 40, 100, 2});
        QVERIFY(sim->open());
        dir.reset(new QTemporaryDir);
    }

    // A results database holding one run, of unit S1, for the report; the
    // run's test passes, so it ends with 0.
    void initTestCase()
    {
        QVERIFY(store.isValid());
        const ProcessRun r = runProcess(KORVANI_CLI,
                                        {"--sim", "test", "--reference", "1500", "--tolerance", "5", "--count", "5",
                                         "--serial", "S1", "--db", store.filePath("runs.sqlite")});
        QVERIFY2(r.status == 0 && r.out.endsWith("\nPASS\n"), qPrintable(r.out + r.err));
    }

    // How a command ends, each fault on its own row: a failed test (1)
    // naming every limit missed, in order, after its summary (the verdict's
    // edges are tst_verdict's); link failures (2) with one line naming the
    // port; a usage error (64) with the usage line (the parser's errors are
    // tst_clioptions'). Every output through the one way out: records,
    // answers, reports and sync's counts that cannot be written end with 74
    // naming the output and the reason (never 0), an output that cannot be
    // created with 73; the module is stopped; a FIFO is written, not
    // replaced. A silent module leaves an existing --output file as it was; a
    // capture that cannot be created does not end the run.
    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("args");  // {file}, {dir}, {db}: a file, a folder, the results database
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");  // regular expressions; {port} stands for the port's name
        QTest::addColumn<QString>("out");
        const auto row = [](const char *name, const char *fault, const char *args, int status, const QString &err,
                            const QString &out = QString()) {
            QTest::newRow(name) << fault << args << status << err << out;
        };
        // Distances 0..9 (mean 4.5, sigma 3.028, amplitude 2000).
        row("test fails", "0..9",
            "--timeout 1000 test --count 10 --reference 20 --tolerance 1 --max-sigma 1 --min-amplitude 3000", 1, "^$",
            "\nmean: 4\\.500 mm\nsigma: 3\\.028 mm\n(.*\n)*FAIL: accuracy -15\\.500 mm beyond tolerance 1\\.000 mm; "
            "outside 10 > 0; sigma 3\\.028 mm > 1\\.000 mm; mean amplitude 2000\\.000 < 3000\\.000\n$");
        row("no such port", "missing", "version", 2, "^korvani-cli: {port}: cannot open the port[^\n]*\n$");
        row("silent module, info", "silent", "info", 2, "^korvani-cli: {port}: the module did not answer[^\n]*\n$",
            "^range: no answer\nintegration time: no answer\nconfiguration: no answer\ncoefficients: no answer\n$");
        row("port gone", "gone", "single", 2, "^korvani-cli: {port}: the port went away[^\n]*\n$", "^$");
        row("usage error", "", "--sim --id 256 version", 64,
            "^korvani-cli: .+\nusage: korvani-cli \\[--port NAME \\| --sim\\]", "^$");
        const QString cannot = "^korvani-cli: cannot write %1: %2\n$";
        row("standard output /dev/full", "stdout", "measure --count 1000 --stats", 74,
            cannot.arg("standard output", "No space left on device"));
        row("file-size limit", "limit", "measure --count 1000 --output {file}", 74,
            cannot.arg("{file}", "File too large"));
        row("folder missing", "", "measure --output {dir}/none/run.csv", 73,
            cannot.arg("{dir}/none/run.csv", "No such file or directory"));
        row("silent module, old file", "silent, old file", "--timeout 50 measure --format csv --output {file}", 2,
            "^korvani-cli: {port}: the module did not answer \\(no measurement\\)\n$");
        row("report, standard output closed", "closed", "report --db {db}", 74,
            cannot.arg("standard output", "Bad file descriptor"));
        row("report onto a FIFO", "fifo", "report --db {db} --serial S1 --output {file}", 0, "^$");
        row("capture on a full disk", "limit, capture", "--capture {file} measure --count 1000", 0,
            "^korvani-cli: {port}: capture stopped: cannot write {file}: File too large\n$");
        row("capture cannot be created", "", "--capture {dir}/none/cap.txt measure --count 3", 0,
            "^korvani-cli: {port}: no capture: cannot write {dir}/none/cap.txt: No such file or directory\n$");
    }
    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, err);
        QFETCH(QString, out);
        const QString file = dir->filePath("run.txt"),
                      port = fault == "missing" ? QStringLiteral("/nonexistent/ttyKV9") : sim->portName();
        const QByteArray old = fault == "silent, old file" ? "an earlier run\n" : "";
        // Placeholders in braces: no temporary folder's name holds one.
        const auto filledIn = [&](QString text, QString (*value)(const QString &)) {
            return text.replace("{file}", value(file))
                .replace("{dir}", value(dir->path()))
                .replace("{db}", value(store.filePath("runs.sqlite")))
                .replace("{port}", value(port));
        };
        args = filledIn(args, [](const QString &v) { return v; });
        err = filledIn(err, [](const QString &v) { return QRegularExpression::escape(v); });
        const QStringList cli =
            (args.startsWith("--sim") ? QStringList() : QStringList{"--port", port}) + args.split(' ');
        // A FIFO's reader, there before the writer comes.
        const int fifo = fault == "fifo" && ::mkfifo(QFile::encodeName(file).constData(), 0600) == 0
            ? ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NONBLOCK)
            : -1;
        QVERIFY(fault != "fifo" || fifo >= 0);
        QVERIFY(old.isEmpty() || writeTestFile(file, old));
        sim->setSilent(fault.startsWith("silent"));
        sim->setCountingDistance(fault == "0..9");
        if (fault == "gone")
            connect(
                sim.get(), &SimulatedModule::commandReceived, sim.get(), [this] { sim->goAway(); },
                Qt::QueuedConnection);
        // The outputs' faults made by the shell: 16 blocks of 512 bytes (some
        // 220 records) for a file, a full or a closed standard output.
        const QString shell = fault.startsWith("limit") ? "ulimit -f 16 && exec \"$0\" \"$@\""
            : fault == "stdout"                         ? "exec \"$0\" \"$@\" >/dev/full"
            : fault == "closed"                         ? "exec \"$0\" \"$@\" >&-"
                                                        : "exec \"$0\" \"$@\"";
        const ProcessRun r = runProcess("/bin/sh", QStringList{"-c", shell, KORVANI_CLI} + cli);
        QVERIFY2(r.status == status, qPrintable(QStringLiteral("status %1: %2").arg(r.status).arg(r.err)));
        QVERIFY2(QRegularExpression(err).match(r.err).hasMatch(), qPrintable(r.err));
        QVERIFY2(QRegularExpression(out).match(r.out).hasMatch(), qPrintable(r.out));
        QVERIFY2(!streamed() || stopArrived(), "the module was left streaming");
        if (fault == "limit") {  // whole records only
            const QStringList lines = QString::fromLatin1(readTestFile(file)).split('\n');
            QVERIFY(lines.size() > 100 && lines.last().isEmpty());
            QCOMPARE(lines.filter(textRecord).size(), lines.size() - 1);
        }
        if (!old.isEmpty())
            QCOMPARE(readTestFile(file), old);
        if (fault == "fifo") {
            char text[4096];
            const ssize_t n = ::read(fifo, text, sizeof text);
            ::close(fifo);
            struct stat info;
            QVERIFY(::stat(QFile::encodeName(file).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
            QVERIFY2(n > 0 && QByteArray(text, int(n)).startsWith("serial S1: 1 run\n"), text);
        }
    }

    // A report's --output on a full disk (a file-size limit here, in this
    // process): the write fails with the system's reason, nothing is put in
    // place, and the old report stays as it was.
    void reportReplacedOnlyWhole()
    {
        const QString path = dir->filePath("report.html");
        QVERIFY(writeTestFile(path, "old report\n"));
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit was;
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &was) == 0);
        const struct rlimit small = {4096, was.rlim_max};
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        Output out(path, Output::Mode::WhenComplete);
        const bool opened = out.open(), written = out.write(QByteArray(10000, 'x')), finished = out.finish();
        ::setrlimit(RLIMIT_FSIZE, &was);
        QVERIFY(opened && !written && !finished);
        QCOMPARE(out.reason(), QString::fromLocal8Bit(std::strerror(EFBIG)));
        QCOMPARE(readTestFile(path), QByteArray("old report\n"));
    }

    // Every way a run is cut short stops the module, keeps what was measured
    // and prints the summary where it still can: signals (128 + the signal's
    // number for measure; test fails) and a reader that closes its pipe. Long
    // durations run on (no overflowed deadline) until interrupted. At 10
    // frames/s, records reach a pipe as they are measured.
    void endings_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("signalNumber");  // 0: `| head -n 1` closes the pipe
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("expected");  // the summary's expected frames
        QTest::newRow("SIGINT, records to a pipe")
            << "measure --rate 10 --count 100000 --stats" << SIGINT << 130 << "100000";
        QTest::newRow("SIGHUP, duration past 32-bit ms")
            << "measure --duration 4294968 --stats --output FILE" << SIGHUP << 129 << "429496800";
        QTest::newRow("test cut short by SIGPIPE fails")
            << "test --reference 1500 --tolerance 1 --count 100000" << SIGPIPE << 1 << "100000";
        QTest::newRow("pipe closed by its reader") << "measure --count 100000" << 0 << 141 << "";
    }
    void endings()
    {
        QFETCH(QString, args);
        QFETCH(int, signalNumber);
        QFETCH(int, status);
        QFETCH(QString, expected);
        const QString file = dir->filePath("run.txt");
        const QStringList cli = QStringList{"--port", sim->portName()} + args.replace("FILE", file).split(' ');
        ProcessOptions signalled;
        signalled.whileRunning = [&](QProcess &p) {
            QTRY_VERIFY_WITH_TIMEOUT(sim->framesWritten() >= 20 || p.state() == QProcess::NotRunning, 20000);
            QTest::qWait(1500);
            QVERIFY2(p.state() == QProcess::Running, "the run ended before it was cut short");
            // Records reach a pipe as they are measured, long before 4 KiB of them gather.
            QVERIFY2(args.contains(file) || p.canReadLine(), "no record has reached the pipe");
            ::kill(pid_t(p.processId()), signalNumber);
        };
        const ProcessRun r = signalNumber == 0
            ? runProcess("/bin/bash",
                         QStringList{"-c", "\"$0\" \"$@\" | head -n 1; exit ${PIPESTATUS[0]}", KORVANI_CLI} + cli)
            : runProcess(KORVANI_CLI, cli, signalled);
        QCOMPARE(r.status, status);
        QVERIFY2(stopArrived(), "the module was left streaming");
        if (signalNumber == 0) {  // head had its record
            QVERIFY2(textRecord.match(r.out.chopped(1)).hasMatch(), qPrintable(r.out));
            return;
        }
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QCOMPARE(summaryValue(r.out, "expected"), expected);
        const int frames = summaryValue(r.out, "frames").toInt();  // every frame counted is in the records
        QVERIFY(frames >= 20 && (!args.contains(file) || readTestFile(file).count('\n') == frames));
    }

    // The adapter pulled in the middle of a run and put back behind the same
    // link (as a by-id link is made anew), freshly powered and quiet: with
    // --reconnect the run carries on to its count, nothing made up for the
    // gap, and keeps the reconnect; not back in time, it ends with 2, its
    // summary printed and stored.
    void pulledAndPutBack_data()
    {
        QTest::addColumn<bool>("back");
        QTest::addColumn<QString>("err");  // a regular expression
        const QString gone = "^korvani-cli: LINK: the port went away \\([^\n]*\\); waiting up to %1 s for it\n";
        QTest::newRow("back") << true << gone.arg(10) + "korvani-cli: LINK: reconnected after \\d+\\.\\d s\n$";
        QTest::newRow("not back") << false
                                  << gone.arg(1)
                + "korvani-cli: LINK: the port went away and was not back within 1 s\n$";
    }
    void pulledAndPutBack()
    {
        QFETCH(bool, back);
        QFETCH(QString, err);
        const int count = back ? 150 : 100000;
        const QString db = dir->filePath("runs.sqlite"), file = dir->filePath("run.txt");
        // korvani-sim's pull: the module leaves once it has written 25 frames
        // (those may still be in the line) and, when back, returns a second
        // later behind the same link. Its commands are counted from then on.
        SimOptions options;
        options.link = dir->filePath("ttyKorvani");
        options.goAwayFrames = 25;
        options.replugMs = back ? 1000 : -1;
        SimulatedModule module;
        SimSession session(module, options);
        connect(&session, &SimSession::portReady, &module, [&module] { module.clearReceived(); });
        QVERIFY2(session.start(), qPrintable(session.errorString()));
        const QString link = options.link;
        const ProcessRun r = runProcess(KORVANI_CLI,
                                        {"--port", link, "--output", file, "--db", db, "--reconnect", back ? "10" : "1",
                                         "measure", "--stats", "--count", QString::number(count)});
        QVERIFY2(
            QRegularExpression(QString(err).replace("LINK", QRegularExpression::escape(link))).match(r.err).hasMatch(),
            qPrintable(r.err));
        QCOMPARE(r.status, back ? 0 : 2);
        const int frames = summaryValue(r.out, "frames").toInt();
        QCOMPARE(readTestFile(file).count('\n'), frames);
        QCOMPARE(summaryValue(r.out, "reconnects"), QString(back ? "1" : "0"));
        if (back) {
            QCOMPARE(frames, count);
            // Freshly powered, the module is asked to stream again.
            QVERIFY(module.receivedCommands().contains(commandFrame(Command::Continuous)));
        } else {
            QVERIFY(frames >= 20);
        }
        DbReader stored(db);
        QCOMPARE(stored.rows("SELECT reconnects, status, frames FROM runs"),
                 QVector<QVariantList>({{back ? 1 : 0, back ? "COMPLETE" : "ERROR", frames}}));
    }

    // A relative path is that path, not a name under /dev/; a device in use
    // is refused under any of its names, naming the holder, who loses nothing.
    void portNames_data()
    {
        QTest::addColumn<QString>("first");  // holds the device meanwhile; empty: nobody
        QTest::addColumn<QString>("second");
        const auto row = [](const char *name, const char *first, const char *second) {
            QTest::newRow(name) << QString(first) << QString(second);
        };
        row("relative path", "", "sub/ttyK");
        row("held by its device name, opened through a link", "DEVICE", "sub/ttyK");
        row("held through a link, opened by its device name", "sub/ttyK", "DEVICE");
    }
    void portNames()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QVERIFY(QDir(dir->path()).mkpath("sub") && QFile::link(sim->portName(), dir->filePath("sub/ttyK")));
        first.replace("DEVICE", sim->portName());
        second.replace("DEVICE", sim->portName());
        ProcessOptions inDir;
        inDir.beforeStart = [&](QProcess &p) { p.setWorkingDirectory(dir->path()); };
        const auto version = [&] { return runProcess(KORVANI_CLI, {"--port", second, "version"}, inDir); };
        if (first.isEmpty()) {
            const ProcessRun r = version();
            QCOMPARE(QString::number(r.status) + ' ' + r.out + r.err, QString("0 HARD: A-0.1.2\nSOFT:B-1.2.5\n"));
            return;
        }
        ProcessRun refused;
        qint64 holderId = 0;
        ProcessOptions holding = inDir;
        holding.whileRunning = [&](QProcess &p) {
            QTRY_VERIFY_WITH_TIMEOUT(sim->framesWritten() >= 3, 20000);
            holderId = p.processId();
            refused = version();
            ::kill(pid_t(holderId), SIGINT);
        };
        const ProcessRun holder = runProcess(KORVANI_CLI, {"--port", first, "measure", "--count", "100000"}, holding);
        QCOMPARE(QString::number(refused.status) + ' ' + refused.out + refused.err,
                 QString("2 korvani-cli: %1: cannot open the port: in use by process %2\n").arg(second).arg(holderId));
        QCOMPARE(holder.status, 130);
    }
};

QTEST_GUILESS_MAIN(TstCliFaults)
#include "tst_cli_faults.moc"
