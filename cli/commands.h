#ifndef COMMANDS_CLI_H
#define COMMANDS_CLI_H

// The commands of korvani-cli, each from parsed options to an exit status.
// Records go to standard output or the --output file, answer lines and the
// summary to standard output, every write checked; messages go to standard
// error.

#include "options.h"

int runCommand(const CliOptions &options);

#endif // COMMANDS_CLI_H
