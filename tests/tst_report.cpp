// korvani-cli report as a process, on runs this test writes itself into an
// SQLite file and into a PostgreSQL database it starts: the figures of a
// small line worked out by hand, the two databases giving the same report,
// empty selections, one unit's history and the HTML page in a real headless
// browser.

#include "freshdatabases.h"
#include "processrun.h"
#include "results/dbtarget.h"
#include "results/resultstore.h"
#include "results/runrecord.h"

#include <QtTest>
#include <QImage>

namespace {

constexpr const char *Hostile = "x'); DROP TABLE runs;--";

// One test run of the line: result P pass, M marginal pass, F fail, E error,
// A aborted; accuracy and sigma in millimetres. P1's tolerance is 5 mm, P2's 2 mm.
struct LineRun {
    const char *serial;
    const char *station;
    const char *product;
    const char *firmware;
    int minute;  // after 2026-12-05 21:00 UTC
    char result;
    double accuracy;
    double sigma;
    int reconnects;
    const char *failed;
};

// Written out of time order, as the order written must not matter. U4's first
// run is an error, which is no first run; U5's two runs start at the same
// time, and the failed one counts as its first.
const LineRun Line[] = {
    {"U1", "S2", "P1", "B-1.2.5", 90, 'P', -2, 2, 2, nullptr},
    {"U1", "S1", "P1", "B-1.2.4", 0, 'F', -4, 1, 0, "sigma 3.4 mm > 3.000 mm"},
    {Hostile, "S1", "P1", "B-1.2.5", 180, 'M', 0, 3, 0, nullptr},
    {"U3", "S2", "P2", "B-1.2.5", 200, 'F', 0.5, 1, 0, "outside 12 > 3; sigma 3.4 mm > 3.000 mm"},
    {"U3", "S2", "P2", "B-1.2.5", 260, 'P', 1.5, 1, 0, nullptr},
    {"U4", "S1", "P2", "B-1.2.5", 330, 'P', 1, 1, 0, nullptr},
    {"U4", "S1", "P2", "B-1.2.5", 300, 'E', 0, 0, 1, nullptr},
    {"", "S1", "P1", "B-1.2.5", 320, 'A', 0, 0, 0, nullptr},
    {"U5", "S2", "P1", "B-1.2.5", 400, 'P', 2, 1, 0, nullptr},
    {"U5", "S2", "P1", "B-1.2.5", 400, 'F', -6, 1, 0, "accuracy -6.000 mm beyond tolerance 5.000 mm"},
};

RunRecord recordOf(const LineRun &l)
{
    RunRecord r;
    r.runId = newRunId();
    r.startedAt = QDateTime(QDate(2026, 12, 5), QTime(21, 0), Qt::UTC).addSecs(60LL * l.minute);
    r.endedAt = r.startedAt.addSecs(3);
    r.kind = QStringLiteral("test");
    r.station = QString::fromLatin1(l.station);
    r.serialNumber = QString::fromLatin1(l.serial);
    r.product = QString::fromLatin1(l.product);
    r.firmwareVersion = QString::fromLatin1(l.firmware);
    r.port = QStringLiteral("/dev/ttyUSB0");
    r.toolVersion = QStringLiteral("0.8.5");
    r.command = QStringLiteral("test");
    r.referenceMilli = 1500000;
    r.toleranceMilli = r.product == QLatin1String("P1") ? 5000 : 2000;
    r.reconnects = l.reconnects;
    r.status = l.result == 'E' ? RunStatus::Error : l.result == 'A' ? RunStatus::Aborted : RunStatus::Complete;
    if (r.status != RunStatus::Complete)
        return r;
    r.accuracyMilli = qRound64(l.accuracy * 1000);
    r.meanMilli = *r.referenceMilli + *r.accuracyMilli;
    r.sigmaMilli = qRound64(l.sigma * 1000);
    r.frames = r.expected = 300;
    r.pass = l.failed == nullptr;
    r.marginal = l.result == 'M';
    if (l.failed)
        r.failed = QString::fromLatin1(l.failed);
    return r;
}

// The report's entries cut down to the keys of the expected entries, as
// compact JSON: the two compared whole.
QString cutTo(const QJsonArray &expected, const QJsonArray &actual)
{
    QJsonArray cut;
    for (int i = 0; i < actual.size(); ++i) {
        const QJsonObject want = expected.at(i).toObject();
        QJsonObject entry;
        for (auto it = want.constBegin(); it != want.constEnd(); ++it)
            entry.insert(it.key(), actual.at(i).toObject().value(it.key()));
        cut.append(entry);
    }
    return QString::fromUtf8(QJsonDocument(cut).toJson(QJsonDocument::Compact));
}

ProcessRun cli(const QStringList &arguments)
{
    ProcessOptions options;
    options.boundMs = 120000;
    return runProcess(KORVANI_CLI, arguments, options);
}

}  // namespace

