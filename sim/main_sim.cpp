// korvani-sim: a simulated module on a pseudo-terminal, for trying the
// program without hardware. Prints the device path and runs until SIGINT,
// SIGTERM or SIGHUP.

#include "platform/quitonsignal.h"
#include "simoptions.h"
#include "simulatedmodule.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
void say(FILE *stream, const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvani-sim"));

    SimOptions options;
    QString error;
    if (!processSimOptions(app, QStringLiteral(
        "A simulated laser distance module on a pseudo-terminal. Prints the device path "
        "to open as the serial port, then answers the module's commands until interrupted."), options, &error)) {
        say(stderr, QStringLiteral("korvani-sim: ") + error);
        return 2;
    }

    QuitOnSignal quit;
    if (!quit.isWatching()) {
        say(stderr, QStringLiteral("korvani-sim: cannot watch for signals"));
        return 1;
    }
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &app, [] { QCoreApplication::quit(); });

    SimulatedModule module;
    SimSession session(module, options);
    QObject::connect(&session, &SimSession::portReady, &app,
                     [](const QString &path) { say(stdout, path); });
    QObject::connect(&session, &SimSession::wentAway, &app, [](bool returning) {
        say(stderr, QStringLiteral("korvani-sim: the module went away"));
        if (!returning)
            QCoreApplication::exit(0);
    });
    QObject::connect(&session, &SimSession::failed, &app, [](const QString &reason) {
        say(stderr, QStringLiteral("korvani-sim: ") + reason);
        QCoreApplication::exit(1);
    });
    QObject::connect(&session, &SimSession::replayFinished, &app, [](const QString &warning) {
        say(stderr, warning.isEmpty() ? QStringLiteral("korvani-sim: the capture has been played")
                                      : QStringLiteral("korvani-sim: ") + warning);
    });
    if (!session.start()) {
        say(stderr, QStringLiteral("korvani-sim: ") + session.errorString());
        return session.badReplay() ? 64 : 1;
    }
    return app.exec();
}
