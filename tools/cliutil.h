#ifndef YRPLAN_CLIUTIL_H
#define YRPLAN_CLIUTIL_H

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTextStream>

// Exit codes of every subcommand.
enum ExitCode {
    ExitSuccess = 0,
    ExitFailure = 1, // the command ran and failed: missing file, bad document, unknown id...
    ExitUsage = 2,   // the command line itself is wrong
};

// Standard output and standard error, both UTF-8 whatever the locale.
QTextStream &standardOutput();
QTextStream &standardError();

// Keeps the warnings of the library and of the network manager (their "yrdata.*" and
// "yrnetwork.*" logging categories) instead of printing them, so that a command can fold the one
// that explains its failure into its one error line; every other message goes where it went
// before.
void holdLibraryWarnings();
// The library's warnings held since the last call, oldest first; they are forgotten.
QStringList takeLibraryWarnings();

// Prints a JSON object as one compact line on standard output.
void printJsonLine(const QJsonObject &object);

// The command line of one subcommand: its parser (with --help and --verbose), its positional
// arguments, and its one-line error reports "yrplan <name>: <message>".
class SubcommandLine
{
public:
    SubcommandLine(const QString &name, const QString &description);

    const QString &name() const { return commandName; }
    QCommandLineParser &parser() { return commandParser; }
    // Documents a positional argument, shown under its name in the usage line too.
    void addPositional(const QString &argument, const QString &description);
    // Adds an option; one with a valueName takes a value.
    void addOption(const QString &name, const QString &description,
                   const QString &valueName = QString())
    {
        commandParser.addOption(QCommandLineOption(name, description, valueName));
    }

    // Parses arguments (the subcommand's name first). Returns false when the command must end
    // at once, with *exitCode set: 0 after printing the help, 2 after a usage error. The
    // number of positional arguments must lie between minimum and maximum, and every option
    // of required must be given.
    bool parse(const QStringList &arguments, int minimum, int maximum, int *exitCode,
               const QStringList &required = QStringList());
    QStringList positionals() const { return commandParser.positionalArguments(); }
    bool isSet(const QString &option) const { return commandParser.isSet(option); }
    QString value(const QString &option) const { return commandParser.value(option); }

    // Prints "yrplan <name>: message" on standard error; returns 1 (failure) or 2 (usage).
    int fail(const QString &message) const;
    int usageError(const QString &message) const;

private:
    QString helpText() const;

    QString commandName;
    QCommandLineParser commandParser;
};

// The step-type code (TPStepType) of a document name, a code (1, 2, 4, ... 64) or an English
// alias (intro, explain, exercise, test, competition, inquiry, custom); 0 for none of them.
int stepTypeCode(const QString &text);
// The name the document writes for a step-type code; empty for an unknown code.
QString stepTypeName(int code);
// "name (code, alias)" for each step type, for help texts.
QString stepTypeList();

#endif // YRPLAN_CLIUTIL_H
