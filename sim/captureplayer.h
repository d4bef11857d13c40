#ifndef CAPTUREPLAYER_H
#define CAPTUREPLAYER_H

// Plays the rx lines of a capture on the simulated module's line, as the
// module sent them then: with their recorded timing (scaled by a speed), or
// as fast as the reader takes them. The module itself stays silent. Playing
// begins when the program sends its first command (it has the port open and
// is listening); the time of the capture's first line is then "now". tx lines
// are what the program sent then and are passed over.
//
// open() reads the whole file once first, so a malformed capture is refused
// before anything is played ("FILE:LINE: reason").

#include "protocol/capturefile.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class SimulatedModule;

class CapturePlayer : public QObject
{
    Q_OBJECT

public:
    // speed: recorded time divided by this; 0 plays as fast as the line goes.
    CapturePlayer(SimulatedModule &module, const QString &path, double speed, QObject *parent = nullptr);

    bool open();
    QString message() const { return text; }
    // Waits for the program's first command, then plays.
    void arm();
    bool isFinished() const { return done; }

signals:
    // Everything is written (or queued on the line); `warning` is set when
    // the last line was cut off and skipped.
    void finished(const QString &warning);

private:
    void play();
    void finish(const QString &warning);

    SimulatedModule &module;
    QString path;
    double speed;
    CaptureReader reader;
    CaptureEvent next;
    bool holding = false;  // `next` is read and waits for its time
    bool started = false;
    bool done = false;
    qint64 firstOffsetUs = -1;
    QElapsedTimer sinceStart;
    QTimer dueTimer;
    QString text;
};

#endif // CAPTUREPLAYER_H
