#include "cliutil.h"
#include "commands.h"
#include "planfiles.h"

int runNewCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("new"),
                        QStringLiteral("Creates a plan with fresh attributes and a first step "
                                       "(情景导入) and prints its directory:\n"
                                       "ROOT/<user or \"local\">/<day stamp>/<GUID>, ROOT being "
                                       "ALLUSERSPROFILE/Orvane/Tavrunelcore/TeachPlans."));
    line.addOption(QStringLiteral("name"),
                   QStringLiteral("The plan's name (default: 未命名教案 and today's date)."),
                   QStringLiteral("NAME"));
    addRootOption(line);
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 0, 0, &exitCode) || !applyRootOption(line, &exitCode))
        return exitCode;

    YRPlanData plan;
    QString error;
    const QString directory = createPlan(plan, line.value(QStringLiteral("name")), &error);
    if (directory.isEmpty())
        return line.fail(error);
    standardOutput() << directory << '\n';
    return ExitSuccess;
}
