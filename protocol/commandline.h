#ifndef COMMANDLINE_H
#define COMMANDLINE_H

// The typed command line: blank-separated hexadecimal tokens, the command
// code first and then its data bytes.

#include <QByteArray>
#include <QString>
#include <optional>

constexpr int MaxCommandLineTokens = 40;

// The low bytes of the tokens (code first), or nothing when the line sends
// nothing: empty, blanks only, a token that is not hexadecimal, or more than
// MaxCommandLineTokens tokens.
std::optional<QByteArray> parseCommandLine(const QString &text);

#endif // COMMANDLINE_H
