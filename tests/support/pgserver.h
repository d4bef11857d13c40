#ifndef PGSERVER_H
#define PGSERVER_H

// A throw-away PostgreSQL server for tests and benchmarks: initdb and pg_ctl
// of the system's PostgreSQL in a temporary folder, listening on a Unix
// socket in that folder and on 127.0.0.1 at a free port, with trust
// authentication and the superuser "admin". Run as the `postgres` user when
// the caller is root (the server refuses to run as root). Stopped, and the
// folder removed, when the object goes.
//
//   PgServer pg;
//   if (!PgServer::available()) QSKIP(...);
//   QVERIFY2(pg.start(), qPrintable(pg.errorString()));
//   pg.psql("CREATE DATABASE korvani");
//   const QString url = pg.url("korvani");

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class PgServer
{
public:
    PgServer() = default;
    ~PgServer();
    PgServer(const PgServer &) = delete;
    PgServer &operator=(const PgServer &) = delete;

    // The folder of initdb and pg_ctl (the newest installed version); empty when absent.
    static QString binDir();
    static bool available() { return !binDir().isEmpty(); }

    // Creates the cluster on the first start. `durable` false switches fsync off (faster tests).
    bool start(bool durable = false);
    bool stop();
    bool isRunning() const { return running; }
    QString errorString() const { return error; }

    int port() const { return tcpPort; }
    QString socketDir() const;
    // postgresql:///DB?host=SOCKETDIR&port=PORT&user=USER (through the socket).
    QString url(const QString &database, const QString &user = QStringLiteral("admin")) const;
    // postgresql://USER@127.0.0.1:PORT/DB (through TCP).
    QString tcpUrl(const QString &database, const QString &user = QStringLiteral("admin")) const;

    // Runs SQL through psql as "admin" (each -c its own transaction); false
    // with errorString() set when it fails.
    bool psql(const QString &sql, const QString &database = QStringLiteral("postgres"));

private:
    bool runTool(const QString &tool, const QStringList &args, bool asServerUser = true);

    QTemporaryDir dir;
    int tcpPort = 0;
    bool initialised = false;
    bool running = false;
    QString error;
};

#endif  // PGSERVER_H
