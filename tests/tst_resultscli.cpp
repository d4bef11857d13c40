// korvani-cli keeping its runs: real processes on a simulated module's line,
// writing to real SQLite files and to a PostgreSQL server the test starts
// itself; the database made to fail the ways a line's database fails.

#include "dbreader.h"
#include "freshdatabases.h"
#include "processrun.h"
#include "sim/simulatedmodule.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QtTest>

#include <memory>

#include <csignal>

namespace {

QProcessEnvironment cliEnvironment(const QString &stateHome)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("KORVANI_DB"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), stateHome);
    return env;
}

// korvani-cli on the module's port (if any), its standard output to a file if named.
ProcessRun runCli(const QStringList &args, const QString &stateHome, SimulatedModule *module = nullptr,
                  const QString &standardOutput = QString())
{
    ProcessOptions options;
    options.environment = cliEnvironment(stateHome);
    if (!standardOutput.isEmpty())
        options.beforeStart = [standardOutput](QProcess &p) { p.setStandardOutputFile(standardOutput); };
    return runProcess(KORVANI_CLI, module ? QStringList{"--port", module->portName()} + args : args, options);
}

// Arguments written as one text, for those without spaces.
QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(QLatin1Char(' '));
}

QString summaryValue(const QString &out, const QString &key)
{
    return QRegularExpression(QStringLiteral("^# %1: (.*)$").arg(QRegularExpression::escape(key)),
                              QRegularExpression::MultilineOption)
        .match(out)
        .captured(1);
}

// A count of sync's totals ("sent: N").
int summaryLine(const QString &out, const QString &key)
{
    return QRegularExpression(QStringLiteral("^%1: (\\d+)$").arg(key), QRegularExpression::MultilineOption)
        .match(out)
        .captured(1)
        .toInt();
}

qint64 msecsOf(const QVariant &v)
{
    // SQLite keeps ISO text with Z, PostgreSQL gives a date-time.
    const QDateTime t =
        v.userType() == QMetaType::QDateTime ? v.toDateTime() : QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    return t.toMSecsSinceEpoch();
}

}  // namespace

#define FRESH_TARGET(var, kind)                                                                                        \
    const QString var = freshTarget(kind);                                                                             \
    if (var.isEmpty())                                                                                                 \
        QSKIP("the PostgreSQL server binaries (package postgresql) are not installed");

class TstResultsCli : public QObject
{
    Q_OBJECT

    FreshDatabases databases;
    PgServer &pg = databases.server();
    std::unique_ptr<SimulatedModule> sim;

    QString freshTarget(const QString &kind) { return databases.fresh(kind); }

    QString state(const QString &name) { return databases.filePath(QStringLiteral("state-") + name); }

    QString spoolOf(const QString &kind, int station)
    {
        return databases.filePath(QStringLiteral("spool-%1-%2.sqlite").arg(kind).arg(station));
    }

    int spooled(const QString &spoolFile)
    {
        if (!QFile::exists(spoolFile))
            return 0;
        DbReader r(spoolFile);
        return r.value(QStringLiteral("SELECT count(*) FROM runs")).toInt();
    }

private slots:
    void init()
    {
        sim.reset(new SimulatedModule);
        sim->setHardwareVersion("A102");
        sim->setFirmwareVersion("B215");
        sim->setFixedReading(SimulatedModule::Reading{1234, 2000, 40, 100, 2});
        QVERIFY(sim->open());
    }

