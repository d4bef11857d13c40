#include "quitonsignal.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int pipeEnds[2] = {-1, -1};
constexpr int watched[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr int watchedCount = int(sizeof watched / sizeof watched[0]);
static_assert(watchedCount == 4, "one saved action per watched signal");
}

QuitOnSignal::QuitOnSignal(QObject *parent)
    : QObject(parent)
{
    if (pipeEnds[0] >= 0 || ::pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitOnSignal::drain);

    struct sigaction action = {};
    action.sa_handler = &QuitOnSignal::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < watchedCount; ++i)
        ::sigaction(watched[i], &action, &previous[i]);
}

QuitOnSignal::~QuitOnSignal()
{
    if (!notifier)
        return;
    for (int i = 0; i < watchedCount; ++i)
        ::sigaction(watched[i], &previous[i], nullptr);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void QuitOnSignal::onSignal(int signalNumber)
{
    // Only async-signal-safe calls here.
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t ignored = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

void QuitOnSignal::drain()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1)
        last = byte;
    if (last != 0)
        emit quitRequested(last);
}
