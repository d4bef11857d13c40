// korvani-cli keeping its runs: real processes on a simulated module's line,
// writing to real SQLite files and to a PostgreSQL server the test starts
// itself; the database made to fail the ways a line's database fails.

#include "dbreader.h"
#include "freshdatabases.h"
#include "processrun.h"
#include "sim/simulatedmodule.h"

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

// The value on the line "KEY: VALUE" of a process's output: a summary's
// "# mean_mm", sync's "sent".
QString lineValue(const QString &out, const QString &key)
{
    return QRegularExpression(QStringLiteral("^%1: (.*)$").arg(QRegularExpression::escape(key)),
                              QRegularExpression::MultilineOption)
        .match(out)
        .captured(1);
}

}  // namespace

class TstResultsCli : public QObject
{
    Q_OBJECT

    FreshDatabases databases;
    PgServer &pg = databases.server();
    std::unique_ptr<SimulatedModule> sim;

    QString state(const QString &name) { return databases.filePath(QStringLiteral("state-") + name); }

    int spooled(const QString &spool) { return DbReader(spool).value("SELECT count(*) FROM runs").toInt(); }

private slots:
    void init()
    {
        sim.reset(new SimulatedModule);
        sim->setHardwareVersion("A102");
        sim->setFirmwareVersion("B215");
        sim->setFixedReading(SimulatedModule::Reading{1234, 2000, 40, 100, 2});
        QVERIFY(sim->open());
    }

    void storedRunEqualsSummary_data() { addDatabaseKinds(); }

    // The row holds the printed summary and the versions; the records equal
    // the CSV; no password anywhere (hostile texts are stored verbatim:
    // tst_results).
    void storedRunEqualsSummary()
    {
        QFETCH(QString, kind);
        FRESH_TARGET(databases, target, kind)
        // The server trusts the socket, so any password gets in: it must still show nowhere.
        const QString withPassword = QString(target).replace("user=admin", "user=admin&password=s3cr%3Bet");
        const QString csv = databases.filePath(kind + ".csv");
        sim->setFixedReading(std::nullopt);  // noisy distances
        const ProcessRun r = runCli(words("test --reference 1500 --tolerance 3 --count 40 --format csv --db-records"
                                          " --serial SN-1 --station A")
                                        + QStringList{"--output", csv, "--db", withPassword},
                                    state(kind), sim.get());
        QVERIFY2(r.status == 0 || r.status == 1, qPrintable(r.err));
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QVERIFY(!r.out.contains("s3cr"));

        DbReader db(target);
        const QString verdict = lineValue(r.out, "# verdict");
        QStringList printed{QStringLiteral("%1|%2|A-0.1.2|B-1.2.5|SN-1|A|%3|%4|test|COMPLETE|-")
                                .arg(verdict.left(4), verdict.startsWith("FAIL: ") ? verdict.mid(6) : "-",
                                     sim->portName(), QString::number(r.status))};
        const QStringList figures{"frames",       "expected",    "failed_checks", "rate_hz",   "mean_mm",
                                  "sigma_mm",     "min_mm",      "max_mm",        "median_mm", "reference_mm",
                                  "tolerance_mm", "accuracy_mm", "outside"};
        for (const QString &key : figures)
            printed << QString::number(lineValue(r.out, "# " + key).toDouble(), 'g', 15);
        QCOMPARE(db.text("SELECT result, failed, hardware_version, firmware_version, serial_number, station, port,"
                         " exit_status, kind, status, device_id, "
                         + figures.join(", ") + " FROM runs"),
                 printed.join('|'));
        const QVariantList row = db.rows("SELECT command, started_at, ended_at FROM runs").value(0);
        QVERIFY2(!row.value(0).toString().contains("s3cr") && row.value(0).toString().contains("--serial"),
                 qPrintable(row.value(0).toString()));
        QVERIFY(DbReader::dateTime(row.value(1)) <= DbReader::dateTime(row.value(2)));

        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList fromCsv, fromDb;
        for (const QString &record : QString::fromUtf8(file.readAll()).split('\n').filter(QRegularExpression("^\\d"))) {
            const QStringList f = record.split(',');
            fromCsv << QString::number(QDateTime::fromString(f.at(0), Qt::ISODateWithMs).toMSecsSinceEpoch()) + ','
                    + f.mid(1, 6).join(',');
        }
        for (const QVariantList &m : db.rows("SELECT time, code, distance_mm, amplitude, ambient, temperature_c,"
                                             " driver_current FROM measurements ORDER BY seq")) {
            QStringList f{QString::number(DbReader::dateTime(m.at(0)).toMSecsSinceEpoch())};
            for (int i = 1; i < m.size(); ++i)
                f << m.at(i).toString();
            fromDb << f.join(',');
        }
        QCOMPARE(fromCsv.size(), 40);
        QCOMPARE(fromDb, fromCsv);
    }

