#include "cliutil.h"
#include "commands.h"
#include "planfiles.h"

#include <QFileInfo>

int runFilesCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("files"),
                        QStringLiteral("Prints the transfer records of the files a plan needs, "
                                       "then its question records, one JSON object a line, then "
                                       "\"total download size: N\" (bytes, 1000000 per "
                                       "question)."));
    addPlanArgument(line, PlanFile::ReadOnly);
    int exitCode = ExitSuccess;
    PlanFile plan;
    if (!line.parse(arguments, 1, 1, &exitCode) ||
        !openPlanArgument(line, 0, PlanFile::ReadOnly, &plan, &exitCode))
        return exitCode;
    for (const QJsonObject &record : plan.data().getJsonFiles())
        printJsonLine(plan.shownRecord(record));
    for (const QJsonObject &record : plan.data().getJsonQuestions())
        printJsonLine(plan.shownRecord(record));
    standardOutput() << "total download size: " << plan.data().getDownloadFileTotalSize() << '\n';
    return ExitSuccess;
}

int runDiffCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("diff"),
                        QStringLiteral("Prints the transfer records of the locally added files "
                                       "(\"localUpload\") of PLAN that OTHER lacks or holds "
                                       "with another MD5, one JSON object a line."));
    addPlanArgument(line, PlanFile::ReadOnly);
    line.addPositional(QStringLiteral("OTHER"),
                       QStringLiteral("Another copy of the plan: a plan directory, its "
                                      "teachpkg.json, or a .yrtp package."));
    int exitCode = ExitSuccess;
    PlanFile plan;
    PlanFile other; // opened first, so that a missing or broken copy is an error, not "all new"
    if (!line.parse(arguments, 2, 2, &exitCode) ||
        !openPlanArgument(line, 0, PlanFile::ReadOnly, &plan, &exitCode) ||
        !openPlanArgument(line, 1, PlanFile::ReadOnly, &other, &exitCode))
        return exitCode;
    const QString otherDocument = QFileInfo(other.documentPath()).absoluteFilePath();
    for (const QJsonObject &record : plan.data().getOtherJsonDiffFiles(otherDocument))
        printJsonLine(record);
    return ExitSuccess;
}
