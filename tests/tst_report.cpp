// korvani-cli report as a process, on runs this test writes itself into an
// SQLite file and into a PostgreSQL database it starts: every figure against
// what the test works out from the runs it wrote, the two databases giving
// the same report, yields with retests, empty selections, one unit's history
// and the HTML page in a real headless browser.

#include "dbreader.h"
#include "freshdatabases.h"
#include "pgserver.h"
#include "processrun.h"
#include "results/dbtarget.h"
#include "results/resultstore.h"
#include "results/runrecord.h"
#include "results/schema.h"
#include "seededrandom.h"

#include <QtTest>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

#include <cmath>

namespace {

// A run as written, with the limit names its failure is made of.
struct Written {
    RunRecord record;
    QStringList limits;
};

const QString Hostile = QStringLiteral("x'); DROP TABLE runs;--");

// Deterministic runs: 14 units over two products (tolerances 5 and 2 mm),
// three stations, two firmware versions, one to four runs each over two UTC
// days; passes, marginal passes, failures of one or two limits, ERROR and
// ABORTED runs; a few runs without a serial number.
QVector<Written> makeRuns()
{
    SeededRandom random(20261207);
    QVector<Written> runs;
    const QDateTime start(QDate(2026, 12, 5), QTime(21, 10), Qt::UTC);
    const QStringList stations{"S1", "S2", "S3"};
    int minute = 0;
    for (int unit = 0; unit < 16; ++unit) {
        const bool p2 = unit % 3 == 2;
        const QString serial = unit == 15 ? QString() : unit == 14 ? Hostile : QStringLiteral("U%1").arg(unit, 2, 10, QLatin1Char('0'));
        const int count = unit == 15 ? 3 : 1 + int(random.bounded(4));
        for (int k = 0; k < count; ++k) {
            Written w;
            RunRecord &r = w.record;
            minute += 7 + int(random.bounded(50));
            r.runId = newRunId();
            r.startedAt = start.addSecs(minute * 60LL);
            r.endedAt = r.startedAt.addSecs(3);
            r.kind = QStringLiteral("test");
            r.station = stations.at(int(random.bounded(3)));
            r.serialNumber = serial;
            r.product = p2 ? QStringLiteral("P2") : QStringLiteral("P1");
            r.firmwareVersion = unit % 4 == 0 ? QStringLiteral("B-1.2.4") : QStringLiteral("B-1.2.5");
            r.port = QStringLiteral("/dev/ttyUSB0");
            r.baud = 115200;
            r.toolVersion = QStringLiteral("0.8.5");
            r.command = QStringLiteral("test");
            r.referenceMilli = 1500000;
            r.toleranceMilli = p2 ? 2000 : 5000;
            const int roll = int(random.bounded(100));
            r.reconnects = roll % 7 == 0 ? 1 + roll % 3 : 0;  // a loose cable now and then
            if (roll < 8) {
                r.status = RunStatus::Error;
                r.exitStatus = 2;
                runs << w;
                continue;
            }
            if (roll < 12) {
                r.status = RunStatus::Aborted;
                r.exitStatus = 130;
                runs << w;
                continue;
            }
            // Accuracies in whole thousandths, so both databases hold them exactly;
            // P1 reads well short, so that its Cpk is of a negative mean.
            const qint64 spread = p2 ? 1500 : 3000;
            r.accuracyMilli = qint64(random.bounded(int(2 * spread + 1))) - spread + (p2 ? 300 : -1500);
            r.sigmaMilli = 500 + qint64(random.bounded(3000));
            r.meanMilli = *r.referenceMilli + *r.accuracyMilli;
            r.frames = r.expected = 300;
            r.rateHz = 100;
            const bool first = k == 0;
            const bool fails = roll < 45 || (first && roll < 60 && count > 1);
            r.pass = !fails;
            if (fails) {
                const QStringList catalogue{"accuracy %1 mm beyond tolerance 5.000 mm", "outside 1%1 > 3",
                                            "sigma 3.4%1 mm > 3.000 mm", "mean amplitude 412.%1 < 500.000",
                                            "firmware B-1.2.%1 does not match ^B-1\\.2\\.5$", "no distance measured"};
                const QStringList names{"accuracy", "outside", "sigma", "mean amplitude", "firmware", "no distance measured"};
                const int a = int(random.bounded(catalogue.size()));
                const auto text = [&random](const QString &limit) {
                    return limit.contains(QLatin1String("%1")) ? limit.arg(random.bounded(10)) : limit;
                };
                QStringList parts{text(catalogue.at(a))};
                w.limits << names.at(a);
                const int b = int(random.bounded(catalogue.size()));
                if (b != a && random.bounded(2)) {
                    parts << text(catalogue.at(b));
                    w.limits << names.at(b);
                }
                r.failed = parts.join(QStringLiteral("; "));
                r.exitStatus = 1;
            } else {
                r.marginal = random.bounded(4) == 0;
            }
            runs << w;
        }
    }
    return runs;
}

enum By { All, Station, Product, Firmware, Day, Hour };

QString keyOf(const RunRecord &r, By by)
{
    switch (by) {
    case All: return QStringLiteral("all");
    case Station: return r.station;
    case Product: return r.product;
    case Firmware: return r.firmwareVersion;
    case Day: return utcText(r.startedAt).left(10);
    case Hour: return utcText(r.startedAt).left(13);
    }
    return QString();
}

// The figures a group should have, worked out plainly from the runs.
QJsonObject expectedGroup(const QString &group, const QVector<const Written *> &runs)
{
    qint64 pass = 0, fail = 0, marginal = 0, error = 0, aborted = 0, withSerial = 0, reconnects = 0;
    QMap<QString, QVector<const RunRecord *>> complete;  // per unit, in time order (runs are written in order)
    QSet<QString> units, tolerances;
    QVector<double> accuracy;
    double sigmaSum = 0;
    int sigmas = 0;
    QMap<QString, qint64> limits;
    for (const Written *w : runs) {
        const RunRecord &r = w->record;
        if (!r.serialNumber.isEmpty()) {
            units << r.serialNumber;
            ++withSerial;
        }
        tolerances << QString::number(*r.toleranceMilli);
        error += r.status == RunStatus::Error;
        aborted += r.status == RunStatus::Aborted;
        reconnects += r.reconnects;
        for (const QString &l : w->limits)
            ++limits[l];
        if (r.status != RunStatus::Complete)
            continue;
        pass += *r.pass;
        fail += !*r.pass;
        marginal += *r.pass && r.marginal;
        accuracy << double(*r.accuracyMilli) / 1000.0;
        sigmaSum += double(*r.sigmaMilli) / 1000.0;
        ++sigmas;
        if (!r.serialNumber.isEmpty())
            complete[r.serialNumber] << &r;
    }
    int firstPass = 0, finalPass = 0;
    for (const auto &list : complete) {
        firstPass += *list.first()->pass;
        finalPass += *list.last()->pass;
    }
    QJsonObject g{{"group", group}, {"runs", runs.size()}, {"units", units.size()}, {"pass", pass}, {"fail", fail},
                  {"marginal", marginal}, {"error", error}, {"aborted", aborted}, {"reconnects", reconnects},
                  {"retests", withSerial - units.size()}};
    const auto orNull = [](bool has, double v) { return has ? QJsonValue(v) : QJsonValue(); };
    g["first_pass_yield"] = orNull(!units.isEmpty(), double(firstPass) / units.size());
    g["final_yield"] = orNull(!units.isEmpty(), double(finalPass) / units.size());
    double mean = 0;
    for (double a : accuracy)
        mean += a;
    mean /= qMax(1, accuracy.size());
    double squares = 0;
    for (double a : accuracy)
        squares += (a - mean) * (a - mean);
    const double sigma = accuracy.size() > 1 ? std::sqrt(squares / (accuracy.size() - 1)) : 0;
    g["accuracy_mean_mm"] = orNull(!accuracy.isEmpty(), mean);
    g["accuracy_sigma_mm"] = orNull(accuracy.size() > 1, sigma);
    g["repeatability_mm"] = orNull(sigmas > 0, sigmaSum / qMax(1, sigmas));
    const double tolerance = tolerances.size() == 1 ? tolerances.values().first().toDouble() / 1000.0 : 0;
    g["cp"] = orNull(tolerances.size() == 1 && sigma > 0, 2 * tolerance / (6 * sigma));
    g["cpk"] = orNull(tolerances.size() == 1 && sigma > 0, (tolerance - std::fabs(mean)) / (3 * sigma));
    QJsonArray ranked;
    QVector<QPair<qint64, QString>> order;
    for (auto it = limits.cbegin(); it != limits.cend(); ++it)
        order.append({-it.value(), it.key()});
    std::sort(order.begin(), order.end());
    for (const auto &o : order)
        ranked.append(QJsonObject{{"limit", o.second}, {"count", -o.first}});
    g["failed_limits"] = ranked;
    return g;
}

// Equal up to the digits printed: mm and Cp with three decimals, yields with four.
QString differences(const QJsonObject &expected, const QJsonObject &actual)
{
    QStringList out;
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it) {
        const QJsonValue a = actual.value(it.key());
        const QJsonValue e = it.value();
        bool same = false;
        if (e.isDouble() && a.isDouble()) {
            const double step = it.key().endsWith(QLatin1String("yield")) ? 0.00005 : 0.0005;
            same = std::fabs(e.toDouble() - a.toDouble()) <= step + 1e-9;
        } else {
            same = e == a;
        }
        if (!same)
            out << QStringLiteral("%1: expected %2, got %3").arg(it.key(),
                QString::fromUtf8(QJsonDocument(QJsonArray{e}).toJson(QJsonDocument::Compact)),
                QString::fromUtf8(QJsonDocument(QJsonArray{a}).toJson(QJsonDocument::Compact)));
    }
    return out.join(QStringLiteral("; "));
}

