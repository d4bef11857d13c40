// The line's report on a large SQLite results database: one million test
// runs (units with retests over 20 stations, 3 products, 60 days), then the
// report as korvani-cli builds it, each grouping and each format, three
// rounds, the median printed. The target is 2 s for a million runs.
// The database is made once in the build folder and reused.
// Usage: bench_report [runs]

#include "report/reportformat.h"
#include "report/reportquery.h"
#include "results/dbtarget.h"
#include "results/resultstore.h"
#include "results/runrecord.h"
#include "results/schema.h"
#include "stats/statistics.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>

namespace {

bool fill(QSqlDatabase db, int runs)
{
    QRandomGenerator random(7);
    const QDateTime start(QDate(2026, 10, 1), QTime(6, 0), Qt::UTC);
    const QStringList columns = runColumns();
    QString marks = QStringLiteral("?");
    for (int i = 1; i < columns.size(); ++i)
        marks += QStringLiteral(",?");
    QSqlQuery q(db);
    q.exec(QStringLiteral("BEGIN"));
    if (!q.prepare(QStringLiteral("INSERT INTO runs (%1) VALUES (%2)").arg(columns.join(QLatin1Char(',')), marks)))
        return false;
    int serial = 0;
    for (int i = 0; i < runs; ++i) {
        RunRecord r;
        // About one run in eight is a retest of the unit before.
        if (random.bounded(8) != 0)
            ++serial;
        r.runId = newRunId();
        r.startedAt = start.addMSecs(qint64(i) * 5184LL);  // 60 days
        r.endedAt = r.startedAt.addSecs(3);
        r.kind = QStringLiteral("test");
        r.station = QStringLiteral("S%1").arg(random.bounded(20));
        r.serialNumber = QStringLiteral("SN%1").arg(serial, 8, 10, QLatin1Char('0'));
        const int product = int(random.bounded(3));
        r.product = QStringLiteral("P%1").arg(product);
        r.firmwareVersion = random.bounded(10) ? QStringLiteral("B-1.2.5") : QStringLiteral("B-1.2.4");
        r.port = QStringLiteral("/dev/ttyUSB0");
        r.baud = 115200;
        r.toolVersion = QStringLiteral("0.8.5");
        r.command = QStringLiteral("test --reference 1500 --tolerance 5");
        r.referenceMilli = 1500000;
        r.toleranceMilli = 3000 + product * 1000;
        if (random.bounded(50) == 0) {
            r.status = RunStatus::Error;
        } else {
            r.accuracyMilli = qint64(random.bounded(6001)) - 3000;
            r.sigmaMilli = 1000 + random.bounded(2000);
            r.pass = qAbs(*r.accuracyMilli) <= *r.toleranceMilli && *r.sigmaMilli < 2800;
            if (!*r.pass)
                r.failed = qAbs(*r.accuracyMilli) > *r.toleranceMilli
                               ? QStringLiteral("accuracy %1 mm beyond tolerance %2 mm").arg(milliText(*r.accuracyMilli), milliText(*r.toleranceMilli))
                               : QStringLiteral("sigma %1 mm > 2.800 mm").arg(milliText(*r.sigmaMilli));
        }
        for (const QVariant &v : runValues(r))
            q.addBindValue(v);
        if (!q.exec()) {
            std::fprintf(stderr, "insert: %s\n", qPrintable(q.lastError().text()));
            return false;
        }
    }
    return q.exec(QStringLiteral("COMMIT"));
}

double medianOf(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as it is measured
    const int runs = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    const QString path = QStringLiteral("%1/bench_report_%2.sqlite").arg(QCoreApplication::applicationDirPath()).arg(runs);
    const bool fresh = !QFileInfo::exists(path);
    QString error;
    ResultStore store(*parseDbTarget(path, &error));
    if (!store.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.errorString()));
        return 1;
    }
    QSqlDatabase db = store.database();
    if (fresh) {
        QElapsedTimer t;
        t.start();
        if (!fill(db, runs))
            return 1;
        std::printf("made %d runs in %.1f s (%s)\n", runs, double(t.elapsed()) / 1000.0, qPrintable(path));
    }
    QSqlQuery count(db);
    count.exec(QStringLiteral("SELECT COUNT(*) FROM runs"));
    count.next();
    std::printf("runs in the database: %lld\n", count.value(0).toLongLong());

    struct Case {
        const char *name;
        GroupBy by;
        ReportFormat format;
    } cases[] = {{"all, text", GroupBy::None, ReportFormat::Text},
                 {"by station, json", GroupBy::Station, ReportFormat::Json},
                 {"by product, json", GroupBy::Product, ReportFormat::Json},
                 {"by day, csv", GroupBy::Day, ReportFormat::Csv},
                 {"by hour, json", GroupBy::Hour, ReportFormat::Json},
                 {"all, html (with the per-station query)", GroupBy::None, ReportFormat::Html}};
    for (const Case &c : cases) {
        QVector<double> seconds;
        qint64 bytes = 0;
        for (int round = 0; round < 3; ++round) {
            QElapsedTimer t;
            t.start();
            ReportFilter filter;
            filter.by = c.by;
            Report report;
            if (!buildReport(db, filter, report, &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
            QVector<GroupFigures> stations;
            if (c.format == ReportFormat::Html) {
                Report byStation;
                filter.by = GroupBy::Station;
                buildReport(db, filter, byStation, &error);
                stations = byStation.groups;
            }
            bytes = renderReport(report, c.format, stations).size();
            seconds << double(t.nsecsElapsed()) / 1e9;
        }
        std::printf("%-42s %6.3f s  (%lld bytes, target 2 s)\n", c.name, medianOf(seconds), bytes);
    }
    return 0;
}
