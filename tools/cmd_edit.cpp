#include "cliutil.h"
#include "commands.h"
#include "planfiles.h"

#include <QFile>
#include <QJsonDocument>

namespace {

const int kGroupInquiry = 32;

QString groupInquiryName()
{
    return QStringLiteral("分组探究");
}

// Looks id up in the plan; prints the failure and returns false when it names nothing or
// more than one record.
bool locateRecord(const SubcommandLine &line, const PlanFile &plan, const QString &id,
                  RecordLocation *location, int *exitCode)
{
    *location = plan.locate(id);
    if (location->kind == RecordLocation::Missing) {
        *exitCode = line.fail(QStringLiteral("unknown identifier: %1").arg(id));
        return false;
    }
    if (location->kind == RecordLocation::Ambiguous) {
        *exitCode =
            line.fail(QStringLiteral("the identifier %1 names more than one record").arg(id));
        return false;
    }
    return true;
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

// Locates id and insists that it names a record of the given kind.
bool locateKind(const SubcommandLine &line, const PlanFile &plan, const QString &id,
                RecordLocation::Kind kind, RecordLocation *location, int *exitCode)
{
    if (!locateRecord(line, plan, id, location, exitCode))
        return false;
    if (location->kind != kind) {
        *exitCode = line.fail(QStringLiteral("%1 names %2, not %3")
                                  .arg(id, kindName(location->kind), kindName(kind)));
        return false;
    }
    return true;
}

// The first identifier of the given kind that the plan has gained since before.
QString addedRecord(const PlanFile &plan, const QStringList &before, RecordLocation::Kind kind)
{
    for (const QString &id : addedIdentifiers(before, plan.identifiers())) {
        if (plan.locate(id).kind == kind)
            return id;
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

QCommandLineOption valueOption(const QString &name, const QString &description,
                               const QString &valueName)
{
    return QCommandLineOption(name, description, valueName);
}

// A light check of web-editor node JSON, so that a mistake gets a message that names it.
// The model decides in the end whether it takes the node.
QString nodeJsonProblem(const QString &text)
{
    QJsonParseError parseError;
    const QJsonDocument parsed = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return QStringLiteral("bad node JSON: %1 at offset %2")
            .arg(parseError.errorString())
            .arg(parseError.offset);
    if (!parsed.isObject())
        return QStringLiteral("bad node JSON: not an object");
    const QJsonObject node = parsed.object();
    const QStringList kinds = {QStringLiteral("file"), QStringLiteral("question"),
                               QStringLiteral("paper"), QStringLiteral("subjectApp"),
                               QStringLiteral("ebook")};
    if (!kinds.contains(node.value(QStringLiteral("nodeType")).toString()))
        return QStringLiteral("bad node JSON: \"nodeType\" must be one of %1")
            .arg(kinds.join(QStringLiteral(", ")));
    if (!node.value(QStringLiteral("nodeContent")).isObject())
        return QStringLiteral("bad node JSON: \"nodeContent\" must be an object");
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
    line.addOption(valueOption(QStringLiteral("type"),
                               QStringLiteral("The step type: its name, code or English alias "
                                              "(required)."),
                               QStringLiteral("TYPE")));
    line.addOption(valueOption(QStringLiteral("name"),
                               QStringLiteral("The step's name (default: the type's name)."),
                               QStringLiteral("NAME")));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 1, 1, &exitCode, {QStringLiteral("type")}))
        return exitCode;
    const QString typeName = stepTypeNameFromArgument(line.value(QStringLiteral("type")));
    if (typeName.isEmpty())
        return line.usageError(QStringLiteral("unknown step type \"%1\"; use one of %2")
                                   .arg(line.value(QStringLiteral("type")), stepTypeList()));
    const QString name =
        line.isSet(QStringLiteral("name")) ? line.value(QStringLiteral("name")) : typeName;

    PlanFile plan;
    if (!openPlanArgument(line, 0, PlanFile::Editable, &plan, &exitCode))
        return exitCode;
    const QStringList before = plan.identifiers();
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
    line.addOption(valueOption(QStringLiteral("name"),
                               QStringLiteral("The task's name (required)."),
                               QStringLiteral("NAME")));
    line.addOption(valueOption(QStringLiteral("desc"), QStringLiteral("The task's description."),
                               QStringLiteral("TEXT")));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 2, 2, &exitCode, {QStringLiteral("name")}))
        return exitCode;

