#include "cliutil.h"
#include "commands.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QVector>

#include <algorithm>
#include <memory>

namespace {

struct Subcommand
{
    QString name;
    QString summary;
    int (*run)(const QStringList &arguments);
    // Drives the plan controller, whose dialogs need a QApplication.
    bool usesController = false;
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
        {QStringLiteral("rename-item"), QStringLiteral("rename a step or a task"),
         runRenameItemCommand},
        {QStringLiteral("move"), QStringLiteral("move a step or a node before another"),
         runMoveCommand},
        {QStringLiteral("delete-item"), QStringLiteral("delete or empty a node, task or step"),
         runDeleteItemCommand},
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
        {QStringLiteral("check"),
         QStringLiteral("check a plan or package: document, named files, what is refused"),
         runCheckCommand},
        {QStringLiteral("url"),
         QStringLiteral("print the cloud address composed for a transfer record"), runUrlCommand},
        {QStringLiteral("create"), QStringLiteral("create a plan through the plan controller"),
         runCreateCommand, true},
        {QStringLiteral("open"), QStringLiteral("open a .yrtp package through the plan controller"),
         runOpenCommand, true},
        {QStringLiteral("save"),
         QStringLiteral("save a plan into a .yrtp package through the plan controller"),
         runSaveCommand, true},
        {QStringLiteral("import"),
         QStringLiteral("import a .yrtp package as a new plan through the plan controller"),
         runImportCommand, true},
        {QStringLiteral("rename"), QStringLiteral("rename a plan through the plan controller"),
         runRenameCommand, true},
        {QStringLiteral("delete"), QStringLiteral("delete a plan through the plan controller"),
         runDeleteCommand, true},
        {QStringLiteral("export"),
         QStringLiteral("export a cloud plan into a .yrtp package through the plan controller"),
         runExportCommand, true},
        {QStringLiteral("cloud"), QStringLiteral("cloud list: the signed-in user's cloud plans"),
         runCloudCommand, true},
        {QStringLiteral("demo"),
         QStringLiteral("the whole lifecycle of a plan of every kind, checked; --cloud: signed "
                        "in, against a yrcloud of its own"),
         runDemoCommand, true},
    };
    return table;
}

QString overallHelp()
{
    QString text = QStringLiteral(
        "Usage: yrplan [--verbose] <command> [options] [arguments]\n"
        "Works on teaching plans: a plan directory, its teachpkg.json, or a .yrtp package\n"
        "(packages are read only). The lifecycle commands (create, open, save, import,\n"
        "rename, delete, export) drive the plan controller as the host application does and\n"
        "answer its dialogs from their command line: with nobody signed in and no network,\n"
        "or signed in to a plan service with --cloud URL --token T (or YRPLAN_CLOUD and\n"
        "YRPLAN_TOKEN), where they work on cloud plans.\n"
        "\nCommands:\n");
    for (const Subcommand &command : subcommands())
        text += QStringLiteral("  %1%2\n").arg(command.name, -13).arg(command.summary);
    text += QStringLiteral("\nOptions:\n"
                           "  -h, --help  Show this help; yrplan <command> --help shows a "
                           "command's.\n"
                           "  --version   Show the version.\n"
                           "  --verbose   Show the library's debug log on stderr.\n"
                           "\nExit codes: 0 success, 1 failure, 2 wrong command line.\n");
    return text;
}

const Subcommand *subcommandNamed(const QString &name)
{
    const auto &table = subcommands();
    const auto found = std::find_if(table.cbegin(), table.cend(),
                                    [&](const Subcommand &c) { return c.name == name; });
    return found == table.cend() ? nullptr : &*found;
}

// The subcommand that the command line names, read before any application object exists:
// the first argument, or the second after a --verbose.
const Subcommand *namedSubcommand(int argc, char *argv[])
{
    int position = 1;
    if (position < argc && qstrcmp(argv[position], "--verbose") == 0)
        ++position;
    return position < argc ? subcommandNamed(QString::fromLocal8Bit(argv[position])) : nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    // The controller's dialogs are widgets; yrplan answers them itself, so it needs no display.
    const Subcommand *named = namedSubcommand(argc, argv);
    const bool widgets = named && named->usesController;
    if (widgets && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The library's diagnostic lines are for the host's log; shown with --verbose. Without it
    // errors are the command's one line, into which a command folds the library's warning
    // that explains its failure. Set before the application object exists, which already
    // warns of what a windowing system without a display lacks: such warnings of Qt's say
    // nothing to the user of a command line.
    const bool verbose = std::any_of(argv + 1, argv + argc,
                                     [](const char *a) { return qstrcmp(a, "--verbose") == 0; });
    if (!verbose) {
        QString rules = QStringLiteral("yrdata.*.debug=false\nyrdata.*.info=false\n"
                                       "yrnetwork.*.debug=false\nyrnetwork.*.info=false");
        if (widgets)
            rules += QStringLiteral("\ndefault.warning=false");
        QLoggingCategory::setFilterRules(rules);
        holdLibraryWarnings();
    }
    std::unique_ptr<QCoreApplication> application(widgets ? new QApplication(argc, argv)
                                                          : new QCoreApplication(argc, argv));
    QCoreApplication &app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("yrplan"));
    QCoreApplication::setApplicationVersion(QStringLiteral(YRPLAN_VERSION));

    QStringList arguments = app.arguments();
    arguments.removeFirst();
    // --verbose may come before the command or among its options.
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("--verbose"))
        arguments.removeFirst();

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
        const Subcommand *command = subcommandNamed(first);
        if (!command) {
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
