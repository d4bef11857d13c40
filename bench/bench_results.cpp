// The results database on this machine: storing one run with 300 measurement
// records (one transaction) on an SQLite file and on a PostgreSQL server
// started for the purpose (fsync on, as a line's server runs), and 8 writers
// storing runs at once into one database, each with its own connection.
// Prints the median and the slowest store, and the runs per second of the
// writers with the number that failed.
//
//   bench_results [stores] [runs per writer]     (default 100 stores, 25 runs)

#include "pgserver.h"
#include "results/dbtarget.h"
#include "results/resultstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace {

RunRecord benchRun(int i)
{
    RunRecord r;
    r.runId = newRunId();
    r.startedAt = QDateTime::currentDateTimeUtc();
    r.endedAt = r.startedAt.addSecs(3);
    r.kind = QStringLiteral("test");
    r.station = QStringLiteral("bench");
    r.serialNumber = QStringLiteral("B-%1").arg(i);
    r.port = QStringLiteral("/dev/ttyUSB0");
    r.baud = 115200;
    r.toolVersion = QStringLiteral("bench");
    r.command = QStringLiteral("test");
    r.referenceMilli = 1500000;
    r.toleranceMilli = 5000;
    r.frames = r.expected = 300;
    r.rateHz = 100;
    r.meanMilli = 1500100;
    r.sigmaMilli = 1200;
    r.minMm = 1497;
    r.maxMm = 1504;
    r.medianHalves = 3000;
    r.accuracyMilli = 100;
    r.outside = 0;
    r.meanAmplitudeMilli = 2000000;
    r.pass = true;
    return r;
}

QVector<MeasurementRow> benchRows(int n)
{
    QVector<MeasurementRow> rows(n);
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < n; ++i) {
        rows[i].seq = quint32(i + 1);
        rows[i].timeMs = start + i * 10;
        rows[i].distance = quint16(1497 + i % 8);
        rows[i].amplitude = 2000;
        rows[i].ambient = 100;
        rows[i].temperature = 35;
        rows[i].driverCurrent = 2;
    }
    return rows;
}

void storeOne(const char *name, const DbTarget &target, int stores, double targetMs)
{
    ResultStore store(target);
    if (!store.open()) {
        std::printf("%s: cannot open: %s\n", name, qPrintable(store.errorString()));
        return;
    }
    const QVector<MeasurementRow> rows = benchRows(300);
    std::vector<double> ms;
    int failed = 0;
    for (int i = 0; i < stores; ++i) {
        const RunRecord run = benchRun(i);
        QElapsedTimer t;
        t.start();
        failed += store.storeRun(run, rows) != ResultStore::Stored::Inserted;
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-10s one run + 300 records: median %.2f ms, 90th %.2f ms, slowest %.2f ms over %d stores"
                " (target <= %.0f ms), %d failed\n",
                name, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back(), stores, targetMs, failed);
}

void writers(const char *name, const DbTarget &target, int runsPerWriter)
{
    constexpr int Writers = 8;
    std::atomic<int> stored{0}, failed{0};
    std::vector<QThread *> threads;
    QElapsedTimer t;
    t.start();
    for (int w = 0; w < Writers; ++w) {
        threads.push_back(QThread::create([&, w] {
            ResultStore store(target);  // a connection of this thread's own
            const QVector<MeasurementRow> rows = benchRows(300);
            for (int i = 0; i < runsPerWriter; ++i) {
                if (store.storeRun(benchRun(w * 1000 + i), rows) == ResultStore::Stored::Inserted)
                    ++stored;
                else
                    ++failed;
            }
        }));
        threads.back()->start();
    }
    for (QThread *thread : threads) {
        thread->wait();
        delete thread;
    }
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    std::printf("%-10s %d concurrent writers x %d runs (300 records each): %.1f runs/s, %d stored, %d failed\n",
                name, Writers, runsPerWriter, stored / seconds, stored.load(), failed.load());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int stores = argc > 1 ? std::max(1, atoi(argv[1])) : 100;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 25;

    // Figures on a machine shared with other work depend on its load.
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        std::printf("load average: %s", load.readLine().constData());

    QTemporaryDir dir;
    DbTarget sqlite;
    sqlite.path = dir.filePath(QStringLiteral("bench.sqlite"));
    storeOne("SQLite", sqlite, stores, 20);
    DbTarget shared;
    shared.path = dir.filePath(QStringLiteral("shared.sqlite"));
    writers("SQLite", shared, runs);

    if (!PgServer::available()) {
        std::printf("PostgreSQL: not measured (package postgresql not installed)\n");
        return 0;
    }
    PgServer pg;
    if (!pg.start(true) || !pg.psql(QStringLiteral("CREATE DATABASE bench"))
        || !pg.psql(QStringLiteral("CREATE DATABASE shared"))) {
        std::printf("PostgreSQL: cannot start a server: %s\n", qPrintable(pg.errorString()));
        return 1;
    }
    QString error;
    // Through TCP on the loopback, as a station reaches the line's server.
    storeOne("PostgreSQL", *parseDbTarget(pg.tcpUrl(QStringLiteral("bench")), &error), stores, 30);
    writers("PostgreSQL", *parseDbTarget(pg.tcpUrl(QStringLiteral("shared")), &error), runs);
    return 0;
}
