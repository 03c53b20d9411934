#include "cliutil.h"
#include "commands.h"
#include "planfiles.h"
#include "progressline.h"

namespace {

// Runs a command that takes a source and a target path and hands both to transfer.
int runSourceTargetCommand(SubcommandLine &line, const QStringList &arguments,
                           bool (*transfer)(const QString &, const QString &, QString *))
{
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 2, 2, &exitCode))
        return exitCode;
    QString error;
    const ProgressLine progress(line.name());
    if (!transfer(line.positionals().at(0), line.positionals().at(1), &error))
        return line.fail(error);
    return ExitSuccess;
}

} // namespace

int runPackCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("pack"),
                        QStringLiteral("Packs a plan directory into a .yrtp package: a zip of "
                                       "every file under it, stored uncompressed. An existing "
                                       "package (a regular file) is replaced once the new one "
                                       "is complete. A plan that holds a symbolic link or a "
                                       "special file is refused."));
    line.addPositional(QStringLiteral("PLAN_DIR"),
                       QStringLiteral("The plan directory; it must hold a valid teachpkg.json."));
    line.addPositional(QStringLiteral("FILE"),
                       QStringLiteral("The package (.yrtp) to write, outside the plan "
                                      "directory."));
    return runSourceTargetCommand(line, arguments, packPlanDirectory);
}

int runUnpackCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("unpack"),
                        QStringLiteral("Unpacks a .yrtp package into a new or empty directory, "
                                       "which then holds the plan's teachpkg.json. A package "
                                       "with entries that would leave the directory is refused."));
    line.addPositional(QStringLiteral("FILE"), QStringLiteral("The package (.yrtp)."));
    line.addPositional(QStringLiteral("DIR"),
                       QStringLiteral("The directory to create (or an empty one)."));
    return runSourceTargetCommand(line, arguments, unpackPackage);
}
