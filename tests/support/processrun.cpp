#include "processrun.h"

#include <QProcess>
#include <QTest>

ProcessRun runProcess(const QString &program, const QStringList &arguments, const ProcessOptions &options)
{
    QProcess p;
    p.setProcessEnvironment(options.environment);
    if (options.beforeStart)
        options.beforeStart(p);
    p.start(program, arguments);
    if (p.waitForStarted(10000)) {
        if (!options.input.isEmpty())
            p.write(options.input);
        p.closeWriteChannel();
        if (options.whileRunning)
            options.whileRunning(p);
    }
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, options.boundMs)) {
        p.kill();
        p.waitForFinished();
    }
    ProcessRun r;
    r.status = p.error() == QProcess::UnknownError && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
