#ifndef DIALOGCLOSER_H
#define DIALOGCLOSER_H

// Closes the message boxes a test provokes, remembering their titles and texts,
// so that no modal box is ever left waiting for a person.

#include <QObject>
#include <QStringList>
#include <QTimer>

class DialogCloser : public QObject
{
    Q_OBJECT

public:
    explicit DialogCloser(QObject *parent = nullptr);

    QStringList titles;
    QStringList texts;
    int maxOpenAtOnce = 0;

private:
    void poll();
    QTimer timer;
};

#endif // DIALOGCLOSER_H