class TestReport : public QObject
{
    Q_OBJECT

    FreshDatabases databases;
    QVector<QString> targets;  // the SQLite file first, then PostgreSQL's database if installed

    QJsonObject json(const QString &db, const QStringList &arguments)
    {
        const ProcessRun r = cli(QStringList{"report", "--db", db, "--format", "json"} + arguments);
        if (r.status != 0)
            qWarning() << "report failed" << r.status << r.err;
        return QJsonDocument::fromJson(r.out.toUtf8()).object();
    }

private slots:
    void initTestCase()
    {
        for (const char *kind : {"sqlite", "postgres"}) {
            const QString target = databases.fresh(QString::fromLatin1(kind));
            if (target.isEmpty()) {
                qWarning("PostgreSQL is not installed: the report is checked on SQLite only");
                continue;
            }
            QString why;
            ResultStore store(*parseDbTarget(target, &why));
            QVERIFY2(store.open(), qPrintable(store.errorString()));
            for (const LineRun &l : Line)
                QCOMPARE(store.storeRun(recordOf(l), {}), ResultStore::Stored::Inserted);
            targets << target;
        }
    }

    // The line's figures per selection, as worked out by hand from its runs
    // (to the digits printed: mm and Cp with three decimals, yields with
    // four); the two databases give the same report to the last digit.
    void figures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("part");         // of the JSON report
        QTest::addColumn<QByteArray>("expected");  // each entry's figures that are checked