    void bothDatabases()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("sqlite") << "sqlite";
        QTest::newRow("postgres") << "postgres";
    }

    void storedRunEqualsSummary_data() { bothDatabases(); }

    // The row holds the printed summary and the versions; the records equal
    // the CSV; hostile names are stored as typed; no password anywhere.
    void storedRunEqualsSummary()
    {
        QFETCH(QString, kind);
        FRESH_TARGET(target, kind)
        // The server trusts the socket, so any password gets in: it must still show nowhere.
        const QString withPassword =
            kind == "postgres" ? QString(target).replace("user=admin", "user=admin&password=s3cr%3Bet") : target;
        const QString serial = QStringLiteral("x'); DROP TABLE runs;--");
        const QString station = QStringLiteral("站 \"A\\1\"; DELETE FROM runs; --");
        sim->setFixedReading(std::nullopt);  // noisy distances
        const QStringList args{"--output",   databases.filePath(kind + ".csv"),
                               "--db",       withPassword,
                               "--serial",   serial,
                               "--station",  station,
                               "--operator", "O'Brien"};
        const ProcessRun r =
            runCli(words("test --reference 1500 --tolerance 3 --count 40 --format csv --db-records") + args,
                   state(kind), sim.get());
        QVERIFY2(r.status == 0 || r.status == 1, qPrintable(r.err));
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QVERIFY(!r.out.contains("s3cr"));

        DbReader db(target);
        QCOMPARE(db.value("SELECT count(*) FROM runs").toInt(), 1);
        const QSqlRecord row = db.record("SELECT * FROM runs");
        QCOMPARE(row.value("serial_number").toString(), serial);
        QCOMPARE(row.value("station").toString(), station);
        QCOMPARE(row.value("operator").toString(), QStringLiteral("O'Brien"));
        QCOMPARE(row.value("hardware_version").toString(), QStringLiteral("A-0.1.2"));
        QCOMPARE(row.value("firmware_version").toString(), QStringLiteral("B-1.2.5"));
        QCOMPARE(row.value("kind").toString(), QStringLiteral("test"));
        QCOMPARE(row.value("status").toString(), QStringLiteral("COMPLETE"));
        QCOMPARE(row.value("port").toString(), sim->portName());
        QCOMPARE(row.value("exit_status").toInt(), r.status);
        QVERIFY(row.value("device_id").isNull());
        QVERIFY2(!row.value("command").toString().contains("s3cr")
                     && row.value("command").toString().contains("--serial"),
                 qPrintable(row.value("command").toString()));
        for (const char *key : {"frames", "expected", "failed_checks", "rate_hz", "mean_mm", "sigma_mm", "min_mm",
                                "max_mm", "median_mm", "reference_mm", "tolerance_mm", "accuracy_mm", "outside"}) {
            const QString printed = summaryValue(r.out, key);
            QVERIFY2(!printed.isEmpty(), key);
            QCOMPARE(row.value(key).toString().toDouble(), printed.toDouble());
        }
        const QString verdict = summaryValue(r.out, "verdict");
        QCOMPARE(row.value("result").toString(), verdict.left(4));
        QCOMPARE(row.value("failed").toString(), verdict.startsWith("FAIL: ") ? verdict.mid(6) : QString());
        QVERIFY(msecsOf(row.value("started_at")) <= msecsOf(row.value("ended_at")));

        QFile csv(databases.filePath(kind + ".csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList records = QString::fromUtf8(csv.readAll()).split('\n').filter(QRegularExpression("^\\d"));
        QCOMPARE(records.size(), 40);
        QSqlQuery q(db.database());
        QVERIFY(q.exec("SELECT seq, time, code, distance_mm, amplitude, ambient, temperature_c, driver_current"
                       " FROM measurements ORDER BY seq"));
        for (const QString &record : records) {
            QVERIFY(q.next());
            const QStringList f = record.split(',');
            QCOMPARE(msecsOf(q.value(1)), QDateTime::fromString(f.at(0), Qt::ISODateWithMs).toMSecsSinceEpoch());
            for (int i = 1; i <= 6; ++i)
                QCOMPARE(q.value(i + 1).toString(), f.at(i));
        }
        QVERIFY(!q.next());
    }

    // Runs without a verdict are kept too: measure --stats with its figures
    // (no records without --db-records), and a test whose module is silent as
    // an ERROR with its reason.
    void runWithoutVerdictKept_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("stored");  // kind|status|mean|reference|error message|measurements
        QTest::newRow("measure") << "measure --stats --count 5" << 0 << "measure|COMPLETE|1234|||0";
        QTest::newRow("silent module") << "test --reference 1 --tolerance 1" << 2
                                       << "test|ERROR|||the module did not answer (hardware version)|0";
    }

    void runWithoutVerdictKept()
    {
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, stored);
        const QString target = freshTarget("sqlite");
        sim->setSilent(status != 0);
        const ProcessRun r = runCli(args.split(' ') + QStringList{"--db", target}, state("verdictless"), sim.get());
        QCOMPARE(r.status, status);
        DbReader db(target);
        const QSqlRecord row = db.record("SELECT * FROM runs");
        QVERIFY(row.value("result").isNull());
        QCOMPARE(row.value("exit_status").toInt(), status);
        QCOMPARE(
            QStringList({row.value("kind").toString(), row.value("status").toString(), row.value("mean_mm").toString(),
                         row.value("reference_mm").toString(), row.value("error_message").toString(),
                         db.value("SELECT count(*) FROM measurements").toString()})
                .join('|'),
            stored);
    }

    // The limits file's rules on a run: values taken (options over the file
    // are tst_clioptions'), marginal passes, version patterns.
    void limitsFile_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("expect");  // a regular expression on stdout
        QTest::addColumn<int>("marginal");

        // Distance 1234 every time; amplitude 2000.
        const QByteArray base = R"("reference_mm": 1230, "tolerance_mm": 5, "count": 7)";
        const auto file = [&](const QByteArray &more) {
            return "{" + base + (more.isEmpty() ? "" : ", " + more) + "}";
        };
        QTest::newRow("file limits, versions match")
            << file(R"("hardware": "A-0\\.1\\..*", "firmware": "B-1\\.2\\.[5-9]")") << "" << 0
            << "\nexpected: 7\n(.*\n)*accuracy: 4.000 mm\n(.*\n)*PASS\n$" << 0;
        QTest::newRow("marginal") << file(R"("marginal_mm": 1)") << "" << 0 << "\nPASS \\(marginal\\)\n$" << 1;
        QTest::newRow("just not marginal") << file(R"("marginal_mm": 0.999)") << "" << 0 << "\nPASS\n$" << 0;
        QTest::newRow("failed is not marginal") << file(R"("marginal_mm": 1, "min_amplitude": 2001)") << "" << 1
                                                << "FAIL: mean amplitude 2000.000 < 2001.000\n$" << 0;
        QTest::newRow("both mismatch, and a limit")
            << file(R"("hardware": "A", "firmware": "B")") << "--tolerance 1" << 1
            << "FAIL: hardware A-0.1.2 does not match A; firmware B-1.2.5 does not match B; accuracy" << 0;
    }

    void limitsFile()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, expect);
        QFETCH(int, marginal);
        const QString path =
            databases.filePath(QStringLiteral("limits-%1.json").arg(QTest::currentDataTag()).replace(' ', '_'));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(json) == json.size());
        f.close();
        const QString target = freshTarget("sqlite");
        const ProcessRun r = runCli(QStringList{"test", "--limits", path, "--db", target, "--format", "text"}
                                        + args.split(' ', Qt::SkipEmptyParts),
                                    state("limits"), sim.get());
        QCOMPARE(r.status, status);
        QVERIFY2(QRegularExpression(expect).match(r.out).hasMatch(), qPrintable(r.out + r.err));
        DbReader db(target);
        const QSqlRecord row = db.record("SELECT * FROM runs");
        QCOMPARE(row.value("marginal").toInt(), marginal);
        QCOMPARE(row.value("limits_sha256").toString(),
                 QString::fromLatin1(QCryptographicHash::hash(json, QCryptographicHash::Sha256).toHex()));
        QCOMPARE(row.value("result").toString(), status == 0 ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    }

    // Two databases, one away: each run waits for its own and reaches only
    // it; sync reports per database, with --db only that one's runs; runs of
    // a spool from before runs carried their database go only where named.
    void spoolKeepsEachRunsDatabase()
    {
        const QString trial = freshTarget("sqlite");
        const QString folder = databases.filePath("line-db");
        const QString line = folder + "/line.sqlite";  // away until its folder exists
        const QString spool = databases.filePath("spool-targets.sqlite");
        const auto test = [&](const QString &db, const QString &serial) {
            const QStringList args{"--db", db, "--spool", spool, "--serial", serial};
            return runCli(words("test --reference 1234 --tolerance 1 --count 3") + args, state("targets"), sim.get());
        };
        const auto sync = [&](const QStringList &db) {
            return runCli(QStringList{"sync", "--spool", spool} + db, state("targets"));
        };
        QCOMPARE(test(line, "L1").status, 0);
        QCOMPARE(test(line, "L2").status, 0);
        QCOMPARE(test(trial, "T1").status, 0);
        QCOMPARE(DbReader(trial).value("SELECT group_concat(serial_number) FROM runs").toString(),
                 QStringLiteral("T1"));

        ProcessRun r = sync({"--db", trial});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, trial + ": sent: 0, already stored: 0, left: 0\nsent: 0\nalready stored: 0\nleft: 0\n");
        r = sync({});
        QCOMPARE(r.status, 2);
        QCOMPARE(r.out, line + ": sent: 0, already stored: 0, left: 2\nsent: 0\nalready stored: 0\nleft: 2\n");
        QVERIFY2(r.err.contains("2 runs wait for it in the spool " + spool), qPrintable(r.err));

        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(sync({}).out, line + ": sent: 2, already stored: 0, left: 0\nsent: 2\nalready stored: 0\nleft: 0\n");
        QCOMPARE(DbReader(line).value("SELECT count(*) FROM runs WHERE serial_number IN ('L1', 'L2')").toInt(), 2);

        QCOMPARE(test(databases.filePath("gone/x.sqlite"), "OLD").status, 0);
        QVERIFY(QSqlQuery(DbReader(spool).database()).exec("DROP TABLE spool_targets"));
        r = sync({});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.out.endsWith("left: 1\n") && r.err.contains("sync --db TARGET"), qPrintable(r.out + r.err));
        QCOMPARE(sync({"--db", trial}).status, 0);
        QCOMPARE(DbReader(trial).value("SELECT count(*) FROM runs WHERE serial_number = 'OLD'").toInt(), 1);
        QCOMPARE(spooled(spool), 0);
    }

    // What sync says when the spool fails (a database away is the test
    // above's): the counts agree with what the database holds, and the fault
    // is put on the spool.
    void syncOnFailures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("spool locked by another") << "locked" << 74 << "the spool";
        QTest::newRow("spool not a database") << "garbage" << 74 << "cannot read the spool";
    }

    void syncOnFailures()
    {
        QFETCH(QString, fault);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QString folder = databases.filePath("sync-" + fault);
        const QString target = folder + "/db.sqlite";
        const QString spool = databases.filePath("spool-sync-" + fault + ".sqlite");
        const QStringList args{"--db", target, "--spool", spool};
        QCOMPARE(runCli(words("test --reference 1234 --tolerance 1 --count 3") + args, state("sync"), sim.get()).status,
                 0);
        QVERIFY(QDir().mkpath(folder));
        std::unique_ptr<DbReader> holder;
        if (fault == "locked") {
            holder.reset(new DbReader(spool));
            QVERIFY(QSqlQuery(holder->database()).exec("BEGIN IMMEDIATE"));
        } else if (fault == "garbage") {
            QFile f(spool);
            QVERIFY(QFile::remove(spool) && f.open(QIODevice::WriteOnly) && f.write(QByteArray(4096, 'x')) == 4096);
        }
        const ProcessRun r = runCli({"sync", "--spool", spool, "--db-timeout", "2"}, state("sync"));
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(message) && r.err.contains(spool), qPrintable(r.err));
        QVERIFY2(!r.err.contains("korvani-cli: results database"), qPrintable(r.err));
        QCOMPARE(summaryLine(r.out, "sent"), DbReader(target).value("SELECT count(*) FROM runs").toInt());
        QCOMPARE(summaryLine(r.out, "left"), 0);
    }

    // The database away, slow or refusing: the run ends with its own verdict
    // and status, within --db-timeout plus a margin, and one line says where
    // its record waits; the next run stored there sends it after itself, and
    // every run is stored exactly once, with its measurements.
    void databaseAway_data()
    {
        QTest::addColumn<QString>("fault");  // on PostgreSQL but "file lock"
        QTest::newRow("server stopped") << "stopped";
        QTest::newRow("connection killed during the write") << "killed";
        QTest::newRow("server frozen before it answers") << "frozen server";
        QTest::newRow("server frozen during the write, over TCP") << "frozen backend";
        QTest::newRow("table locked by another") << "lock";
        QTest::newRow("file locked by another") << "file lock";
    }

    void databaseAway()
    {
        QFETCH(QString, fault);
        FRESH_TARGET(fresh, fault == "file lock" ? "sqlite" : "postgres")
        const QString database = QUrl(fresh).path().mid(1);
        const QString target = fault == "frozen backend" ? pg.tcpUrl(database) : fresh;
        const QString spool =
            databases.filePath(QStringLiteral("spool-%1.sqlite").arg(QTest::currentDataTag()).replace(' ', '_'));
        const QString pidFile = pg.socketDir() + "/frozen.pid";  // written by the server's user
        // The tables made before the fault.
        QCOMPARE(runCli({"measure", "--stats", "--count", "1", "--db", target}, state("away"), sim.get()).status, 0);
        DbReader other(target);
        qint64 frozen = 0;
        if (fault == "stopped") {
            QVERIFY2(pg.stop(), qPrintable(pg.errorString()));
        } else if (fault == "killed") {
            QVERIFY2(pg.psql("CREATE FUNCTION cut_off() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER AS"
                             " $$BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); RETURN NULL; END$$;"
                             " CREATE TRIGGER cut_off BEFORE INSERT ON measurements"
                             " FOR EACH STATEMENT EXECUTE FUNCTION cut_off()",
                             database),
                     qPrintable(pg.errorString()));
        } else if (fault == "frozen server") {
            QFile lock(QStringLiteral("%1/.s.PGSQL.%2.lock").arg(pg.socketDir()).arg(pg.port()));
            QVERIFY(lock.open(QIODevice::ReadOnly));
            frozen = lock.readLine().trimmed().toLongLong();
            QVERIFY(frozen > 0 && ::kill(pid_t(frozen), SIGSTOP) == 0);
        } else if (fault == "frozen backend") {
            QVERIFY2(pg.psql(QStringLiteral(
                                 "CREATE FUNCTION stall() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER AS $$BEGIN"
                                 " EXECUTE format('COPY (SELECT 1) TO PROGRAM %L', 'echo ' || pg_backend_pid()"
                                 " || ' > %1; kill -STOP ' || pg_backend_pid()); RETURN NEW; END$$;"
                                 " CREATE TRIGGER stall BEFORE INSERT ON runs FOR EACH ROW EXECUTE FUNCTION stall()")
                                 .arg(pidFile),
                             database),
                     qPrintable(pg.errorString()));
        } else {
            const char *lock = fault == "lock" ? "BEGIN; LOCK TABLE runs IN EXCLUSIVE MODE" : "BEGIN IMMEDIATE";
            QVERIFY(QSqlQuery(other.database()).exec(lock));
        }

        const auto test = [&](const QString &serial) {
            const QStringList args{"--db", target, "--spool", spool, "--serial", serial};
            return runCli(words("test --reference 1234 --tolerance 1 --count 5 --db-records --db-timeout 2") + args,
                          state("away"), sim.get());
        };
        QElapsedTimer clock;
        clock.start();
        const ProcessRun away = test("S1");
        const qint64 took = clock.elapsed();
        QCOMPARE(away.status, 0);
        QVERIFY(away.out.endsWith("PASS\n"));
        QVERIFY2(QRegularExpression("^korvani-cli: results database [^\n]*; the run is kept in "
                                    + QRegularExpression::escape(spool) + "\n$")
                     .match(away.err)
                     .hasMatch(),
                 qPrintable(away.err));
        QVERIFY2(took < 12000, qPrintable(QStringLiteral("the station waited %1 ms").arg(took)));
        QCOMPARE(spooled(spool), 1);

        if (frozen)
            ::kill(pid_t(frozen), SIGCONT);
        if (fault == "stopped") {
            QVERIFY2(pg.start(), qPrintable(pg.errorString()));
        } else if (fault == "killed") {
            QVERIFY(pg.psql("DROP TRIGGER cut_off ON measurements", database));
        } else if (fault == "frozen backend") {
            QFile f(pidFile);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY(::kill(pid_t(f.readAll().trimmed().toLongLong()), SIGCONT) == 0);
            QVERIFY(pg.psql("DROP TRIGGER stall ON runs", database));
        } else if (fault.endsWith("lock")) {
            QSqlQuery(other.database()).exec("ROLLBACK");
        }

        const ProcessRun next = test("S2");
        QCOMPARE(next.status, 0);
        QVERIFY2(next.err.isEmpty(), qPrintable(next.err));
        QCOMPARE(spooled(spool), 0);
        DbReader db(target);
        const char *runs =
            "SELECT count(DISTINCT serial_number) || '/' || count(*) FROM runs WHERE serial_number LIKE 'S_'";
        QCOMPARE(db.value(runs).toString(), QStringLiteral("2/2"));
        const char *records =
            "SELECT count(*) FROM measurements JOIN runs USING (run_id) WHERE serial_number LIKE 'S_'";
        QCOMPARE(db.value(records).toInt(), 10);
    }

    // A run neither the database nor the spool takes ends with 74, after its
    // summary; a run is stored with the status the process ends with.
    void runKeptWithTheEndingStatus_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("status");
        QTest::newRow("database and spool unwritable") << "lost" << 74;
        QTest::newRow("summary to a full disk") << "full" << 74;
    }

    void runKeptWithTheEndingStatus()
    {
        QFETCH(QString, fault);
        QFETCH(int, status);
        const QString target = fault == "lost" ? databases.filePath("nowhere/db.sqlite") : freshTarget("sqlite");
        const QString spool =
            fault == "lost" ? QStringLiteral("/dev/null/spool.sqlite") : databases.filePath("spool-ending.sqlite");
        const ProcessRun r = runCli(words("test --reference 1234 --tolerance 1 --count 3")
                                        + QStringList{"--db", target, "--spool", spool},
                                    state("ending"), sim.get(), fault == "full" ? "/dev/full" : QString());
        QCOMPARE(r.status, status);
        if (fault == "lost") {
            QVERIFY2(r.err.contains("the run is LOST"), qPrintable(r.err));
            QVERIFY(r.out.endsWith("PASS\n"));
        } else {
            QCOMPARE(DbReader(target).value("SELECT exit_status FROM runs").toInt(), status);
        }
    }

    void rangeRunsKeptOnce_data() { bothDatabases(); }

    // Runs across the range and a study: their points and figures stored as the
    // summary printed them, and in the report's linearity and studies (the
    // spool carries points too: tst_results).
    void rangeRunsKeptOnce()
    {
        QFETCH(QString, kind);
        FRESH_TARGET(target, kind)
        QVector<QJsonObject> summaries;
        for (const QString &unit : {QStringLiteral("U1"), QStringLiteral("U2")}) {
            const QStringList args{"--serial", unit, "--db", target};
            const ProcessRun r = runCli(
                words("--sim --format json test --points 500,1000 --tolerance 5 --count 5") + args, state("range"));
            QCOMPARE(r.status, 0);
            summaries
                << QJsonDocument::fromJson(r.out.trimmed().split('\n').last().toUtf8()).object()["summary"].toObject();
        }
        const QStringList study{"--db", target};
        QCOMPARE(
            runCli(words("--sim study --reference 1500 --tolerance 50 --serial U1") + study, state("range")).status, 0);

        DbReader db(target);
        QCOMPARE(db.value("SELECT count(*) FROM points").toInt(), 4);
        QMap<int, double> largest;  // per distance, the largest |bias| of the two units
        for (int u = 0; u < 2; ++u) {
            const QJsonObject &s = summaries[u];
            const QString run =
                QStringLiteral("(SELECT run_id FROM runs WHERE kind = 'points' AND serial_number = 'U%1')").arg(u + 1);
            QCOMPARE(db.value("SELECT linearity_slope FROM runs WHERE run_id = " + run).toDouble(),
                     s["linearity"].toObject()["slope"].toDouble());
            for (const QJsonValue &v : s["points"].toArray()) {
                const QJsonObject p = v.toObject();
                const int reference = p["reference_mm"].toInt();
                const QString bias =
                    QStringLiteral("SELECT bias_mm FROM points WHERE run_id = %1 AND reference_mm = %2");
                QCOMPARE(db.value(bias.arg(run).arg(reference)).toDouble(), p["bias_mm"].toDouble());
                largest[reference] = qMax(largest[reference], std::abs(p["bias_mm"].toDouble()));
            }
        }
        QVERIFY(db.value("SELECT cg FROM runs WHERE kind = 'study'").toDouble() > 0);

        const ProcessRun report = runCli({"report", "--db", target, "--format", "json"}, state("range"));
        const QJsonObject r = QJsonDocument::fromJson(report.out.toUtf8()).object();
        const QJsonArray linearity = r["linearity"].toArray();
        QCOMPARE(linearity.size(), 2);
        for (const QJsonValue &v : linearity) {
            const QJsonObject l = v.toObject();
            QCOMPARE(l["units"].toInt(), 2);
            QCOMPARE(l["bias_max_abs_mm"].toDouble(), largest.value(l["reference_mm"].toInt()));
        }
        QCOMPARE(r["studies"].toArray().first().toObject()["modules"].toInt(), 1);
    }

    void concurrentStations_data() { bothDatabases(); }

    // 8 stations x 50 runs at once against one database: 400 distinct rows,
    // no run failed, nothing spooled.
    void concurrentStations()
    {
        QFETCH(QString, kind);
        FRESH_TARGET(target, kind)
        constexpr int Stations = 8, Runs = 50;
        // Each station a shell running its runs one after the other; a run that
        // fails or says anything on standard error ends its station. The
        // simulated modules get a generous answer time-out: eight stations at
        // once keep a small machine busy, and the line is not what is tested.
        const QString station =
            QStringLiteral("for i in $(seq %1); do"
                           " out=$(\"$0\" --sim --timeout 5000 test --reference 1500 --tolerance 500 --count 2"
                           " --db \"$1\" --db-records --station \"line-$2\" --serial \"M$2-$i\" --spool \"$3\""
                           " 2>&1 >/dev/null) && [ -z \"$out\" ] || { echo \"run $i: $out\"; exit 1; }; done")
                .arg(Runs);
        std::vector<std::unique_ptr<QProcess>> lanes;
        for (int s = 0; s < Stations; ++s) {
            lanes.emplace_back(new QProcess);
            lanes.back()->setProcessEnvironment(cliEnvironment(state(kind + QString::number(s))));
            lanes.back()->start(QStringLiteral("sh"),
                                {"-c", station, KORVANI_CLI, target, QString::number(s), spoolOf(kind, s)});
        }
        for (const auto &lane : lanes) {
            QVERIFY(lane->waitForFinished(240000));
            QVERIFY2(lane->exitCode() == 0, lane->readAll().constData());
        }
        DbReader db(target);
        QCOMPARE(db.value("SELECT count(*) FROM runs").toInt(), Stations * Runs);
        QCOMPARE(db.value("SELECT count(DISTINCT run_id) FROM runs").toInt(), Stations * Runs);
        QCOMPARE(db.value("SELECT count(DISTINCT serial_number) FROM runs").toInt(), Stations * Runs);
        QCOMPARE(db.value("SELECT count(*) FROM measurements").toInt(), Stations * Runs * 2);
        // The stations that found no tables made them once between them.
        QCOMPARE(db.value("SELECT count(*) FROM schema_version").toInt(), 1);
        for (int s = 0; s < Stations; ++s)
            QVERIFY(!QFile::exists(spoolOf(kind, s)));
    }
};

QTEST_GUILESS_MAIN(TstResultsCli)
#include "tst_resultscli.moc"
