#include "cliutil.h"
#include "commands.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QVector>

#include <algorithm>

namespace {

struct Subcommand
{
    QString name;
    QString summary;
    int (*run)(const QStringList &arguments);
};

const QVector<Subcommand> &subcommands()
{
    static const QVector<Subcommand> table = {
        {QStringLiteral("new"),
         QStringLiteral("create a plan with a first step; print its directory"), runNewCommand},
        {QStringLiteral("show"), QStringLiteral("show a plan's tree, or its document with --json"),
         runShowCommand},
        {QStringLiteral("add-step"), QStringLiteral("append a step of a given type; print its id"),
         runAddStepCommand},
        {QStringLiteral("add-task"),
         QStringLiteral("append a task to a group-inquiry step; print its id"), runAddTaskCommand},
        {QStringLiteral("add-node"),
         QStringLiteral("append a node given as web-editor JSON; print its id"), runAddNodeCommand},
        {QStringLiteral("rename"), QStringLiteral("rename a step or a task"), runRenameCommand},
        {QStringLiteral("move"), QStringLiteral("move a step or a node before another"),
         runMoveCommand},
        {QStringLiteral("delete"), QStringLiteral("delete or empty a node, task or step"),
         runDeleteCommand},
        {QStringLiteral("files"),
         QStringLiteral("list the files and questions a plan needs, and the download size"),
         runFilesCommand},
        {QStringLiteral("diff"),
         QStringLiteral("list the locally added files that another copy lacks or holds changed"),
         runDiffCommand},
        {QStringLiteral("pack"), QStringLiteral("pack a plan directory into a .yrtp package"),
         runPackCommand},
        {QStringLiteral("unpack"), QStringLiteral("unpack a .yrtp package into a directory"),
         runUnpackCommand},
        {QStringLiteral("url"),
         QStringLiteral("print the cloud address composed for a transfer record"), runUrlCommand},
        {QStringLiteral("demo"),
         QStringLiteral("build, show, pack and unpack a plan of every kind; compare the copies"),
         runDemoCommand},
    };
    return table;
}

QString overallHelp()
{
    QString text = QStringLiteral(
        "Usage: yrplan [--verbose] <command> [options] [arguments]\n"
        "Works on teaching plans: a plan directory, its teachpkg.json, or a .yrtp package\n"
        "(packages are read only).\n\nCommands:\n");
    for (const Subcommand &command : subcommands())
        text += QStringLiteral("  %1%2\n").arg(command.name, -10).arg(command.summary);
    text += QStringLiteral("\nOptions:\n"
                           "  -h, --help  Show this help; yrplan <command> --help shows a "
                           "command's.\n"
                           "  --version   Show the version.\n"
                           "  --verbose   Show the library's debug log on stderr.\n"
                           "\nExit codes: 0 success, 1 failure, 2 wrong command line.\n");
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("yrplan"));
    QCoreApplication::setApplicationVersion(QStringLiteral(YRPLAN_VERSION));

    QStringList arguments = app.arguments();
    arguments.removeFirst();
    // --verbose may come before the command or among its options.
    const bool verbose = arguments.contains(QStringLiteral("--verbose"));
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("--verbose"))
        arguments.removeFirst();
    if (!verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("yrdata.*.debug=false"));

    int exitCode = ExitSuccess;
    const QString first = arguments.value(0);
    if (first.isEmpty()) {
        standardError() << overallHelp();
        exitCode = ExitUsage;
    } else if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        standardOutput() << overallHelp();
    } else if (first == QLatin1String("--version")) {
        standardOutput() << "yrplan " << QCoreApplication::applicationVersion() << '\n';
    } else {
        const auto &table = subcommands();
        const auto command = std::find_if(table.cbegin(), table.cend(),
                                          [&](const Subcommand &c) { return c.name == first; });
        if (command == table.cend()) {
            standardError() << "yrplan: unknown command \"" << first
                            << "\" (yrplan --help lists them)\n";
            exitCode = ExitUsage;
        } else {
            exitCode = command->run(arguments);
        }
    }
    standardOutput().flush();
    standardError().flush();
    return exitCode;
}
