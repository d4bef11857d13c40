#ifndef OPTIONTABLE_H
#define OPTIONTABLE_H

// Every option and command of korvani-cli, declared once with its help: the
// parser registers the options from here, a usage error takes an option's
// "wants" text from here, and --help is written from here (the manual is
// checked against it).
//
// To add an option:
//   1. a row in optionTable() (optiontable.cpp): name, value placeholder
//      (empty for a flag), help, what a bad value "wants", its section;
//   2. its name in the `own` (shown in the command's syntax) or `also` list
//      of each command that takes it in commandTable();
//   3. a field in that concern's struct in options.h, read in options.cpp
//      with Reader::whole()/milli()/text()/flag(), which give the errors;
//   4. a line for it in packaging/man/korvani-cli.1 (a test compares them).
// To add a command: a CliCommand value, a row in commandTable(), a case in
// runCommand() (commands.cpp) and an entry in the manual.

#include "options.h"

#include <QString>
#include <QStringList>
#include <QVector>

enum class OptionSection { Line, Output, Run, Test, Results, Report, Scan };

struct OptionDecl {
    QString name;    // "count", without the dashes
    QString value;   // "N", "FILE"; empty: a flag
    QString help;    // one or more lines
    QString wants;   // "a whole number of frames from 1": for errors
    OptionSection section = OptionSection::Line;
    bool simOnly = false;  // only where the simulated module is built
};

struct CommandDecl {
    QString name;
    CliCommand command;
    QStringList required;  // options it cannot do without (unless a limits file gives them)
    QStringList own;       // its own options, shown in its syntax
    QStringList also;      // accepted too: output and results options
    QString arguments;     // "[VALUE]", "US", "HEX..."
    QString help;
};

// The options in help order; without the simulated module, no --sim or --module.
const QVector<OptionDecl> &optionTable();
const QVector<CommandDecl> &commandTable();
// The option named `name`, or null.
const OptionDecl *findOption(const QString &name);
const CommandDecl *findCommand(const QString &name);
// True when every command takes the option (the line's and --help).
bool isLineOption(const OptionDecl &option);

QString usageLine();
QString helpText();
// "measure [--count N] [--duration S] ...": the command's syntax in one line.
QString commandSyntax(const CommandDecl &command);

#endif // OPTIONTABLE_H
