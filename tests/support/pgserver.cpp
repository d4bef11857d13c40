#include "pgserver.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QUrl>
#include <QVersionNumber>

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A port nobody listens on now: bound once to port 0, then released.
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

}  // namespace

PgServer::~PgServer()
{
    stop();
}

QString PgServer::binDir()
{
    QString best;
    QVersionNumber newest;
    QDirIterator it(QStringLiteral("/usr/lib/postgresql"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString path = it.next();
        const QVersionNumber v = QVersionNumber::fromString(QFileInfo(path).fileName());
        if (QFileInfo(path + QStringLiteral("/bin/pg_ctl")).isExecutable()
            && QFileInfo(path + QStringLiteral("/bin/initdb")).isExecutable() && v > newest) {
            newest = v;
            best = path + QStringLiteral("/bin");
        }
    }
    return best;
}

QString PgServer::socketDir() const
{
    return dir.path() + QStringLiteral("/socket");
}

QString PgServer::url(const QString &database, const QString &user) const
{
    return QStringLiteral("postgresql:///%1?host=%2&port=%3&user=%4").arg(database, socketDir()).arg(tcpPort).arg(user);
}

QString PgServer::tcpUrl(const QString &database, const QString &user) const
{
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(user).arg(tcpPort).arg(database);
}

bool PgServer::runTool(const QString &tool, const QStringList &args, bool asServerUser)
{
    QProcess p;
    const QString program = binDir() + QLatin1Char('/') + tool;
    if (asServerUser && ::geteuid() == 0)
        p.start(QStringLiteral("runuser"), QStringList{"-u", "postgres", "--", program} + args);
    else
        p.start(program, args);
    // initdb and a start take seconds on a busy machine.
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        error = QStringLiteral("%1 did not finish").arg(tool);
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error = QStringLiteral("%1 failed: %2").arg(tool, QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
        return false;
    }
    return true;
}

bool PgServer::start(bool durable)
{
    if (running)
        return true;
    if (!available()) {
        error = QStringLiteral("no PostgreSQL server binaries in /usr/lib/postgresql");
        return false;
    }
    if (!dir.isValid()) {
        error = QStringLiteral("no temporary folder");
        return false;
    }
    if (!initialised) {
        QDir().mkpath(socketDir());
        if (::geteuid() == 0) {
            const passwd *pg = ::getpwnam("postgres");
            if (!pg) {
                error = QStringLiteral("no user postgres to run the server as");
                return false;
            }
            for (const QString &path : {dir.path(), socketDir()}) {
                if (::chown(QFile::encodeName(path).constData(), pg->pw_uid, pg->pw_gid) != 0) {
                    error = QStringLiteral("cannot give %1 to postgres").arg(path);
                    return false;
                }
            }
        }
        if (!runTool(QStringLiteral("initdb"),
                     {"-D", dir.path() + "/data", "-U", "admin", "--auth=trust", "--encoding=UTF8", "--locale=C",
                      "--no-sync"}))
            return false;
        initialised = true;
    }
    // The same port after a stop, as a server that comes back.
    if (tcpPort == 0)
        tcpPort = freePort();
    const QString options =
        QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=%3 -c max_connections=60")
            .arg(tcpPort)
            .arg(socketDir(), durable ? QStringLiteral("on") : QStringLiteral("off"));
    if (!runTool(
            QStringLiteral("pg_ctl"),
            {"-D", dir.path() + "/data", "-l", dir.path() + "/server.log", "-o", options, "-w", "-t", "60", "start"}))
        return false;
    running = true;
    return true;
}

bool PgServer::stop()
{
    if (!running)
        return true;
    running = false;
    return runTool(QStringLiteral("pg_ctl"), {"-D", dir.path() + "/data", "-m", "fast", "-w", "stop"});
}

bool PgServer::psql(const QString &sql, const QString &database)
{
    return runTool(QStringLiteral("psql"),
                   {"-h", socketDir(), "-p", QString::number(tcpPort), "-U", "admin", "-d", database, "-X", "-q", "-A",
                    "-t", "-v", "ON_ERROR_STOP=1", "-c", sql},
                   false);
}
