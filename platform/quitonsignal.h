#ifndef QUITONSIGNAL_H
#define QUITONSIGNAL_H

// Turns SIGINT, SIGTERM, SIGHUP (the terminal or its login went away) and
// SIGPIPE (the reader of a pipe went away) into a signal on the event loop
// (through a self-pipe), so a program can end cleanly: a module told to stop,
// what was measured kept, links removed, line closed. A write to a closed
// pipe then fails with EPIPE instead of ending the program. The actions in
// place before are put back when the object goes.

#include <QObject>

#include <csignal>

class QSocketNotifier;

class QuitOnSignal : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignal(QObject *parent = nullptr);
    ~QuitOnSignal() override;

    bool isWatching() const { return notifier != nullptr; }

signals:
    void quitRequested(int signalNumber);

private:
    static void onSignal(int signalNumber);
    void drain();

    QSocketNotifier *notifier = nullptr;
    struct sigaction previous[4] = {};  // SIGINT, SIGTERM, SIGHUP, SIGPIPE as they were
};

#endif // QUITONSIGNAL_H
