#include "cliutil.h"
#include "commands.h"
#include "planfiles.h"

int runNewCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("new"),
                        QStringLiteral("Creates a plan with fresh attributes and a first step "
                                       "(情景导入) and prints its directory:\n"
                                       "ROOT/<user or \"local\">/<day stamp>/<GUID>. The default "
                                       "root lies under ALLUSERSPROFILE."));
    line.addOption(QStringLiteral("name"),
                   QStringLiteral("The plan's name (default: 未命名教案 and today's date)."),
                   QStringLiteral("NAME"));
    line.addOption(QStringLiteral("root"),
                   QStringLiteral("The teaching-plan root to create the plan under."),
                   QStringLiteral("DIR"));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 0, 0, &exitCode))
        return exitCode;
    if (line.isSet(QStringLiteral("root")) && line.value(QStringLiteral("root")).isEmpty())
        return line.usageError(QStringLiteral("--root needs a directory"));

    YRPlanData plan;
    QString error;
    const QString directory = createPlan(plan, line.value(QStringLiteral("root")),
                                         line.value(QStringLiteral("name")), &error);
    if (directory.isEmpty())
        return line.fail(error);
    standardOutput() << directory << '\n';
    return ExitSuccess;
}