    // Every run is kept with what it ended with: measure --stats with its
    // figures (no records without --db-records), the limits file's rules
    // (values taken, marginal passes, version patterns; options over the file
    // are tst_clioptions'), and the status the process ends with after a
    // failed write; a run neither the database nor the spool takes ends with
    // 74, after its summary. (A silent module's ERROR run: tst_fixture.)
    void runStored_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("args");
        QTest::addColumn<QByteArray>("limits");  // null: no limits file
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("expect");  // a regular expression on stdout and stderr
        // kind|status|result|marginal|mean|error message|measurements|exit status (then the limits file's
        // SHA-256); empty: no database
        QTest::addColumn<QString>("stored");

        // Distance 1234 every time; amplitude 2000.
        const QByteArray base = R"("reference_mm": 1230, "tolerance_mm": 5, "count": 7)";
        const auto file = [&](const QByteArray &more) { return "{" + base + ", " + more + "}"; };
        const auto row = [](const char *name, const char *fault, const char *args, const QByteArray &limits, int status,
                            const char *expect, const char *stored) {
            QTest::newRow(name) << fault << args << limits << status << expect << stored;
        };
        row("measure", "", "measure --stats --count 5", {}, 0, "", "measure|COMPLETE|-|0|1234|-|0|0");
        row("file limits, versions match", "", "test --format text",
            file(R"("hardware": "A-0\\.1\\..*", "firmware": "B-1\\.2\\.[5-9]")"), 0,
            "\nexpected: 7\n(.*\n)*accuracy: 4.000 mm\n(.*\n)*PASS\n$", "test|COMPLETE|PASS|0|1234|-|0|0");
        row("marginal", "", "test --format text", file(R"("marginal_mm": 1)"), 0, "\nPASS \\(marginal\\)\n$",
            "test|COMPLETE|PASS|1|1234|-|0|0");
        row("just not marginal", "", "test --format text", file(R"("marginal_mm": 0.999)"), 0, "\nPASS\n$",
            "test|COMPLETE|PASS|0|1234|-|0|0");
        row("failed is not marginal", "", "test --format text", file(R"("marginal_mm": 1, "min_amplitude": 2001)"), 1,
            "FAIL: mean amplitude 2000.000 < 2001.000\n$", "test|COMPLETE|FAIL|0|1234|-|0|1");
        row("both versions mismatch, and a limit", "", "test --format text --tolerance 1",
            file(R"("hardware": "A", "firmware": "B")"), 1,
            "FAIL: hardware A-0.1.2 does not match A; firmware B-1.2.5 does not match B; accuracy",
            "test|COMPLETE|FAIL|0|1234|-|0|1");
        row("summary to a full disk", "full", "test --reference 1234 --tolerance 1 --count 3", {}, 74, "",
            "test|ERROR|-|0|1234|cannot write standard output: No space left on device|0|74");
        row("database and spool unwritable", "lost", "test --reference 1234 --tolerance 1 --count 3", {}, 74,
            "PASS\n.*the run is LOST", "");
    }

    void runStored()
    {
        QFETCH(QString, fault);
        QFETCH(QString, args);
        QFETCH(QByteArray, limits);
        QFETCH(int, status);
        QFETCH(QString, expect);
        QFETCH(QString, stored);
        const QString target = fault == "lost" ? databases.filePath("nowhere/db.sqlite") : databases.fresh("sqlite");
        QStringList more{"--db", target, "--spool",
                         fault == "lost" ? "/dev/null/spool.sqlite" : databases.filePath("spool-stored.sqlite")};
        if (!limits.isNull()) {
            more << "--limits" << databases.filePath(QStringLiteral("limits%1.json").arg(QTest::currentDataTag()));
            QFile f(more.last());
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(limits) == limits.size() && f.flush());
        }
        const ProcessRun r =
            runCli(args.split(' ') + more, state("stored"), sim.get(), fault == "full" ? "/dev/full" : QString());
        QCOMPARE(r.status, status);
        QVERIFY2(
            QRegularExpression(expect, QRegularExpression::DotMatchesEverythingOption).match(r.out + r.err).hasMatch(),
            qPrintable(r.out + r.err));
        if (stored.isEmpty())
            return;
        const QString sha = QCryptographicHash::hash(limits, QCryptographicHash::Sha256).toHex();
        QCOMPARE(DbReader(target).text("SELECT kind, status, result, marginal, mean_mm, error_message,"
                                       " (SELECT count(*) FROM measurements), exit_status, limits_sha256 FROM runs"),
                 stored + '|' + (limits.isNull() ? QStringLiteral("-") : sha));
    }

    // Two databases, one away: each run waits for its own and reaches only
    // it; sync reports per database, with --db only that one's runs; runs of
    // a spool from before runs carried their database go only where named.
    void spoolKeepsEachRunsDatabase()
    {
        const QString trial = databases.fresh("sqlite");
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
        {
            // Another holds the spool: sync ends with 74 within its time, the fault
            // put on the spool, its counts agreeing with what the database holds.
            DbReader holder(spool);
            QVERIFY(QSqlQuery(holder.database()).exec("BEGIN IMMEDIATE"));
            r = runCli({"sync", "--spool", spool, "--db-timeout", "2"}, state("targets"));
            QCOMPARE(r.status, 74);
            QVERIFY2(r.err.contains("the spool " + spool) && !r.err.contains("korvani-cli: results database"),
                     qPrintable(r.err));
            QCOMPARE(lineValue(r.out, "sent").toInt(), DbReader(line).value("SELECT count(*) FROM runs").toInt());
        }
        // The run sent before the spool failed is found stored; the other is sent.
        QCOMPARE(sync({}).out, line + ": sent: 1, already stored: 1, left: 0\nsent: 1\nalready stored: 1\nleft: 0\n");
        QCOMPARE(DbReader(line).value("SELECT count(*) FROM runs WHERE serial_number IN ('L1', 'L2')").toInt(), 2);

        QCOMPARE(test(databases.filePath("gone/x.sqlite"), "OLD").status, 0);
        QVERIFY(QSqlQuery(DbReader(spool).database()).exec("DROP TABLE spool_targets"));
        r = sync({});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.out.endsWith("left: 1\n") && r.err.contains("sync --db TARGET"), qPrintable(r.out + r.err));
        QCOMPARE(sync({"--db", trial}).status, 0);
        QCOMPARE(DbReader(trial).value("SELECT count(*) FROM runs WHERE serial_number = 'OLD'").toInt(), 1);
        QCOMPARE(spooled(spool), 0);

        QFile garbage(spool);
        QVERIFY(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate)
                && garbage.write(QByteArray(4096, 'x')) == 4096);
        garbage.close();
        r = sync({});
        QCOMPARE(r.status, 74);
        QVERIFY2(r.err.contains("cannot read the spool " + spool), qPrintable(r.err));
    }

    // The database away, slow or refusing: the run ends with its own verdict
    // and status, within --db-timeout plus a margin, and one line says where
    // its record waits; the next run stored there sends it after itself, and
    // every run is stored exactly once, with its measurements.
    void databaseAway_data()
    {
        QTest::addColumn<QString>("fault");  // on PostgreSQL but "file lock"
        QTest::addColumn<QString>("sql");    // run as the server's superuser to make the fault, then undone
        QTest::addColumn<QString>("undo");
        const auto row = [](const char *name, const char *fault, const char *sql = "", const char *undo = "") {
            QTest::newRow(name) << fault << sql << undo;
        };
        row("server stopped", "stopped");
        row("server frozen before it answers", "frozen server");
        // The backend stops itself, its process ID in PIDFILE.
        row("server frozen during the write, over TCP", "frozen backend",
            "CREATE FUNCTION stall() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER AS $$BEGIN"
            " EXECUTE format('COPY (SELECT 1) TO PROGRAM %L', 'echo ' || pg_backend_pid()"
            " || ' > PIDFILE; kill -STOP ' || pg_backend_pid()); RETURN NEW; END$$;"
            " CREATE TRIGGER stall BEFORE INSERT ON runs FOR EACH ROW EXECUTE FUNCTION stall()",
            "DROP TRIGGER stall ON runs");
        row("table locked by another", "lock");
        row("file locked by another", "file lock");
    }

    void databaseAway()
    {
        QFETCH(QString, fault);
        QFETCH(QString, sql);
        QFETCH(QString, undo);
        FRESH_TARGET(databases, fresh, fault == "file lock" ? "sqlite" : "postgres")
        const QString database = QUrl(fresh).path().mid(1);
        // Through the socket with a password the server does not ask for: no message may show it.
        const QString target = fault == "frozen backend" ? pg.tcpUrl(database)
            : fresh.contains('?')                        ? fresh + "&password=s3cret"
                                                         : fresh;
        const QString spool =
            databases.filePath(QStringLiteral("spool-%1.sqlite").arg(QTest::currentDataTag()).replace(' ', '_'));
        // Where the frozen process's ID is: the server's lock file starts with it.
        const QString pidFile = fault == "frozen server"
            ? QStringLiteral("%1/.s.PGSQL.%2.lock").arg(pg.socketDir()).arg(pg.port())
            : fault == "frozen backend" ? pg.socketDir() + "/frozen.pid"  // written by the server's user
                                        : QString();
        const auto signalFrozen = [&](int signal) {
            QFile f(pidFile);
            return f.open(QIODevice::ReadOnly) && ::kill(pid_t(f.readLine().trimmed().toLongLong()), signal) == 0;
        };
        // The tables made before the fault.
        QCOMPARE(runCli({"measure", "--stats", "--count", "1", "--db", target}, state("away"), sim.get()).status, 0);
        DbReader other(target);
        if (!sql.isEmpty())
            QVERIFY2(pg.psql(QString(sql).replace("PIDFILE", pidFile), database), qPrintable(pg.errorString()));
        if (fault == "stopped")
            QVERIFY2(pg.stop(), qPrintable(pg.errorString()));
        if (fault == "frozen server")
            QVERIFY(signalFrozen(SIGSTOP));
        if (fault.endsWith("lock"))
            QVERIFY(QSqlQuery(other.database())
                        .exec(fault == "lock" ? "BEGIN; LOCK TABLE runs IN EXCLUSIVE MODE" : "BEGIN IMMEDIATE"));

        const auto test = [&](const QString &serial) {
            const QStringList args{"--db", target, "--spool", spool, "--serial", serial};
            return runCli(words("test --reference 1234 --tolerance 1 --count 5 --db-records --db-timeout 2") + args,
                          state("away"), sim.get());
        };
        QElapsedTimer clock;
        clock.start();
        const ProcessRun away = test("S1");
        const qint64 took = clock.elapsed();
        QVERIFY2(away.status == 0 && away.out.endsWith("PASS\n"),
                 qPrintable(QStringLiteral("status %1: ").arg(away.status) + away.err));
        QVERIFY2(QRegularExpression("^korvani-cli: results database [^\n]*; the run is kept in "
                                    + QRegularExpression::escape(spool) + "\n$")
                         .match(away.err)
                         .hasMatch()
                     && !away.err.contains("s3cret"),
                 qPrintable(away.err));
        QVERIFY2(took < 12000, qPrintable(QStringLiteral("the station waited %1 ms").arg(took)));
        QCOMPARE(spooled(spool), 1);

        if (!pidFile.isEmpty())
            QVERIFY(signalFrozen(SIGCONT));
        if (!undo.isEmpty())
            QVERIFY2(pg.psql(undo, database), qPrintable(pg.errorString()));
        if (fault == "stopped")
            QVERIFY2(pg.start(), qPrintable(pg.errorString()));
        if (fault.endsWith("lock"))
            QSqlQuery(other.database()).exec("ROLLBACK");

        const ProcessRun next = test("S2");
        QVERIFY2(next.status == 0 && next.err.isEmpty(),
                 qPrintable(QStringLiteral("status %1: ").arg(next.status) + next.err));
        QCOMPARE(spooled(spool), 0);
        // Each run once, with its records.
        QCOMPARE(DbReader(target).text("SELECT count(DISTINCT run_id), count(*), (SELECT count(*) FROM measurements"
                                       " JOIN runs USING (run_id) WHERE serial_number LIKE 'S_') FROM runs"
                                       " WHERE serial_number LIKE 'S_'"),
                 QStringLiteral("2|2|10"));
    }

    void rangeRunsKeptOnce_data() { addDatabaseKinds(); }

    // Runs across the range and a study: their points and line stored as the
    // summary printed them, and in the report's linearity and studies (the
    // spool carries points too: tst_results).
    void rangeRunsKeptOnce()
    {
        QFETCH(QString, kind);
        FRESH_TARGET(databases, target, kind)
        const auto number = [](const QJsonValue &v) { return QString::number(v.toDouble(), 'g', 15); };
        QStringList printed, expected;
        QMap<int, double> largest;  // per distance, the largest |bias| of the two units
        for (const char *unit : {"U1", "U2"}) {
            const ProcessRun r = runCli(words("--sim --format json test --points 500,1000 --tolerance 5 --count 5 --db")
                                            << target << "--serial" << unit,
                                        state("range"));
            QCOMPARE(r.status, 0);
            const QJsonObject s =
                QJsonDocument::fromJson(r.out.trimmed().split('\n').last().toUtf8()).object()["summary"].toObject();
            for (const QJsonValue &v : s["points"].toArray()) {
                const QJsonObject p = v.toObject();
                printed << QStringList({unit, number(p["reference_mm"]), number(p["bias_mm"]),
                                        number(s["linearity"].toObject()["slope"])})
                               .join('|');
                double &most = largest[p["reference_mm"].toInt()];
                most = qMax(most, std::abs(p["bias_mm"].toDouble()));
            }
        }
        QCOMPARE(runCli(words("--sim study --reference 1500 --tolerance 50 --serial U1 --db") << target, state("range"))
                     .status,
                 0);
        QCOMPARE(DbReader(target).text("SELECT serial_number, p.reference_mm, bias_mm, linearity_slope FROM points p"
                                       " JOIN runs USING (run_id) ORDER BY serial_number, p.reference_mm"),
                 printed.join('\n'));

        const QJsonObject report =
            QJsonDocument::fromJson(runCli({"report", "--db", target, "--format", "json"}, state("range")).out.toUtf8())
                .object();
        QStringList linearity;
        for (const QJsonValue &v : report["linearity"].toArray())
            linearity << QStringLiteral("%1 mm: %2 units, bias up to %3")
                             .arg(v["reference_mm"].toInt())
                             .arg(v["units"].toInt())
                             .arg(number(v["bias_max_abs_mm"]));
        for (auto it = largest.cbegin(); it != largest.cend(); ++it)
            expected << QStringLiteral("%1 mm: 2 units, bias up to %2").arg(it.key()).arg(number(it.value()));
        QCOMPARE(linearity, expected);
        QCOMPARE(report["studies"].toArray().first()["modules"].toInt(), 1);
    }

    void concurrentStations_data() { addDatabaseKinds(); }

    // 8 stations x 20 runs at once against one database: 160 distinct rows,
    // no run failed, nothing spooled.
    void concurrentStations()
    {
        QFETCH(QString, kind);
        FRESH_TARGET(databases, target, kind)
        constexpr int Stations = 8, Runs = 20;
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
        const QString spools = databases.filePath("spools-" + kind);  // one per station, none left
        std::vector<std::unique_ptr<QProcess>> lanes;
        for (int s = 0; s < Stations; ++s) {
            lanes.emplace_back(new QProcess);
            lanes.back()->setProcessEnvironment(cliEnvironment(state(kind + QString::number(s))));
            lanes.back()->start(QStringLiteral("sh"),
                                {"-c", station, KORVANI_CLI, target, QString::number(s),
                                 QStringLiteral("%1/%2.sqlite").arg(spools).arg(s)});
        }
        for (const auto &lane : lanes) {
            QVERIFY(lane->waitForFinished(240000));
            QVERIFY2(lane->exitCode() == 0, lane->readAll().constData());
        }
        // Every run once, with its records; the stations that found no tables
        // made them once between them.
        QCOMPARE(DbReader(target).text("SELECT count(*), count(DISTINCT run_id), count(DISTINCT serial_number),"
                                       " (SELECT count(*) FROM measurements), (SELECT count(*) FROM schema_version)"
                                       " FROM runs"),
                 QStringLiteral("%1|%1|%1|%2|1").arg(Stations * Runs).arg(Stations * Runs * 2));
        QCOMPARE(QDir(spools).entryList(QDir::Files), QStringList());
    }
};

QTEST_GUILESS_MAIN(TstResultsCli)
#include "tst_resultscli.moc"
