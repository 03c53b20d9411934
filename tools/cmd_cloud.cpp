// The signed-in user's cloud plans, as the plan service lists them.

#include "cliutil.h"
#include "cloudaccount.h"
#include "commands.h"
#include "planhost.h"

#include <QDateTime>

namespace {

// "12  "分数"  3 steps  2026-01-05 08:30  10001/1767571200/GUID/teachpkg.json"
QString planLine(const CloudPlan &plan)
{
    return QStringLiteral("%1  \"%2\"  %3 %4  %5  %6")
        .arg(plan.id)
        .arg(plan.title)
        .arg(plan.stepCount)
        .arg(plan.stepCount == 1 ? QStringLiteral("step") : QStringLiteral("steps"))
        .arg(QDateTime::fromSecsSinceEpoch(plan.date).toString(QStringLiteral("yyyy-MM-dd HH:mm")))
        .arg(plan.jsonPath);
}

} // namespace

int runCloudCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("cloud"),
                        QStringLiteral("Works on the signed-in user's cloud plans. list prints "
                                       "them newest first, one line each: the id that open, "
                                       "rename, delete and export take, the name, the number of "
                                       "steps, when it was saved, and the document's path under "
                                       "the teaching-plan root."));
    line.addPositional(QStringLiteral("list"), QStringLiteral("The action: list."));
    line.addOption(QStringLiteral("json"),
                   QStringLiteral("Print each plan as the plan service lists it, one JSON object "
                                  "a line."));
    line.addOption(QStringLiteral("trace"),
                   QStringLiteral("Print every request with its outcome (\"request <api>: "
                                  "ok\")."));
    addCloudOptions(line);
    int exitCode = ExitSuccess;
    CloudAccount account;
    if (!line.parse(arguments, 1, 1, &exitCode) || !cloudAccountOf(line, &account, &exitCode))
        return exitCode;
    if (line.positionals().at(0) != QLatin1String("list"))
        return line.usageError(QStringLiteral("unknown action \"%1\" (list is the one)")
                                   .arg(line.positionals().at(0)));
    if (!account.isSet())
        return line.usageError(QStringLiteral("sign in with --cloud and --token (or "
                                              "YRPLAN_CLOUD and YRPLAN_TOKEN)"));

    PlanHost host(line.isSet(QStringLiteral("trace")), account);
    QVector<CloudPlan> plans;
    QString error;
    if (!host.signIn(&error) || !host.listCloudPlans(&plans, &error))
        return line.fail(error);
    for (const CloudPlan &plan : qAsConst(plans)) {
        if (line.isSet(QStringLiteral("json")))
            printJsonLine(plan.record);
        else
            standardOutput() << planLine(plan) << '\n';
    }
    return ExitSuccess;
}
