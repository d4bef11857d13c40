#ifndef LINKFIXTURE_H
#define LINKFIXTURE_H

// The program as a tester uses it: a main window whose port is a real
// QSerialPort on a pseudo-terminal, with the simulated module at the other end.

#include "dialogcloser.h"
#include "testframes.h"
#include "mainwindow.h"
#include "sim/simulatedmodule.h"

#include <QByteArray>
#include <QStringList>
#include <memory>

class ChartForm;

class LinkFixture
{
public:
    LinkFixture();

    // Opens the simulated module, lists its port first and presses "打开串口".
    bool openPort();

    template<typename T> T *widget(const char *name) const { return window->findChild<T *>(QLatin1String(name)); }
    void click(const char *name) const;
    QString text(const char *name) const;  // of a label or a log view

    QStringList hexLog() const;
    QStringList textLog() const;
    QStringList testLog() const;

    // Commands the module has received, in order.
    QList<QByteArray> received() const { return sim.receivedCommands(); }

    SimulatedModule sim;
    DialogCloser closer;  // declared before the window, so it still watches while the window goes
    std::unique_ptr<MainWindow> window;
    ChartForm *chart = nullptr;  // the window's own chart window
};

// 89 81 ... for the distance, with amplitude 3243, 47 °C, ambient 103, DAC 1.
QByteArray measurementFrame(quint16 distance);

#endif  // LINKFIXTURE_H
