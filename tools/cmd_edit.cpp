#include "cliutil.h"
#include "commands.h"
#include "plandata/planpaths.h"
#include "plandata/tprecords.h"
#include "planfiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {

QString groupInquiryName()
{
    return stepTypeName(TPST_GroupInquiry);
}

QString kindName(RecordLocation::Kind kind)
{
    switch (kind) {
    case RecordLocation::Step:
        return QStringLiteral("a step");
    case RecordLocation::Task:
        return QStringLiteral("a task");
    case RecordLocation::Node:
        return QStringLiteral("a node");
    default:
        return QStringLiteral("nothing");
    }
}

// Looks id up in the plan; prints the failure and returns false when it names nothing, more
// than one record, or a record of another kind than wanted (any kind when wanted is Missing).
bool locateRecord(const SubcommandLine &line, const PlanFile &plan, const QString &id,
                  RecordLocation *location, int *exitCode,
                  RecordLocation::Kind wanted = RecordLocation::Missing)
{
    *location = plan.locate(id);
    QString problem;
    if (location->kind == RecordLocation::Missing)
        problem = QStringLiteral("unknown identifier: %1").arg(id);
    else if (location->kind == RecordLocation::Ambiguous)
        problem = QStringLiteral("the identifier %1 names more than one record").arg(id);
    else if (wanted != RecordLocation::Missing && location->kind != wanted)
        problem = QStringLiteral("%1 names %2, not %3")
                      .arg(id, kindName(location->kind), kindName(wanted));
    if (problem.isEmpty())
        return true;
    *exitCode = line.fail(problem);
    return false;
}

// Opens the plan that an editing command names first and locates the record it names second.
bool openPlanAndRecord(const SubcommandLine &line, PlanFile *plan, RecordLocation *record,
                       int *exitCode, RecordLocation::Kind wanted = RecordLocation::Missing)
{
    return openPlanArgument(line, 0, PlanFile::Editable, plan, exitCode) &&
           locateRecord(line, *plan, line.positionals().at(1), record, exitCode, wanted);
}

QStringList identifiersOf(const PlanFile &plan)
{
    QStringList ids;
    for (const RecordLocation &record : plan.records())
        ids << record.id;
    return ids;
}

// The first record of the given kind that the plan has gained since it had the ids before.
QString addedRecord(const PlanFile &plan, const QStringList &before, RecordLocation::Kind kind)
{
    for (const RecordLocation &record : plan.records()) {
        if (record.kind == kind && !before.contains(record.id))
            return record.id;
    }
    return QString();
}

// Saves the edited plan and prints id when there is one.
int saveAndReport(const SubcommandLine &line, PlanFile &plan, const QString &id = QString())
{
    QString error;
    if (!plan.save(&error))
        return line.fail(error);
    if (!id.isEmpty())
        standardOutput() << id << '\n';
    return ExitSuccess;
}

// Why a node text cannot describe a node, so that the message names the mistake: not a JSON
// object, a member of the wrong JSON type (the model would read it as an empty text or 0), a
// file name that cannot name a file. Empty when it may; the model decides whether it takes it.
QString nodeJsonProblem(const QString &text)
{
    static const QStringList numberKeys = {QStringLiteral("isTranslate"), QStringLiteral("bookId"),
                                           QStringLiteral("page")};
    static const QStringList textKeys = {
        QStringLiteral("cloudPath"),       QStringLiteral("cloudThumb"),
        QStringLiteral("fileCloudSource"), QStringLiteral("fileName"),
        QStringLiteral("fileSize"),        QStringLiteral("fileType"),
        QStringLiteral("chName"),          QStringLiteral("questionId"),
        QStringLiteral("questionType"),    QStringLiteral("paperId"),
        QStringLiteral("paperName"),       QStringLiteral("appBundleId"),
        QStringLiteral("appClassName"),    QStringLiteral("appName"),
        QStringLiteral("bookType"),        QStringLiteral("pageName")};
    QJsonParseError parseError;
    const QJsonDocument parsed = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return QStringLiteral("bad node JSON: %1 at offset %2")
            .arg(parseError.errorString())
            .arg(parseError.offset);
    if (!parsed.isObject())
        return QStringLiteral("bad node JSON: not an object");
    const QJsonObject node = parsed.object();
    if (!node.value(QStringLiteral("nodeType")).isString())
        return QStringLiteral("bad node JSON: \"nodeType\" must be a text");
    if (!node.value(QStringLiteral("nodeContent")).isObject())
        return QStringLiteral("bad node JSON: \"nodeContent\" must be an object");
    const QJsonObject content = node.value(QStringLiteral("nodeContent")).toObject();
    for (auto member = content.constBegin(); member != content.constEnd(); ++member) {
        if (numberKeys.contains(member.key()) && !member.value().isDouble())
            return QStringLiteral("bad node JSON: \"%1\" must be a number").arg(member.key());
        if (textKeys.contains(member.key()) && !member.value().isString())
            return QStringLiteral("bad node JSON: \"%1\" must be a text").arg(member.key());
    }
    const QString fileName = content.value(QStringLiteral("fileName")).toString();
    if (node.value(QStringLiteral("nodeType")).toString() == QLatin1String("file") &&
        !YRPlanPaths::isPlainFileName(fileName))
        return QStringLiteral("bad node JSON: \"fileName\" \"%1\" cannot name a file (empty, "
                              "\".\", \"..\", a separator, a colon or NUL, or longer than "
                              "255 bytes)")
            .arg(QString::fromUtf8(QJsonDocument(QJsonArray{fileName.left(80)})
                                       .toJson(QJsonDocument::Compact)
                                       .mid(2)
                                       .chopped(2)));
    return QString();
}

} // namespace

int runAddStepCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("add-step"),
                        QStringLiteral("Appends a step to a plan and prints its id. A %1 step "
                                       "comes with its first task.\nStep types: %2.")
                            .arg(groupInquiryName(), stepTypeList()));
    addPlanArgument(line, PlanFile::Editable);
    line.addOption(QStringLiteral("type"),
                   QStringLiteral("The step type: its name, code or English alias (required)."),
                   QStringLiteral("TYPE"));
    line.addOption(QStringLiteral("name"),
                   QStringLiteral("The step's name (default: the type's name)."),
                   QStringLiteral("NAME"));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 1, 1, &exitCode, {QStringLiteral("type")}))
        return exitCode;
    const QString typeName = stepTypeName(stepTypeCode(line.value(QStringLiteral("type"))));
    if (typeName.isEmpty())
        return line.usageError(QStringLiteral("unknown step type \"%1\"; use one of %2")
                                   .arg(line.value(QStringLiteral("type")), stepTypeList()));
    const QString name =
        line.isSet(QStringLiteral("name")) ? line.value(QStringLiteral("name")) : typeName;

    PlanFile plan;
    if (!openPlanArgument(line, 0, PlanFile::Editable, &plan, &exitCode))
        return exitCode;
    const QStringList before = identifiersOf(plan);
    if (!plan.data().addStepOrTask(QString(), name, typeName))
        return line.fail(QStringLiteral("cannot add the step"));
    return saveAndReport(line, plan, addedRecord(plan, before, RecordLocation::Step));
}

int runAddTaskCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("add-task"),
                        QStringLiteral("Appends a task to a %1 (group inquiry) step and prints "
                                       "its id. Steps of other types hold no tasks.")
                            .arg(groupInquiryName()));
    addPlanArgument(line, PlanFile::Editable);
    line.addPositional(QStringLiteral("STEP_ID"), QStringLiteral("The step that gets the task."));
    line.addOption(QStringLiteral("name"), QStringLiteral("The task's name (required)."),
                   QStringLiteral("NAME"));
    line.addOption(QStringLiteral("desc"), QStringLiteral("The task's description."),
                   QStringLiteral("TEXT"));
    int exitCode = ExitSuccess;
    PlanFile plan;
    RecordLocation step;
    if (!line.parse(arguments, 2, 2, &exitCode, {QStringLiteral("name")}) ||
        !openPlanAndRecord(line, &plan, &step, &exitCode, RecordLocation::Step))
        return exitCode;
    if (step.stepType != TPST_GroupInquiry)
        return line.fail(QStringLiteral("step %1 is not a %2 step; only those hold tasks")
                             .arg(step.stepId, groupInquiryName()));
    const QString name = line.value(QStringLiteral("name"));
    const QStringList before = identifiersOf(plan);
    if (!plan.data().addStepOrTask(step.stepId, name, QString()))
        return line.fail(QStringLiteral("cannot add the task"));
    const QString taskId = addedRecord(plan, before, RecordLocation::Task);
    if (line.isSet(QStringLiteral("desc")))
        plan.data().renameStepOrTask(step.stepId, taskId, name, line.value(QStringLiteral("desc")));
    return saveAndReport(line, plan, taskId);
}

