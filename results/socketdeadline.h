#ifndef SOCKETDEADLINE_H
#define SOCKETDEADLINE_H

// A time limit on one step of a PostgreSQL connection, kept on this side:
// when the step takes longer, the connection's socket is shut, and the call
// blocked on a server that stopped answering (stopped, frozen, a network that
// drops everything) returns with an error at once instead of after the
// kernel's minutes. The server's own statement time-out cannot help there:
// a frozen server runs nothing. A deadline on an SQLite connection, or where
// the socket cannot be had, does nothing (an SQLite file has no server).
//
//   SocketDeadline d(db, 5000);  // armed until it goes out of scope
//   q.exec(...);
//   if (d.expired()) ...          // the step was cut off

#include <QSqlDatabase>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class SocketDeadline
{
public:
    SocketDeadline(const QSqlDatabase &db, int ms);
    ~SocketDeadline();
    SocketDeadline(const SocketDeadline &) = delete;
    SocketDeadline &operator=(const SocketDeadline &) = delete;

    bool expired() const { return fired; }

private:
    std::mutex lock;
    std::condition_variable wake;
    bool done = false;
    std::atomic<bool> fired{false};
    std::thread watcher;
};

#endif // SOCKETDEADLINE_H
