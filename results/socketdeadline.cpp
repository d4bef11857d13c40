#include "socketdeadline.h"

#include "pgconnection.h"

#include <chrono>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif


SocketDeadline::SocketDeadline(const QSqlDatabase &db, int ms)
{
#ifdef Q_OS_UNIX
    const int fd = pgSocket(db);
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
