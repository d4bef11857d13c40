#ifndef DIALOGCLOSER_H
#define DIALOGCLOSER_H

// Closes the message boxes a test provokes, remembering their titles and texts,
// so that no modal box is ever left waiting for a person.

#include <QObject>
#include <QStringList>
#include <QElapsedTimer>
#include <QHash>
#include <QTimer>

class DialogCloser : public QObject
{
    Q_OBJECT

public:
    explicit DialogCloser(QObject *parent = nullptr);

    QStringList titles;
    QStringList texts;
    int maxOpenAtOnce = 0;
    // How long a box stays open before it is closed.
    int keepOpenMs = 0;

private:
    void poll();
    QTimer timer;
    QHash<QObject *, qint64> firstSeen;
    QElapsedTimer clock;
};

#endif // DIALOGCLOSER_H