int runAddNodeCommand(const QStringList &arguments)
{
    SubcommandLine line(
        QStringLiteral("add-node"),
        QStringLiteral("Appends a node, described as the web editor describes it, to a step or "
                       "to a task of a %1 step, and prints its id.\nThe JSON is "
                       "{\"nodeType\": file|question|paper|subjectApp|ebook, \"nodeContent\": "
                       "{...}}. A resource that the step or task already holds is refused.")
            .arg(groupInquiryName()));
    addPlanArgument(line, PlanFile::Editable);
    line.addPositional(QStringLiteral("STEP_ID"), QStringLiteral("The step that gets the node."));
    line.addOption(QStringLiteral("task"),
                   QStringLiteral("The task of a %1 step that gets the node (required for such "
                                  "a step).")
                       .arg(groupInquiryName()),
                   QStringLiteral("TASK_ID"));
    line.addOption(QStringLiteral("json"), QStringLiteral("The node JSON."),
                   QStringLiteral("TEXT"));
    line.addOption(QStringLiteral("file"), QStringLiteral("A file holding the node JSON."),
                   QStringLiteral("FILE"));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 2, 2, &exitCode))
        return exitCode;
    if (line.isSet(QStringLiteral("json")) == line.isSet(QStringLiteral("file")))
        return line.usageError(
            QStringLiteral("give the node with exactly one of --json and --file"));

    QString nodeJson = line.value(QStringLiteral("json"));
    if (line.isSet(QStringLiteral("file"))) {
        QFile file(line.value(QStringLiteral("file")));
        if (!file.open(QIODevice::ReadOnly))
            return line.fail(
                QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
        nodeJson = QString::fromUtf8(file.readAll());
    }
    const QString problem = nodeJsonProblem(nodeJson);
    if (!problem.isEmpty())
        return line.fail(problem);

    PlanFile plan;
    RecordLocation step;
    RecordLocation task;
    if (!openPlanAndRecord(line, &plan, &step, &exitCode, RecordLocation::Step) ||
        (line.isSet(QStringLiteral("task")) &&
         !locateRecord(line, plan, line.value(QStringLiteral("task")), &task, &exitCode,
                       RecordLocation::Task)))
        return exitCode;
    if (task.kind == RecordLocation::Task && task.stepId != step.stepId)
        return line.fail(
            QStringLiteral("task %1 does not lie in step %2").arg(task.taskId, step.stepId));
    // The document keeps only the tasks of such a step; a node of its own would be lost.
    if (task.kind != RecordLocation::Task && step.stepType == TPST_GroupInquiry)
        return line.fail(QStringLiteral("step %1 is a %2 step: name one of its tasks with --task")
                             .arg(step.stepId, groupInquiryName()));

    const QString taskId = plan.modelId(task.taskId);
    const QStringList before = identifiersOf(plan);
    const bool appended = plan.data().appendNode(step.stepId, taskId, nodeJson);
    const QString nodeId = addedRecord(plan, before, RecordLocation::Node);
    if (!appended || nodeId.isEmpty())
        return line.fail(
            QStringLiteral("the node was not added: the %1 already holds this "
                           "resource, or its nodeType or nodeContent was refused")
                .arg(taskId.isEmpty() ? QStringLiteral("step") : QStringLiteral("task")));
    return saveAndReport(line, plan, nodeId);
}

int runRenameItemCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("rename-item"),
                        QStringLiteral("Renames a step, or renames a task and sets its "
                                       "description."));
    addPlanArgument(line, PlanFile::Editable);
    line.addPositional(QStringLiteral("ID"), QStringLiteral("The step or task."));
    line.addOption(QStringLiteral("name"), QStringLiteral("The new name."), QStringLiteral("NAME"));
    line.addOption(QStringLiteral("desc"),
                   QStringLiteral("The task's new description (tasks only; kept when not "
                                  "given)."),
                   QStringLiteral("TEXT"));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 2, 2, &exitCode))
        return exitCode;
    if (!line.isSet(QStringLiteral("name")) && !line.isSet(QStringLiteral("desc")))
        return line.usageError(QStringLiteral("give --name, --desc or both"));

    PlanFile plan;
    RecordLocation record;
    if (!openPlanAndRecord(line, &plan, &record, &exitCode))
        return exitCode;
    const QString name =
        line.isSet(QStringLiteral("name")) ? line.value(QStringLiteral("name")) : record.name;
    if (record.kind == RecordLocation::Step) {
        if (line.isSet(QStringLiteral("desc")))
            return line.usageError(
                QStringLiteral("--desc applies to tasks; %1 is a step").arg(record.id));
        plan.data().renameStepOrTask(record.stepId, QString(), name, QString());
    } else if (record.kind == RecordLocation::Task) {
        const QString desc = line.isSet(QStringLiteral("desc")) ? line.value(QStringLiteral("desc"))
                                                                : record.taskDesc;
        plan.data().renameStepOrTask(record.stepId, plan.modelId(record.taskId), name, desc);
    } else {
        return line.fail(
            QStringLiteral("%1 names a node; only steps and tasks are renamed").arg(record.id));
    }
    return saveAndReport(line, plan);
}

int runMoveCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("move"),
                        QStringLiteral("Moves a step before another step, or a node before "
                                       "another node of the same step or task.\nA record cannot "
                                       "go behind the last one: move the last one instead."));
    addPlanArgument(line, PlanFile::Editable);
    line.addPositional(QStringLiteral("ID"), QStringLiteral("The step or node to move."));
    line.addOption(QStringLiteral("before"),
                   QStringLiteral("The step or node it goes before (required)."),
                   QStringLiteral("ID"));
    line.addOption(QStringLiteral("parent"),
                   QStringLiteral("For a node: the step it lies in (checked when given)."),
                   QStringLiteral("STEP_ID"));
    int exitCode = ExitSuccess;
    PlanFile plan;
    RecordLocation moving;
    RecordLocation before;
    if (!line.parse(arguments, 2, 2, &exitCode, {QStringLiteral("before")}) ||
        !openPlanAndRecord(line, &plan, &moving, &exitCode) ||
        !locateRecord(line, plan, line.value(QStringLiteral("before")), &before, &exitCode))
        return exitCode;

    const QString parent = line.value(QStringLiteral("parent"));
    if (moving.kind == RecordLocation::Step) {
        if (line.isSet(QStringLiteral("parent")))
            return line.usageError(
                QStringLiteral("--parent applies to nodes; %1 is a step").arg(moving.id));
        if (before.kind != RecordLocation::Step)
            return line.fail(
                QStringLiteral("%1 names %2, not a step").arg(before.id, kindName(before.kind)));
        plan.data().orderStepOrTask(moving.id, before.id, QString(), 2);
        return saveAndReport(line, plan);
    }
    if (moving.kind != RecordLocation::Node)
        return line.fail(
            QStringLiteral("%1 names a task; only steps and nodes are moved").arg(moving.id));
    if (line.isSet(QStringLiteral("parent")) && parent != moving.stepId)
        return line.fail(QStringLiteral("node %1 does not lie in step %2").arg(moving.id, parent));
    if (before.kind != RecordLocation::Node || before.stepId != moving.stepId ||
        before.taskId != moving.taskId)
        return line.fail(QStringLiteral("%1 is not a node of the same step or task as %2")
                             .arg(before.id, moving.id));
    const QJsonObject parentObject{{QStringLiteral("stepId"), moving.stepId},
                                   {QStringLiteral("taskId"), plan.modelId(moving.taskId)}};
    plan.data().orderStepOrTask(
        moving.id, before.id,
        QString::fromUtf8(QJsonDocument(parentObject).toJson(QJsonDocument::Compact)), 1);
    return saveAndReport(line, plan);
}

int runDeleteItemCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("delete-item"),
                        QStringLiteral("Deletes a node, a task or a step, or empties a task or a "
                                       "step. Local resource files stay on disk."));
    addPlanArgument(line, PlanFile::Editable);
    line.addPositional(QStringLiteral("ID"), QStringLiteral("The node, task or step."));
    line.addOption(QStringLiteral("kind"),
                   QStringLiteral("node, task, step, empty-task or empty-step (default: delete "
                                  "whatever ID names)."),
                   QStringLiteral("KIND"));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 2, 2, &exitCode))
        return exitCode;

    // The deletion kinds of the model, 1 to 5, and the record each one needs.
    const QStringList kindNames = {QStringLiteral("node"), QStringLiteral("task"),
                                   QStringLiteral("step"), QStringLiteral("empty-task"),
                                   QStringLiteral("empty-step")};
    const RecordLocation::Kind kindNeeds[] = {RecordLocation::Node, RecordLocation::Task,
                                              RecordLocation::Step, RecordLocation::Task,
                                              RecordLocation::Step};
    int chosen = kindNames.indexOf(line.value(QStringLiteral("kind")));
    if (line.isSet(QStringLiteral("kind")) && chosen < 0)
        return line.usageError(
            QStringLiteral("unknown kind \"%1\"").arg(line.value(QStringLiteral("kind"))));

    PlanFile plan;
    RecordLocation record;
    if (!openPlanAndRecord(line, &plan, &record, &exitCode,
                           chosen < 0 ? RecordLocation::Missing : kindNeeds[chosen]))
        return exitCode;
    if (chosen < 0) // the node, task or step that the id names
        chosen = int(std::find(kindNeeds, kindNeeds + 3, record.kind) - kindNeeds);
    if (!plan.data().deleteStepOrTask(plan.modelId(record.id), chosen + 1))
        return line.fail(QStringLiteral("cannot delete %1").arg(record.id));
    return saveAndReport(line, plan);
}
