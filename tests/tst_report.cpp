// korvani-cli report as a process, on runs this test writes itself into an
// SQLite file and into a PostgreSQL database it starts: the figures of a
// small line worked out by hand, the two databases giving the same report,
// empty selections, one unit's history and the HTML page in a real headless
// browser.

#include "pgserver.h"
#include "processrun.h"
#include "results/dbtarget.h"
#include "results/resultstore.h"
#include "results/runrecord.h"

#include <QtTest>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cmath>

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

// What differs between the expected figures and the report's, up to the
// digits printed: mm and Cp with three decimals, yields with four.
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
            out << QStringLiteral("%1: expected %2, got %3")
                       .arg(it.key(), QString::fromUtf8(QJsonDocument(QJsonArray{e}).toJson(QJsonDocument::Compact)),
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
    return runProcess(chromium(),
                      QStringList{"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                                  "--hide-scrollbars", "--user-data-dir=" + profile}
                          + what,
                      options)
        .out.toUtf8();
}

}  // namespace

class TestReport : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    PgServer pg;
    QVector<RunRecord> runs;  // Line's runs, the same in both databases
    QString sqlite, postgres;

    bool store(const QString &text)
    {
        QString why;
        ResultStore s(*parseDbTarget(text, &why));
        if (!s.open())
            return false;
        for (const RunRecord &r : runs)
            if (s.storeRun(r, {}) != ResultStore::Stored::Inserted)
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
        for (const LineRun &l : Line)
            runs << recordOf(l);
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

    // The line's figures per selection, as worked out by hand from its runs;
    // the two databases give the same report to the last digit.
    void figures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("part");         // of the JSON report
        QTest::addColumn<QByteArray>("expected");  // each entry's figures that are checked

        QTest::newRow("all") << QStringList() << "groups"
                             << QByteArray(
                                    R"([{"group": "all", "runs": 10, "units": 5, "pass": 5, "fail": 3, "marginal": 1,
 "error": 1, "aborted": 1, "reconnects": 3, "retests": 4, "first_pass_yield": 0.4, "final_yield": 1,
 "accuracy_mean_mm": -0.875, "accuracy_sigma_mm": 2.8629, "repeatability_mm": 1.375, "cp": null, "cpk": null,
 "failed_limits": [{"limit": "sigma", "count": 2}, {"limit": "accuracy", "count": 1}, {"limit": "outside", "count": 1}]}])");
        QTest::newRow("by station")
            << QStringList{"--by", "station"} << "groups"
            << QByteArray(R"([{"group": "S1", "runs": 5, "units": 3, "pass": 2, "fail": 1, "retests": 1,
 "first_pass_yield": 0.6667, "final_yield": 0.6667},
 {"group": "S2", "runs": 5, "units": 3, "pass": 3, "fail": 2, "retests": 2, "first_pass_yield": 0.3333, "final_yield": 1}])");
        QTest::newRow("by product")
            << QStringList{"--by", "product"} << "groups"
            << QByteArray(R"([{"group": "P1", "runs": 6, "accuracy_mean_mm": -2, "accuracy_sigma_mm": 3.1623,
 "cp": 0.527, "cpk": 0.3162}, {"group": "P2", "runs": 4, "accuracy_mean_mm": 1, "accuracy_sigma_mm": 0.5, "cp": 1.3333, "cpk": 0.6667}])");
        QTest::newRow("capability per product")
            << QStringList() << "capability"
            << QByteArray(R"([{"product": "P1", "tolerance_mm": 5, "runs": 5, "cp": 0.527, "cpk": 0.3162},
 {"product": "P2", "tolerance_mm": 2, "runs": 3, "cp": 1.3333, "cpk": 0.6667}])");
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
        QTest::newRow("station S2 by product") << QStringList{"--station", "S2", "--by", "product"} << "groups"
                                               << QByteArray(R"([{"group": "P1", "runs": 3, "cp": 0.4167, "cpk": 0.25},
 {"group": "P2", "runs": 2, "cp": 0.9428, "cpk": 0.4714}])");
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

        QJsonObject first;
        for (const QString &db : targets()) {
            const QJsonObject report = json(db, arguments);
            const QJsonArray got = report.value(part).toArray();
            QCOMPARE(got.size(), want.size());
            for (int i = 0; i < want.size(); ++i) {
                const QString diff = differences(want.at(i).toObject(), got.at(i).toObject());
                QVERIFY2(diff.isEmpty(),
                         qPrintable((db == sqlite ? QStringLiteral("SQLite") : QStringLiteral("PostgreSQL"))
                                    + QStringLiteral(" entry %1: ").arg(i) + diff));
            }
            if (first.isEmpty())
                first = report;
            else
                QCOMPARE(report, first);
        }
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
        QTest::newRow("plain") << "U1";
        QTest::newRow("hostile") << Hostile;
        QTest::newRow("unknown") << "nobody";
    }
    void history()
    {
        QFETCH(QString, serial);
        QStringList expected;
        QVector<RunRecord> inOrder = runs;
        std::stable_sort(inOrder.begin(), inOrder.end(),
                         [](const RunRecord &a, const RunRecord &b) { return a.startedAt < b.startedAt; });
        for (const RunRecord &r : inOrder)
            if (r.serialNumber == serial)
                expected << utcText(r.startedAt) + QLatin1Char(' ') + r.runId + QLatin1Char(' ') + statusText(r.status)
                        + QLatin1Char(' ') + (r.pass ? (*r.pass ? "PASS" : "FAIL") : "-");
        QCOMPARE(expected.isEmpty(), serial == QLatin1String("nobody"));
        for (const QString &db : targets()) {
            const QJsonObject h = json(db, {"--serial", serial});
            QCOMPARE(h.value("serial").toString(), serial);
            QStringList got;
            for (const QJsonValue &v : h.value("runs").toArray()) {
                const QJsonObject r = v.toObject();
                got << r.value("started_at").toString() + QLatin1Char(' ') + r.value("run_id").toString()
                        + QLatin1Char(' ') + r.value("status").toString() + QLatin1Char(' ')
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
                    const double onPage =
                        QString(shown).remove(QStringLiteral(" %")).toDouble() / (percent ? 100.0 : 1.0);
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
        browse(dir.filePath("profile2"),
               {"--window-size=1400,2400", "--screenshot=" + shot, QUrl::fromLocalFile(page).toString()});
        QImage image(shot);
        QVERIFY2(!image.isNull(), "no screenshot");
        QMap<QRgb, int> colours{{qRgb(0x3b, 0x78, 0xc2), 0},
                                {qRgb(0x27, 0xae, 0x60), 0},
                                {qRgb(0x8e, 0x44, 0xad), 0},
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
            QVERIFY2(c.value() > 500,
                     qPrintable(QStringLiteral("colour %1: %2 pixels").arg(c.key(), 0, 16).arg(c.value())));
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
