#ifndef REPLAYSOURCE_H
#define REPLAYSOURCE_H

// A capture played into the link instead of a port (--replay): every rx line
// goes through the link's framing and delivery with its recorded time, as
// fast as the run takes it; tx lines are what the program sent then and are
// passed over. Lines are fed in batches from the event loop, so the run's own
// timers and Ctrl+C still get their turn.
//
// open() reads the whole file once first, so a malformed capture is refused
// before anything is measured ("FILE:LINE: reason"). A last line cut off
// mid-way is skipped with a warning on standard error.

#include "protocol/capturefile.h"

#include <QObject>
#include <QString>
#include <QTimer>

class ModuleLink;

class ReplaySource : public QObject
{
    Q_OBJECT

public:
    ReplaySource(ModuleLink &link, const QString &path, QObject *parent = nullptr);

    // False with message() set when the file cannot be read or is malformed.
    bool open();
    QString message() const { return text; }
    // Plays from the next turn of the event loop.
    void start();

signals:
    // Every line has been played (or a fault stopped the playing: message()).
    void finished();

private:
    void playBatch();

    ModuleLink &link;
    QString path;
    CaptureReader reader;
    qint64 startUs = 0;
    QString text;
    QTimer batchTimer;
};

#endif // REPLAYSOURCE_H
