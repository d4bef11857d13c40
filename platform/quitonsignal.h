#ifndef QUITONSIGNAL_H
#define QUITONSIGNAL_H

// Turns SIGINT and SIGTERM into a signal on the event loop (through a
// self-pipe), so a standalone module can shut down cleanly: links removed,
// line closed.

#include <QObject>

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
};

#endif // QUITONSIGNAL_H
