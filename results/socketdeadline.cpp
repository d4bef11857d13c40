#include "socketdeadline.h"

#include "pgconnection.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif


SocketDeadline::SocketDeadline(const QSqlDatabase &db, int ms)
    : limit(ms)
    , due(Clock::now() + limit)
{
#ifdef Q_OS_UNIX
    const int fd = pgSocket(db);
    if (fd < 0 || ms <= 0)
        return;
    watcher = std::thread([this, fd] {
        std::unique_lock<std::mutex> held(lock);
        while (!done) {
            if (Clock::now() >= due) {
                fired = true;
                ::shutdown(fd, SHUT_RDWR);
                return;
            }
            wake.wait_until(held, due);
        }
    });
#else
    Q_UNUSED(db)
#endif
}

void SocketDeadline::restart()
{
    const std::lock_guard<std::mutex> held(lock);
    due = Clock::now() + limit;
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
