#include "socketdeadline.h"

#include <QLibrary>
#include <QSqlDriver>
#include <QVariant>

#include <chrono>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace {

// The socket under Qt's PostgreSQL driver: its handle is libpq's PGconn, and
// libpq (loaded with the driver) tells its socket.
int socketOf(const QSqlDatabase &db)
{
    using SocketOf = int (*)(const void *);
    static const SocketOf pqSocket = reinterpret_cast<SocketOf>(
        QLibrary::resolve(QStringLiteral("pq"), 5, "PQsocket"));
    if (!pqSocket || !db.isOpen() || !db.driver())
        return -1;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "PGconn*") != 0)
        return -1;
    const void *connection = *static_cast<void *const *>(handle.constData());
    return connection ? pqSocket(connection) : -1;
}

} // namespace

SocketDeadline::SocketDeadline(const QSqlDatabase &db, int ms)
{
#ifdef Q_OS_UNIX
    const int fd = socketOf(db);
    if (fd < 0 || ms <= 0)
        return;
    watcher = std::thread([this, fd, ms] {
        std::unique_lock<std::mutex> held(lock);
        if (wake.wait_for(held, std::chrono::milliseconds(ms), [this] { return done; }))
            return;
        fired = true;
        ::shutdown(fd, SHUT_RDWR);
    });
#else
    Q_UNUSED(db)
    Q_UNUSED(ms)
#endif
}

SocketDeadline::~SocketDeadline()
{
    {
        const std::lock_guard<std::mutex> held(lock);
        done = true;
    }
    wake.notify_all();
    if (watcher.joinable())
        watcher.join();
}