ProcessRun cli(const QStringList &arguments)
{
    ProcessOptions options;
    options.boundMs = 120000;
    return runProcess(KORVANI_CLI, arguments, options);
}

QString chromium()
{
    for (const char *name : {"chromium", "chromium-browser"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

// The browser as a test needs it: headless, no sandbox (root), nothing from
// the network, a profile of its own.
QByteArray browse(const QString &profile, const QStringList &what)
{
    ProcessOptions options;
    options.boundMs = 120000;
    return runProcess(chromium(), QStringList{"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                              "--disable-background-networking", "--disable-component-update",
                                              "--disable-sync", "--hide-scrollbars", "--user-data-dir=" + profile}
                                      + what, options).out.toUtf8();
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    PgServer pg;
    QVector<Written> runs = makeRuns();
    QString sqlite, postgres;

    bool store(const QString &text)
    {
        QString why;
        const std::optional<DbTarget> target = parseDbTarget(text, &why);
        ResultStore s(*target);
        if (!s.open())
            return false;
        for (const Written &w : runs)
            if (s.storeRun(w.record, {}) != ResultStore::Stored::Inserted)
                return false;
        return true;
    }

    QJsonObject json(const QString &db, const QStringList &arguments)
    {
        const ProcessRun r = cli(QStringList{"report", "--db", db, "--format", "json"} + arguments);
        if (r.status != 0)
            qWarning() << "report failed" << r.status << r.err;
        return QJsonDocument::fromJson(r.out.toUtf8()).object();
    }

    QVector<QString> targets() const
    {
        QVector<QString> t{sqlite};
        if (!postgres.isEmpty())
            t << postgres;
        return t;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        sqlite = dir.filePath(QStringLiteral("line.sqlite"));
        QVERIFY(store(sqlite));
        if (PgServer::available()) {
            QVERIFY2(pg.start(), qPrintable(pg.errorString()));
            QVERIFY2(pg.psql(QStringLiteral("CREATE DATABASE line")), qPrintable(pg.errorString()));
            postgres = pg.url(QStringLiteral("line"));
            QVERIFY(store(postgres));
        } else {
            qWarning("PostgreSQL is not installed: the report is checked on SQLite only");
        }
    }

    void figures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("by");
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("since");
        QTest::addColumn<QString>("until");
        QTest::newRow("all") << QStringList() << int(All) << "" << "" << "" << "";
        QTest::newRow("by station") << QStringList{"--by", "station"} << int(Station) << "" << "" << "" << "";
        QTest::newRow("by product") << QStringList{"--by", "product"} << int(Product) << "" << "" << "" << "";
        QTest::newRow("by firmware") << QStringList{"--by", "firmware"} << int(Firmware) << "" << "" << "" << "";
        QTest::newRow("by day") << QStringList{"--by", "day"} << int(Day) << "" << "" << "" << "";
        QTest::newRow("by hour") << QStringList{"--by", "hour"} << int(Hour) << "" << "" << "" << "";
        QTest::newRow("station S2 by product") << QStringList{"--station", "S2", "--by", "product"} << int(Product) << "S2" << "" << "" << "";
        QTest::newRow("product P2") << QStringList{"--product", "P2"} << int(All) << "" << "P2" << "" << "";
        QTest::newRow("a window of time, local offset")
            << QStringList{"--since", "2026-12-06T03:00+02:00", "--until", "2026-12-06 09:30", "--by", "station"}
            << int(Station) << "" << "" << "2026-12-06T01:00:00.000Z" << "2026-12-06T09:30:00.000Z";
    }
    void figures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, by);
        QFETCH(QString, station);
        QFETCH(QString, product);
        QFETCH(QString, since);
        QFETCH(QString, until);

        QMap<QString, QVector<const Written *>> groups;
        for (const Written &w : runs) {
            const RunRecord &r = w.record;
            const QString t = utcText(r.startedAt);
            if ((!station.isEmpty() && r.station != station) || (!product.isEmpty() && r.product != product)
                || (!since.isEmpty() && t < since) || (!until.isEmpty() && t >= until))
                continue;
            groups[keyOf(r, By(by))] << &w;
        }
        QVERIFY(groups.size() >= 1);

        QJsonObject first;
        for (const QString &db : targets()) {
            const QJsonObject report = json(db, arguments);
            const QJsonArray got = report.value(QStringLiteral("groups")).toArray();
            QCOMPARE(got.size(), groups.size());
            int i = 0;
            for (auto it = groups.cbegin(); it != groups.cend(); ++it, ++i) {
                const QString diff = differences(expectedGroup(it.key(), it.value()), got.at(i).toObject());
                QVERIFY2(diff.isEmpty(), qPrintable(db.left(10) + QStringLiteral(" group ") + it.key() + QStringLiteral(": ") + diff));
            }
            // SQLite and PostgreSQL: the same report to the last digit.
            if (first.isEmpty())
                first = report;
            else
                QCOMPARE(report, first);
        }
    }

    // Cp and Cpk per product, each against its own tolerance.
    void capabilityPerProduct()
    {
        for (const QString &db : targets()) {
            const QJsonArray products = json(db, {}).value(QStringLiteral("capability")).toArray();
            QCOMPARE(products.size(), 2);
            for (const QJsonValue &v : products) {
                const QJsonObject p = v.toObject();
                QVector<const Written *> of;
                for (const Written &w : runs)
                    if (w.record.product == p.value("product").toString())
                        of << &w;
                QJsonObject expected = expectedGroup(QString(), of);
                const QJsonObject got{{"accuracy_mean_mm", p.value("accuracy_mean_mm")}, {"accuracy_sigma_mm", p.value("accuracy_sigma_mm")},
                                      {"cp", p.value("cp")}, {"cpk", p.value("cpk")}};
                for (const char *key : {"group", "runs", "units", "pass", "fail", "marginal", "error", "aborted", "reconnects", "retests",
                                        "first_pass_yield", "final_yield", "repeatability_mm", "failed_limits"})
                    expected.remove(QLatin1String(key));
                const QString diff = differences(expected, got);
                QVERIFY2(diff.isEmpty(), qPrintable(p.value("product").toString() + ": " + diff));
                QCOMPARE(p.value("tolerance_mm").toDouble(), p.value("product") == QLatin1String("P2") ? 2.0 : 5.0);
            }
        }
    }

    // A database of the first version, with its runs, is upgraded in place
    // when the report opens it, and reports the same figures (with no
    // reconnects: the first version did not keep them).
    void upgradedFromVersion1()
    {
        for (const QString &db : targets()) {
            const QStringList byStation{"--by", "station"};
            const auto noReconnects = [](QJsonObject report) {
                QJsonArray groups = report.value("groups").toArray();
                for (QJsonValueRef g : groups) {
                    QJsonObject o = g.toObject();
                    o["reconnects"] = 0;
                    g = o;
                }
                report["groups"] = groups;
                return report;
            };
            const QJsonObject all = noReconnects(json(db, {})), before = noReconnects(json(db, byStation));
            QVERIFY(!before.value("groups").toArray().isEmpty());
            QString why;
            {
                // Version 1 is version 3 without the report's indexes.
                ResultStore s(*parseDbTarget(db, &why));
                QVERIFY2(s.open(), qPrintable(s.errorString()));
                QSqlDatabase d = s.database();
                QSqlQuery q(d);
                for (const QString &statement : backToVersionThree())
                    QVERIFY2(q.exec(statement), qPrintable(q.lastError().text()));
                QVERIFY(q.exec(QStringLiteral("DROP INDEX runs_report")));
                QVERIFY(q.exec(QStringLiteral("DROP INDEX runs_capability")));
                QVERIFY(q.exec(QStringLiteral("UPDATE schema_version SET version = 1")));
                QCOMPARE(schemaVersionOf(d), 1);
            }
            QCOMPARE(json(db, byStation), before);
            QCOMPARE(json(db, {}), all);
            DbReader upgraded(db);
            QCOMPARE(schemaVersionOf(upgraded.database()), SchemaVersion);
            QCOMPARE(upgraded.value(dialectOf(upgraded.database()) == SqlDialect::Postgres
                               ? QStringLiteral("SELECT count(*) FROM pg_indexes WHERE indexname IN ('runs_report', 'runs_capability', 'runs_reconnects')")
                               : QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN ('runs_report', 'runs_capability', 'runs_reconnects')")).toInt(), 3);
        }
    }

    // A unit that failed first and passed on its retest counts in the final
    // yield only; the figures follow the runs' start times, not the order written.
    void yieldsWithRetests()
    {
        const QString db = dir.filePath(QStringLiteral("retests.sqlite"));
        const QDateTime t0(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC);
        // unit: its results in time order ("P" pass, "F" fail, "E" error)
        const QVector<QPair<QString, QString>> units{{"A", "FP"}, {"B", "P"}, {"C", "PF"}, {"D", "EFF"}, {"E", "EP"}};
        QVector<RunRecord> records;
        int minute = 0;
        for (const auto &[serial, results] : units) {
            for (const QChar c : results) {
                RunRecord r;
                r.runId = newRunId();
                r.startedAt = r.endedAt = t0.addSecs(60LL * ++minute);
                r.kind = "test";
                r.station = "S";
                r.serialNumber = serial;
                r.port = "p";
                r.toolVersion = "0";
                r.command = "test";
                r.referenceMilli = 1000000;
                r.toleranceMilli = 5000;
                r.status = c == 'E' ? RunStatus::Error : RunStatus::Complete;
                if (c != 'E') {
                    r.pass = c == 'P';
                    r.accuracyMilli = c == 'P' ? 1000 : 7000;
                    r.sigmaMilli = 1000;
                }
                records.prepend(r);  // newest first: the order written must not matter
            }
        }
        // Unit F: a failed and a passed run started at the same time; the
        // failed one counts as its first, the passed one as its latest.
        for (const bool pass : {true, false}) {
            RunRecord r = records.first();
            r.runId = newRunId();
            r.startedAt = r.endedAt = t0.addSecs(3600);
            r.serialNumber = "F";
            r.pass = pass;
            r.accuracyMilli = pass ? 1000 : 7000;
            records.append(r);
        }
        QString why;
        ResultStore s(*parseDbTarget(db, &why));
        QVERIFY(s.open());
        for (const RunRecord &r : records)
            QCOMPARE(s.storeRun(r, {}), ResultStore::Stored::Inserted);
        const QJsonObject g = json(db, {}).value("groups").toArray().first().toObject();
        // First complete run passed: B, C, E (E's error run does not count).
        // Latest: A, B, E, F.
        QCOMPARE(g.value("units").toInt(), 6);
        QCOMPARE(g.value("retests").toInt(), 12 - 6);
        QCOMPARE(g.value("first_pass_yield").toDouble(), 0.5);
        QCOMPARE(g.value("final_yield").toDouble(), 0.6667);
        QCOMPARE(g.value("pass").toInt(), 5);
        QCOMPARE(g.value("fail").toInt(), 5);
        QCOMPARE(g.value("error").toInt(), 2);
        const QJsonObject onlyEarly = json(db, {"--until", "2026-12-07T08:05"}).value("groups").toArray().first().toObject();
        // Runs up to 08:04: A F,P; B P; C P. First pass B, C; final A, B, C.
        QCOMPARE(onlyEarly.value("first_pass_yield").toDouble(), 0.6667);
        QCOMPARE(onlyEarly.value("final_yield").toDouble(), 1.0);
    }

    // Nothing to report is a report, not an error; a database that is not
    // there is an error, and is not created.
    void emptySelections_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("empty database") << "empty" << QStringList();
        QTest::newRow("empty group") << "line" << QStringList{"--station", "nobody", "--by", "product"};
    }
    void emptySelections()
    {
        QFETCH(QString, which);
        QFETCH(QStringList, arguments);
        QString db = sqlite;
        if (which == QLatin1String("empty")) {
            db = dir.filePath(QStringLiteral("empty.sqlite"));
            QString why;
            ResultStore s(*parseDbTarget(db, &why));
            QVERIFY(s.open());
        }
        const QJsonObject report = json(db, arguments);
        QVERIFY(report.contains("groups"));
        QVERIFY(report.value("groups").toArray().isEmpty());
        QVERIFY(report.value("capability").toArray().isEmpty());
        const ProcessRun text = cli(QStringList{"report", "--db", db} + arguments);
        QCOMPARE(text.status, 0);
        QVERIFY2(text.out.contains("no test runs"), qPrintable(text.out));
        const ProcessRun html = cli(QStringList{"report", "--db", db, "--format", "html"} + arguments);
        QCOMPARE(html.status, 0);
        QVERIFY(html.out.contains("No test runs."));
    }

    void missingDatabase()
    {
        const QString db = dir.filePath(QStringLiteral("typo.sqlite"));
        const ProcessRun r = cli({"report", "--db", db});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("typo.sqlite"), qPrintable(r.err));
        QVERIFY(!QFile::exists(db));
    }

    // A reader the server allows a single connection gets the whole report
    // all the same: the units' figures then come over that one connection.
    void oneConnectionAllowed()
    {
        if (postgres.isEmpty())
            QSKIP("PostgreSQL is not installed");
        QVERIFY2(pg.psql(QStringLiteral("CREATE ROLE reader LOGIN CONNECTION LIMIT 1;"
                                        " GRANT SELECT ON runs, measurements, points, schema_version TO reader"),
                         QStringLiteral("line")),
                 qPrintable(pg.errorString()));
        const QString reader = pg.url(QStringLiteral("line"), QStringLiteral("reader"));
        for (const QStringList &by : {QStringList(), QStringList{"--by", "station"}}) {
            const QJsonObject got = json(reader, by);
            QVERIFY(!got.value("groups").toArray().isEmpty());
            QCOMPARE(got, json(postgres, by));
        }
    }

    // One unit's runs in time order, whatever its serial number holds.
    void history_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::newRow("plain") << "U03";
        QTest::newRow("hostile") << Hostile;
        QTest::newRow("unknown") << "nobody";
    }
    void history()
    {
        QFETCH(QString, serial);
        QStringList expected;
        for (const Written &w : runs)
            if (w.record.serialNumber == serial)
                expected << utcText(w.record.startedAt) + QLatin1Char(' ') + w.record.runId + QLatin1Char(' ')
                                + statusText(w.record.status) + QLatin1Char(' ')
                                + (w.record.pass ? (*w.record.pass ? "PASS" : "FAIL") : "-");
        QCOMPARE(expected.isEmpty(), serial == QLatin1String("nobody"));
        for (const QString &db : targets()) {
            const QJsonObject h = json(db, {"--serial", serial});
            QCOMPARE(h.value("serial").toString(), serial);
            QStringList got;
            for (const QJsonValue &v : h.value("runs").toArray()) {
                const QJsonObject r = v.toObject();
                got << r.value("started_at").toString() + QLatin1Char(' ') + r.value("run_id").toString() + QLatin1Char(' ')
                           + r.value("status").toString() + QLatin1Char(' ')
                           + (r.value("result").isNull() ? QStringLiteral("-") : r.value("result").toString());
            }
            QCOMPARE(got, expected);
        }
        QVERIFY(!json(sqlite, {}).value("groups").toArray().isEmpty());  // the table is still there
    }

    // The page in a real browser: it loads with no script, its table holds
    // the JSON report's figures and the plots are drawn.
    void htmlPageInBrowser()
    {
        // The page is part of what the report delivers: no browser is a failure,
        // not a skip (scripts/install-deps.sh installs chromium).
        if (chromium().isEmpty())
            QFAIL("chromium is not installed");
        const QString page = dir.filePath(QStringLiteral("report.html"));
        QCOMPARE(cli({"report", "--db", sqlite, "--by", "station", "--format", "html", "--output", page}).status, 0);
        const QJsonArray groups = json(sqlite, {"--by", "station"}).value("groups").toArray();

        const QByteArray dom = browse(dir.filePath("profile1"), {"--dump-dom", QUrl::fromLocalFile(page).toString()});
        QVERIFY2(dom.contains("<table id=\"groups\">"), dom.left(300).constData());
        QVERIFY(!dom.contains("<script"));
        const int table = dom.indexOf("<table id=\"groups\">");
        const QByteArray body = dom.mid(table, dom.indexOf("</table>", table) - table);
        static const QRegularExpression row(QStringLiteral("<tr>(.*?)</tr>"));
        static const QRegularExpression cell(QStringLiteral("<td data-key=\"([a-z_]+)\"[^>]*>([^<]*)</td>"));
        QVector<QMap<QString, QString>> rows;
        auto it = row.globalMatch(QString::fromUtf8(body));
        while (it.hasNext()) {
            const QString r = it.next().captured(1);
            if (!r.contains(QLatin1String("<td")))
                continue;
            QMap<QString, QString> cells;
            auto c = cell.globalMatch(r);
            while (c.hasNext()) {
                const auto m = c.next();
                cells.insert(m.captured(1), m.captured(2));
            }
            rows << cells;
        }
        QCOMPARE(rows.size(), groups.size());
        for (int i = 0; i < rows.size(); ++i) {
            const QJsonObject g = groups.at(i).toObject();
            for (auto k = g.constBegin(); k != g.constEnd(); ++k) {
                if (k.key() == QLatin1String("failed_limits"))
                    continue;
                const QString shown = rows[i].value(k.key());
                QVERIFY2(rows[i].contains(k.key()), qPrintable(k.key()));
                if (k.value().isNull()) {
                    QCOMPARE(shown, QStringLiteral("-"));
                } else if (k.value().isString()) {
                    QCOMPARE(shown, k.value().toString());
                } else {
                    const bool percent = shown.endsWith(QLatin1String(" %"));
                    QCOMPARE(percent, k.key().endsWith(QLatin1String("yield")));
                    const double onPage = QString(shown).remove(QStringLiteral(" %")).toDouble() / (percent ? 100.0 : 1.0);
                    QVERIFY2(std::fabs(onPage - k.value().toDouble()) < 1e-9, qPrintable(k.key() + ": " + shown));
                }
            }
        }
        // Every plot is there: a histogram with its limits and curve per product,
        // bars for yield, repeatability and failed limits, the Pareto line.
        QCOMPARE(dom.count("<svg"), 2 + 3);
        QCOMPARE(dom.count("class=\"limit\""), 2 * 2);
        QCOMPARE(dom.count("class=\"normal\""), 2);
        QCOMPARE(dom.count("class=\"cumulative\""), 1);

        // Drawn: each plot's colour covers a good part of the screenshot.
        const QString shot = dir.filePath(QStringLiteral("report.png"));
        browse(dir.filePath("profile2"), {"--window-size=1400,2400", "--screenshot=" + shot, QUrl::fromLocalFile(page).toString()});
        QImage image(shot);
        QVERIFY2(!image.isNull(), "no screenshot");
        QMap<QRgb, int> colours{{qRgb(0x3b, 0x78, 0xc2), 0}, {qRgb(0x27, 0xae, 0x60), 0}, {qRgb(0x8e, 0x44, 0xad), 0},
                                {qRgb(0xc0, 0x39, 0x2b), 0}};
        image = image.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const auto c = colours.find(line[x] | 0xff000000u);
                if (c != colours.end())
                    ++*c;
            }
        }
        for (auto c = colours.cbegin(); c != colours.cend(); ++c)
            QVERIFY2(c.value() > 500, qPrintable(QStringLiteral("colour %1: %2 pixels").arg(c.key(), 0, 16).arg(c.value())));
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
