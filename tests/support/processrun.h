#ifndef PROCESSRUN_H
#define PROCESSRUN_H

// A command-line program run by a test as a process: its arguments, an
// environment, bytes for its standard input, something to set on the process
// before it starts (a working folder, an output file) and something to do
// while it runs (a signal).
// The test's event loop turns while it waits, so that a simulated module or
// bus owned by the test answers meanwhile. A process still running after the
// bound is killed and reported with status -1, as is one that crashed or
// never started.
//
//   const ProcessRun r = runProcess(KORVANI_CLI, {"--sim", "info"});
//   QCOMPARE(r.status, 0);

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

class QProcess;

struct ProcessOptions {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QByteArray input;  // written to standard input, which is then closed
    std::function<void(QProcess &)> beforeStart;
    std::function<void(QProcess &)> whileRunning;  // called once it has started
    int boundMs = 60000;
};

struct ProcessRun {
    int status = -1;  // the exit code; -1: crashed, killed at the bound or never started
    QString out, err;
};

ProcessRun runProcess(const QString &program, const QStringList &arguments,
                      const ProcessOptions &options = ProcessOptions());

#endif // PROCESSRUN_H
