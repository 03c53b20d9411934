#ifndef YRPLAN_COMMANDS_H
#define YRPLAN_COMMANDS_H

#include <QStringList>

class SubcommandLine;

// Each subcommand of yrplan takes its own arguments, the subcommand's name first (ready for
// QCommandLineParser::process), and returns the process exit code.
int runUrlCommand(const QStringList &arguments);

// 0 on success, 1 when the command failed, 2 for a wrong command line; errors are one line on
// stderr, and a failed edit leaves the plan's files as they were.
int runNewCommand(const QStringList &arguments);
int runShowCommand(const QStringList &arguments);
int runAddStepCommand(const QStringList &arguments);
int runAddTaskCommand(const QStringList &arguments);
int runAddNodeCommand(const QStringList &arguments);
int runRenameItemCommand(const QStringList &arguments);
int runMoveCommand(const QStringList &arguments);
int runDeleteItemCommand(const QStringList &arguments);
int runFilesCommand(const QStringList &arguments);
int runDiffCommand(const QStringList &arguments);
int runPackCommand(const QStringList &arguments);
int runUnpackCommand(const QStringList &arguments);
// 0 when the plan or package is sound, 1 when anything is wrong; writes nothing.
int runCheckCommand(const QStringList &arguments);
// What check finds wrong with a plan directory or package, one line each, in *problems (empty
// when all is well); false with *error when it cannot be read at all.
bool checkPlan(const QString &argument, QStringList *problems, QString *error);

// The plan lifecycle through the plan controller; these and demo need a QApplication, whose
// modal dialogs they answer from their command line.
int runCreateCommand(const QStringList &arguments);
int runOpenCommand(const QStringList &arguments);
int runSaveCommand(const QStringList &arguments);
int runImportCommand(const QStringList &arguments);
int runRenameCommand(const QStringList &arguments);
int runDeleteCommand(const QStringList &arguments);
int runExportCommand(const QStringList &arguments);
int runDemoCommand(const QStringList &arguments);
// demo --cloud: the signed-in road against a yrcloud of its own, for the parsed line of demo.
int runCloudDemo(const SubcommandLine &line);

// The signed-in user's cloud plans: `cloud list`.
int runCloudCommand(const QStringList &arguments);

#endif // YRPLAN_COMMANDS_H
