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
//   d.restart();                  // the next step gets the whole time again
//   q.exec(...);
//   if (d.expired()) ...          // a step was cut off

#include <QSqlDatabase>

#include <atomic>
#include <chrono>
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
    // The time counts again from now.
    void restart();

private:
    using Clock = std::chrono::steady_clock;

    std::mutex lock;
    std::condition_variable wake;
    std::chrono::milliseconds limit;
    Clock::time_point due;
    bool done = false;
    std::atomic<bool> fired{false};
    std::thread watcher;
};

#endif // SOCKETDEADLINE_H
