// korvani-cli: the module's command line for test stations. See --help.

#include "commands.h"
#include "exitstatus.h"
#include "message.h"
#include "options.h"
#include "optiontable.h"
#include "output.h"
#include "platform/version.h"
#include "targetmove.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <csignal>

int main(int argc, char *argv[])
{
    Output::holdStandardStreams();
    // No debug output unless asked for through QT_LOGGING_RULES (which is
    // read after these rules and wins over them).
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    // Qt's own event dispatcher: lighter per wake-up than the GLib one, and a
    // fast line wakes the program thousands of times a second.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvani-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVANI_VERSION));

    // A reader that closes its pipe makes writes fail with EPIPE (handled
    // where they are written) instead of ending the program on the spot.
    std::signal(SIGPIPE, SIG_IGN);
    // Likewise a file grown to its size limit: the write fails (EFBIG) and is reported.
    std::signal(SIGXFSZ, SIG_IGN);

    const ParsedArguments parsed = parseArguments(app.arguments().mid(1));
    if (parsed.help || parsed.version) {
        Output out;
        out.write((parsed.help ? helpText() : QStringLiteral("korvani-cli %1\n").arg(QStringLiteral(KORVANI_VERSION)))
                      .toUtf8());
        return out.failed() ? (tell(QStringLiteral("cannot write %1: %2").arg(out.name(), out.reason())), ExitStatus::WriteFailed)
                            : ExitStatus::Done;
    }
    QString error = parsed.error;
    // Without --move a run across the range asks on the terminal; a script has none.
    const CliOptions &o = parsed.options;
    if (error.isEmpty() && !o.points.points.isEmpty() && o.points.moveCommand.isEmpty() && !o.line.sim
        && !TargetMove::canAsk())
        error = QStringLiteral("test --points without a terminal to ask on needs --move CMD to move the target");
    if (!error.isEmpty()) {
        tell(parsed.showUsage ? error + QLatin1Char('\n') + usageLine() : error);
        return ExitStatus::Usage;
    }
    return runCommand(parsed.options);
}