        QTest::newRow("all") << QStringList() << "groups"
                             << QByteArray(
                                    R"([{"group": "all", "runs": 10, "units": 5, "pass": 5, "fail": 3, "marginal": 1,
 "error": 1, "aborted": 1, "reconnects": 3, "retests": 4, "first_pass_yield": 0.4, "final_yield": 1,
 "accuracy_mean_mm": -0.875, "accuracy_sigma_mm": 2.863, "repeatability_mm": 1.375, "cp": null, "cpk": null,
 "failed_limits": [{"limit": "sigma", "count": 2}, {"limit": "accuracy", "count": 1}, {"limit": "outside", "count": 1}]}])");
        QTest::newRow("by station")
            << QStringList{"--by", "station"} << "groups"
            << QByteArray(R"([{"group": "S1", "runs": 5, "units": 3, "pass": 2, "fail": 1, "retests": 1,
 "first_pass_yield": 0.6667, "final_yield": 0.6667},
 {"group": "S2", "runs": 5, "units": 3, "pass": 3, "fail": 2, "retests": 2, "first_pass_yield": 0.3333, "final_yield": 1}])");
        QTest::newRow("by product")
            << QStringList{"--by", "product"} << "groups"
            << QByteArray(R"([{"group": "P1", "runs": 6, "accuracy_mean_mm": -2, "accuracy_sigma_mm": 3.162,
 "cp": 0.527, "cpk": 0.316}, {"group": "P2", "runs": 4, "accuracy_mean_mm": 1, "accuracy_sigma_mm": 0.5, "cp": 1.333, "cpk": 0.667}])");
        QTest::newRow("capability per product")
            << QStringList() << "capability"
            << QByteArray(R"([{"product": "P1", "tolerance_mm": 5, "runs": 5, "cp": 0.527, "cpk": 0.316},
 {"product": "P2", "tolerance_mm": 2, "runs": 3, "cp": 1.333, "cpk": 0.667}])");
        QTest::newRow("by firmware")
            << QStringList{"--by", "firmware"} << "groups"
            << QByteArray(
                   R"([{"group": "B-1.2.4", "runs": 1, "fail": 1}, {"group": "B-1.2.5", "runs": 9, "fail": 2}])");
        QTest::newRow("by day") << QStringList{"--by", "day"} << "groups"
                                << QByteArray(
                                       R"([{"group": "2026-12-05", "runs": 2}, {"group": "2026-12-06", "runs": 8}])");
        QTest::newRow("by hour")
            << QStringList{"--by", "hour"} << "groups"
            << QByteArray(R"([{"group": "2026-12-05T21", "runs": 1}, {"group": "2026-12-05T22", "runs": 1},
 {"group": "2026-12-06T00", "runs": 2}, {"group": "2026-12-06T01", "runs": 1}, {"group": "2026-12-06T02", "runs": 3},
 {"group": "2026-12-06T03", "runs": 2}])");
        QTest::newRow("product P2") << QStringList{"--product", "P2"} << "groups"
                                    << QByteArray(R"([{"group": "all", "runs": 4, "units": 2, "error": 1, "retests": 2,
 "first_pass_yield": 0.5, "final_yield": 1}])");
        // From 00:00 UTC (a local time two hours ahead) up to, not including, 02:30 UTC.
        QTest::newRow("a window of time")
            << QStringList{"--since", "2026-12-06T02:00+02:00", "--until", "2026-12-06 02:30", "--by", "station"}
            << "groups"
            << QByteArray(R"([{"group": "S1", "runs": 3, "units": 2, "first_pass_yield": 0.5, "final_yield": 0.5},
 {"group": "S2", "runs": 2, "units": 1, "first_pass_yield": 0, "final_yield": 1}])");
    }

    void figures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, part);
        QFETCH(QByteArray, expected);
        QJsonParseError error;
        const QJsonArray want = QJsonDocument::fromJson(expected, &error).array();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        const QJsonObject first = json(targets.first(), arguments);
        QCOMPARE(cutTo(want, first.value(part).toArray()), cutTo(want, want));
        for (const QString &db : targets)
            QCOMPARE(json(db, arguments), first);
    }

    // Nothing to report is a report in every format, not an error; a
    // database that is not there is an error, and is not created.
    void nothingToReport_data()
    {
        QTest::addColumn<bool>("there");
        QTest::newRow("empty database") << true;
        QTest::newRow("missing database") << false;
    }

    void nothingToReport()
    {
        QFETCH(bool, there);
        const QString db = databases.filePath(there ? "empty.sqlite" : "typo.sqlite");
        QString why;
        if (there)
            QVERIFY(ResultStore(*parseDbTarget(db, &why)).open());
        const QMap<QString, QString> saying{
            {"json", "\"groups\":[],\"capability\":[]"}, {"text", "no test runs"}, {"html", "No test runs."}};
        for (auto it = saying.cbegin(); it != saying.cend(); ++it) {
            const ProcessRun r = cli({"report", "--db", db, "--format", it.key()});
            QCOMPARE(r.status, there ? 0 : 2);
            QVERIFY2(there ? r.out.contains(it.value()) : r.err.contains(db), qPrintable(r.out + r.err));
        }
        QCOMPARE(QFile::exists(db), there);
    }

    // A reader the server allows a single connection gets the whole report
    // all the same: the units' figures then come over that one connection.
    void oneConnectionAllowed()
    {
        if (targets.size() < 2)
            QSKIP("PostgreSQL is not installed");
        const QString postgres = targets.last();
        const QString database = QUrl(postgres).path().mid(1);
        PgServer &pg = databases.server();
        QVERIFY2(pg.psql(QStringLiteral("CREATE ROLE reader LOGIN CONNECTION LIMIT 1;"
                                        " GRANT SELECT ON runs, measurements, points, schema_version TO reader"),
                         database),
                 qPrintable(pg.errorString()));
        const QString reader = pg.url(database, QStringLiteral("reader"));
        const QJsonObject got = json(reader, {"--by", "station"});
        QVERIFY(!got.value("groups").toArray().isEmpty());
        QCOMPARE(got, json(postgres, {"--by", "station"}));
    }

    // One unit's runs in time order (written out of it), whatever its serial
    // number holds.
    void history_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("runs");  // start, status and result of each
        QTest::newRow("plain") << "U1"
                               << "2026-12-05T21:00:00.000Z COMPLETE FAIL, 2026-12-05T22:30:00.000Z COMPLETE PASS";
        QTest::newRow("hostile") << Hostile << "2026-12-06T00:00:00.000Z COMPLETE PASS";
        QTest::newRow("unknown") << "nobody"
                                 << "";
    }
    void history()
    {
        QFETCH(QString, serial);
        QFETCH(QString, runs);
        for (const QString &db : targets) {
            const QJsonObject h = json(db, {"--serial", serial});
            QCOMPARE(h.value("serial").toString(), serial);
            QStringList got;
            for (const QJsonValue &r : h.value("runs").toArray())
                got << QStringList({r["started_at"].toString(), r["status"].toString(), r["result"].toString()})
                           .join(' ');
            QCOMPARE(got.join(", "), runs);
        }
    }

    // The page: it needs no script, its table holds the JSON report's figures
    // and a real browser draws its plots.
    void htmlPageInBrowser()
    {
        // The page is part of what the report delivers: no browser is a failure,
        // not a skip (scripts/install-deps.sh installs chromium).
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty())
            QFAIL("chromium is not installed");
        const QString page = databases.filePath(QStringLiteral("report.html"));
        const QString sqlite = targets.first();
        QCOMPARE(cli({"report", "--db", sqlite, "--by", "station", "--format", "html", "--output", page}).status, 0);

        // With no script, the page as written is the page the browser shows.
        QFile file(page);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray dom = file.readAll();
        QVERIFY(!dom.contains("<script"));
        const int table = dom.indexOf("<table id=\"groups\">");
        QVERIFY2(table >= 0, dom.left(300).constData());
        // The first station's row as worked out by hand: yields as percentages,
        // what cannot be computed (mixed tolerances) as "-".
        static const QRegularExpression cell(QStringLiteral("<td data-key=\"([a-z_]+)\"[^>]*>([^<]*)</td>"));
        const QString html = QString::fromUtf8(dom);
        const int s1 = html.indexOf(QRegularExpression(QStringLiteral("<tr><td data-key=\"group\"[^>]*>S1<")));
        QStringList cells;
        for (auto c = cell.globalMatch(html.mid(s1, html.indexOf(QLatin1String("</tr>"), s1) - s1)); c.hasNext();) {
            const QRegularExpressionMatch m = c.next();
            cells << m.captured(1) + '=' + m.captured(2);
        }
        QCOMPARE(cells.join(' '),
                 QStringLiteral("group=S1 runs=5 units=3 pass=2 fail=1 marginal=1 error=1 aborted=1 reconnects=1"
                                " first_pass_yield=66.67 % final_yield=66.67 % retests=1 accuracy_mean_mm=-1.000"
                                " accuracy_sigma_mm=2.646 repeatability_mm=1.667 cp=- cpk=-"));
        // Every plot is there: a histogram with its limits and curve per product,
        // bars for yield, repeatability and failed limits, the Pareto line.
        QVector<int> plots;
        for (const char *mark : {"<svg", "class=\"limit\"", "class=\"normal\"", "class=\"cumulative\""})
            plots << int(dom.count(mark));
        QCOMPARE(plots, QVector<int>({2 + 3, 2 * 2, 2, 1}));

        // Drawn: each plot's colour covers a good part of the screenshot.
        const QString shot = databases.filePath(QStringLiteral("report.png"));
        // Headless, no sandbox (root), nothing from the network, a profile of its own.
        ProcessOptions options;
        options.boundMs = 120000;
        runProcess(chromium,
                   {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                    "--user-data-dir=" + databases.filePath("profile"), "--window-size=1400,2400",
                    "--screenshot=" + shot, QUrl::fromLocalFile(page).toString()},
                   options);
        const QImage image = QImage(shot).convertToFormat(QImage::Format_RGB32);
        QVERIFY2(!image.isNull(), "no screenshot");
        QMap<QRgb, int> colours{{qRgb(0x3b, 0x78, 0xc2), 0},
                                {qRgb(0x27, 0xae, 0x60), 0},
                                {qRgb(0x8e, 0x44, 0xad), 0},
                                {qRgb(0xc0, 0x39, 0x2b), 0}};
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (colours.contains(image.pixel(x, y)))
                    ++colours[image.pixel(x, y)];
        for (auto c = colours.cbegin(); c != colours.cend(); ++c)
            QVERIFY2(c.value() > 500,
                     qPrintable(QStringLiteral("colour %1: %2 pixels").arg(c.key(), 0, 16).arg(c.value())));
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
