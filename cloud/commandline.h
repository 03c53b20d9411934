#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QStringList>

// Reads yrcloud's command line (arguments as the process got them), runs the subcommand it
// names, and returns the exit code: 0 done, 1 failed, 2 the command line is wrong.
int runCommandLine(const QStringList &arguments);

#endif // COMMANDLINE_H
