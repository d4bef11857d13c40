#ifndef DIALOGCLOSER_H
#define DIALOGCLOSER_H

// Closes the message boxes a test provokes, remembering their texts,
// so that no modal box is ever left waiting for a person. It watches the
// application's show events, so it costs nothing while no box opens.

#include <QObject>
#include <QStringList>

class DialogCloser : public QObject
{
    Q_OBJECT

public:
    explicit DialogCloser(QObject *parent = nullptr);
    ~DialogCloser() override;

    QStringList texts;
    // How long a box stays open before it is closed.
    int keepOpenMs = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

#endif  // DIALOGCLOSER_H
