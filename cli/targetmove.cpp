#include "targetmove.h"

#include "moduleline.h"

#include <QEventLoop>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
const char *const TerminalPath = "/dev/tty";
}

QString pointText(qint64 referenceMilli)
{
    QString text = QString::number(referenceMilli / 1000);
    if (const qint64 fraction = referenceMilli % 1000) {
        text += QLatin1Char('.') + QString::number(fraction).rightJustified(3, QLatin1Char('0'));
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
    }
    return text;
}

TargetMove::TargetMove(ModuleLine &line, const PointsOptions &options)
    : line(line)
    , options(options)
{
}

namespace {
// The controlling terminal, or -1 (none, or a system without one).
int openTerminal()
{
#ifdef Q_OS_UNIX
    return ::open(TerminalPath, O_RDWR | O_CLOEXEC);
#else
    return -1;
#endif
}
} // namespace

bool TargetMove::canAsk()
{
    const int fd = openTerminal();
    if (fd < 0)
        return false;
#ifdef Q_OS_UNIX
    ::close(fd);
#endif
    return true;
}

void TargetMove::interrupt()
{
    interrupted = true;
    if (loop)
        loop->quit();
}

TargetMove::Result TargetMove::place(qint64 referenceMilli, int index)
{
    why.clear();
    if (interrupted) {
        why = QStringLiteral("interrupted");
        return Result::Stopped;
    }
    const QString mm = pointText(referenceMilli);
    if (!options.moveCommand.isEmpty())
        return runCommand(mm, index);
    if (line.moveSimulatedTarget(quint16(qBound(qint64(0), (referenceMilli + 500) / 1000, qint64(65535)))))
        return Result::Placed;
    return ask(mm);
}

TargetMove::Result TargetMove::runCommand(const QString &mm, int index)
{
    const PointsOptions &o = options;
    QProcess move;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KORVANI_POINT_MM"), mm);
    environment.insert(QStringLiteral("KORVANI_POINT_INDEX"), QString::number(index));
    move.setProcessEnvironment(environment);
    move.setStandardInputFile(QProcess::nullDevice());
    // Standard output carries the records: what the command says goes to standard error.
    move.setProcessChannelMode(QProcess::MergedChannels);
    connect(&move, &QProcess::readyRead, this, [&move] {
        const QByteArray said = move.readAll();
        std::fwrite(said.constData(), 1, size_t(said.size()), stderr);
        std::fflush(stderr);
    });

    QEventLoop events;
    loop = &events;
    bool timedOut = false;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &events, [&] {
        timedOut = true;
        events.quit();
    });
    connect(&move, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &events, &QEventLoop::quit);
    connect(&move, &QProcess::errorOccurred, &events, [&events](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            events.quit();
    });
    move.start(QStringLiteral("sh"), {QStringLiteral("-c"), o.moveCommand});
    limit.start(int(qMin<qint64>(qint64(o.moveTimeoutS) * 1000, 0x7FFFFFFF)));
    if (move.state() != QProcess::NotRunning || move.error() != QProcess::FailedToStart)
        events.exec();
    loop = nullptr;

    const bool running = move.state() != QProcess::NotRunning;
    if (running) {
        move.kill();
        move.waitForFinished(5000);
    }
    if (interrupted) {
        why = QStringLiteral("interrupted while the target moved");
        return Result::Stopped;
    }
    if (timedOut && running)
        why = QStringLiteral("the move command did not finish within %1 s").arg(o.moveTimeoutS);
    else if (move.error() == QProcess::FailedToStart)
        why = QStringLiteral("the move command could not be started (%1)").arg(move.errorString());
    else if (move.exitStatus() == QProcess::CrashExit)
        why = QStringLiteral("the move command was killed by a signal");
    else if (move.exitCode() != 0)
        why = QStringLiteral("the move command exited with status %1").arg(move.exitCode());
    else
        return Result::Placed;
    return Result::Failed;
}

TargetMove::Result TargetMove::ask(const QString &mm)
{
    const int fd = openTerminal();
    if (fd < 0) {
        why = QStringLiteral("no terminal to ask on");
        return Result::Stopped;
    }
#ifdef Q_OS_UNIX
    const QByteArray prompt = QStringLiteral("Place the target at %1 mm, then press Enter; q stops\n").arg(mm).toLocal8Bit();
    const bool prompted = ::write(fd, prompt.constData(), size_t(prompt.size())) == prompt.size();

    QEventLoop events;
    loop = &events;
    QByteArray answer;
    bool closed = !prompted;
    QSocketNotifier readable(fd, QSocketNotifier::Read);
    connect(&readable, &QSocketNotifier::activated, &events, [&] {
        // One read: a terminal hands over a line at a time; nothing at all: it closed (Ctrl+D).
        char chunk[256];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0)
            answer.append(chunk, int(n));
        closed = n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN);
        if (closed || answer.contains('\n'))
            events.quit();
    });
    if (!closed)
        events.exec();
    loop = nullptr;
    ::close(fd);
    if (interrupted) {
        why = QStringLiteral("interrupted at the prompt");
        return Result::Stopped;
    }
    if (closed || answer.trimmed().toLower() == QByteArray("q")) {
        why = QStringLiteral("stopped at the prompt");
        return Result::Stopped;
    }
    return Result::Placed;
#else
    Q_UNUSED(mm);
    return Result::Stopped;
#endif
}