    PlanFile plan;
    RecordLocation step;
    if (!openPlanArgument(line, 0, PlanFile::Editable, &plan, &exitCode) ||
        !locateKind(line, plan, line.positionals().at(1), RecordLocation::Step, &step, &exitCode))
        return exitCode;
    if (step.stepType != kGroupInquiry)
        return line.fail(QStringLiteral("step %1 is not a %2 step; only those hold tasks")
                             .arg(step.stepId, groupInquiryName()));
    const QString name = line.value(QStringLiteral("name"));
    const QStringList before = plan.identifiers();
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
    line.addOption(valueOption(QStringLiteral("task"),
                               QStringLiteral("The task of a %1 step that gets the node "
                                              "(required for such a step).")
                                   .arg(groupInquiryName()),
                               QStringLiteral("TASK_ID")));
    line.addOption(valueOption(QStringLiteral("json"), QStringLiteral("The node JSON."),
                               QStringLiteral("TEXT")));
    line.addOption(valueOption(QStringLiteral("file"),
                               QStringLiteral("A file holding the node JSON."),
                               QStringLiteral("FILE")));
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
    if (!openPlanArgument(line, 0, PlanFile::Editable, &plan, &exitCode) ||
        !locateKind(line, plan, line.positionals().at(1), RecordLocation::Step, &step, &exitCode))
        return exitCode;
    QString taskId;
    if (line.isSet(QStringLiteral("task"))) {
        RecordLocation task;
        if (!locateKind(line, plan, line.value(QStringLiteral("task")), RecordLocation::Task, &task,
                        &exitCode))
            return exitCode;
        if (task.stepId != step.stepId)
            return line.fail(
                QStringLiteral("task %1 does not lie in step %2").arg(task.taskId, step.stepId));
        taskId = plan.modelId(task.taskId);
    } else if (step.stepType == kGroupInquiry) {
        // The document keeps only the tasks of such a step; a node of its own would be lost.
        return line.fail(QStringLiteral("step %1 is a %2 step: name one of its tasks with --task")
                             .arg(step.stepId, groupInquiryName()));
    }

    const QStringList before = plan.identifiers();
    const bool appended = plan.data().appendNode(step.stepId, taskId, nodeJson);
    const QString nodeId = addedRecord(plan, before, RecordLocation::Node);
    if (!appended || nodeId.isEmpty())
        return line.fail(
            QStringLiteral("the node was not added: the %1 already holds this "
                           "resource, or its content was refused")
                .arg(taskId.isEmpty() ? QStringLiteral("step") : QStringLiteral("task")));
    return saveAndReport(line, plan, nodeId);
}

int runRenameCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("rename"),
                        QStringLiteral("Renames a step, or renames a task and sets its "
                                       "description."));
    addPlanArgument(line, PlanFile::Editable);
    line.addPositional(QStringLiteral("ID"), QStringLiteral("The step or task."));
    line.addOption(valueOption(QStringLiteral("name"), QStringLiteral("The new name."),
                               QStringLiteral("NAME")));
    line.addOption(valueOption(QStringLiteral("desc"),
                               QStringLiteral("The task's new description (tasks only; kept "
                                              "when not given)."),
                               QStringLiteral("TEXT")));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 2, 2, &exitCode))
        return exitCode;
    if (!line.isSet(QStringLiteral("name")) && !line.isSet(QStringLiteral("desc")))
        return line.usageError(QStringLiteral("give --name, --desc or both"));

    PlanFile plan;
    RecordLocation record;
    const QString id = line.positionals().at(1);
    if (!openPlanArgument(line, 0, PlanFile::Editable, &plan, &exitCode) ||
        !locateRecord(line, plan, id, &record, &exitCode))
        return exitCode;
    const QString name =
        line.isSet(QStringLiteral("name")) ? line.value(QStringLiteral("name")) : record.name;
    if (record.kind == RecordLocation::Step) {
        if (line.isSet(QStringLiteral("desc")))
            return line.usageError(QStringLiteral("--desc applies to tasks; %1 is a step").arg(id));
        plan.data().renameStepOrTask(record.stepId, QString(), name, QString());
    } else if (record.kind == RecordLocation::Task) {
        const QString desc = line.isSet(QStringLiteral("desc")) ? line.value(QStringLiteral("desc"))
                                                                : record.taskDesc;
        plan.data().renameStepOrTask(record.stepId, plan.modelId(record.taskId), name, desc);
    } else {
        return line.fail(
            QStringLiteral("%1 names a node; only steps and tasks are renamed").arg(id));
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
    line.addOption(valueOption(QStringLiteral("before"),
                               QStringLiteral("The step or node it goes before (required)."),
                               QStringLiteral("ID")));
    line.addOption(valueOption(QStringLiteral("parent"),
                               QStringLiteral("For a node: the step it lies in (checked when "
                                              "given)."),
                               QStringLiteral("STEP_ID")));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 2, 2, &exitCode, {QStringLiteral("before")}))
        return exitCode;

    PlanFile plan;
    RecordLocation moving;
    RecordLocation before;
    const QString movingId = line.positionals().at(1);
    const QString beforeId = line.value(QStringLiteral("before"));
    if (!openPlanArgument(line, 0, PlanFile::Editable, &plan, &exitCode) ||
        !locateRecord(line, plan, movingId, &moving, &exitCode) ||
        !locateRecord(line, plan, beforeId, &before, &exitCode))
        return exitCode;

    if (moving.kind == RecordLocation::Step) {
        if (line.isSet(QStringLiteral("parent")))
            return line.usageError(
                QStringLiteral("--parent applies to nodes; %1 is a step").arg(movingId));
        if (before.kind != RecordLocation::Step)
            return line.fail(
                QStringLiteral("%1 names %2, not a step").arg(beforeId, kindName(before.kind)));
        plan.data().orderStepOrTask(movingId, beforeId, QString(), 2);
        return saveAndReport(line, plan);
    }
    if (moving.kind != RecordLocation::Node)
        return line.fail(
            QStringLiteral("%1 names a task; only steps and nodes are moved").arg(movingId));
    if (line.isSet(QStringLiteral("parent")) &&
        line.value(QStringLiteral("parent")) != moving.stepId)
        return line.fail(QStringLiteral("node %1 does not lie in step %2")
                             .arg(movingId, line.value(QStringLiteral("parent"))));
    if (before.kind != RecordLocation::Node || before.stepId != moving.stepId ||
        before.taskId != moving.taskId)
        return line.fail(QStringLiteral("%1 is not a node of the same step or task as %2")
                             .arg(beforeId, movingId));
    QJsonObject parent;
    parent.insert(QStringLiteral("stepId"), moving.stepId);
    parent.insert(QStringLiteral("taskId"), plan.modelId(moving.taskId));
    plan.data().orderStepOrTask(
        movingId, beforeId, QString::fromUtf8(QJsonDocument(parent).toJson(QJsonDocument::Compact)),
        1);
    return saveAndReport(line, plan);
}

int runDeleteCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("delete"),
                        QStringLiteral("Deletes a node, a task or a step, or empties a task or a "
                                       "step. Local resource files stay on disk."));
    addPlanArgument(line, PlanFile::Editable);
    line.addPositional(QStringLiteral("ID"), QStringLiteral("The node, task or step."));
    line.addOption(valueOption(QStringLiteral("kind"),
                               QStringLiteral("node, task, step, empty-task or empty-step "
                                              "(default: delete whatever ID names)."),
                               QStringLiteral("KIND")));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 2, 2, &exitCode))
        return exitCode;

    struct DeleteKind
    {
        QString name;
        RecordLocation::Kind names;
        int code; // deletion kind of the model
    };
    const QVector<DeleteKind> kinds = {
        {QStringLiteral("node"), RecordLocation::Node, 1},
        {QStringLiteral("task"), RecordLocation::Task, 2},
        {QStringLiteral("step"), RecordLocation::Step, 3},
        {QStringLiteral("empty-task"), RecordLocation::Task, 4},
        {QStringLiteral("empty-step"), RecordLocation::Step, 5},
    };
    const QString kindArgument = line.value(QStringLiteral("kind"));
    const auto chosen = std::find_if(kinds.cbegin(), kinds.cend(), [&](const DeleteKind &kind) {
        return kind.name == kindArgument;
    });
    if (line.isSet(QStringLiteral("kind")) && chosen == kinds.cend())
        return line.usageError(QStringLiteral("unknown kind \"%1\"").arg(kindArgument));

    PlanFile plan;
    RecordLocation record;
    const QString id = line.positionals().at(1);
    if (!openPlanArgument(line, 0, PlanFile::Editable, &plan, &exitCode) ||
        !locateRecord(line, plan, id, &record, &exitCode))
        return exitCode;
    int code = 0;
    if (chosen != kinds.cend()) {
        if (chosen->names != record.kind)
            return line.fail(
                QStringLiteral("%1 names %2; --kind %3 needs %4")
                    .arg(id, kindName(record.kind), chosen->name, kindName(chosen->names)));
        code = chosen->code;
    } else {
        code = std::find_if(kinds.cbegin(), kinds.cend(), [&](const DeleteKind &kind) {
                   return kind.names == record.kind;
               })->code;
    }
    if (!plan.data().deleteStepOrTask(plan.modelId(id), code))
        return line.fail(QStringLiteral("cannot delete %1").arg(id));
    return saveAndReport(line, plan);
}
