#ifndef COMMANDS_CLI_H
#define COMMANDS_CLI_H

// The commands of korvani-cli, each from parsed options to an exit status.
// Output (records, answer lines, the summary) goes to `out`; messages go to
// standard error through the line.

#include "options.h"

class QIODevice;

int runCommand(const CliOptions &options, QIODevice &out);

#endif // COMMANDS_CLI_H
