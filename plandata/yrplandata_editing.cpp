// Editing of the plan tree: every change ends with a commit (stamp the update time, regenerate
// the document text) unless the operation says otherwise.

#include "plandata/plandatautil_p.h"
#include "plandata/yrplandata.h"

#include <QDateTime>
#include <QJsonDocument>

namespace {

bool isPlanFile(const TPStepNode *node)
{
    const auto *file = dynamic_cast<const NodeFileContent *>(node);
    return file &&
           (file->fileType == QLatin1String("yrtx") || file->fileType == QLatin1String("yrt"));
}

bool containsName(const QVector<TPStepNode *> &nodes, const QString &name)
{
    return std::any_of(nodes.cbegin(), nodes.cend(),
                       [&name](const TPStepNode *node) { return node->name == name; });
}

bool namesNoTask(const QString &taskId)
{
    return taskId.isEmpty() || taskId == QLatin1String("-1");
}

template <typename Record>
int indexOfId(const QVector<Record *> &list, const QString &id)
{
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i)->id == id)
            return i;
    }
    return -1;
}

// Moves the record movingId to just before the record beforeId; nothing when either is absent.
template <typename Record>
void moveBefore(QVector<Record *> &list, const QString &movingId, const QString &beforeId)
{
    const int from = indexOfId(list, movingId);
    int to = indexOfId(list, beforeId);
    if (from < 0 || to < 0 || from == to)
        return;
    Record *moving = list.takeAt(from);
    if (to > from)
        --to;
    list.insert(to, moving);
}

} // namespace

bool YRPlanData::commit()
{
    attr.iUpdateTime = QDateTime::currentSecsSinceEpoch();
    return localToJsonFile();
}

int YRPlanData::appendNode(const QString &parentId, TPStepNode *node)
{
    // A node the tree already holds (say, appended again after a 0) would be owned twice.
    if (!node || nodeMap.value(node->id) == node)
        return TPANS_Unknown;
    ITPNode *parent = nodeMap.value(parentId);
    if (auto *task = dynamic_cast<TPStepTask *>(parent)) {
        if (isPlanFile(node))
            return TPANS_PlanFile;
        if (containsName(task->nodes, node->name))
            return TPANS_ExistFile;
        task->nodes.append(node);
    } else if (auto *step = dynamic_cast<TPStep *>(parent)) {
        if (containsName(step->nodes, node->name))
            return TPANS_ExistFile;
        step->nodes.append(node);
    } else {
        return TPANS_Unknown;
    }
    nodeMap.insert(node->id, node);
    return commit() ? TPANS_Success : TPANS_Unknown;
}

bool YRPlanData::appendNode(const QString &stepId, const QString &taskId, const QString &nodeJson)
{
    auto *step = dynamic_cast<TPStep *>(nodeMap.value(stepId));
    if (!step)
        return false;
    WebNodeContent content;
    if (!analysisNodeContent(nodeJson, content))
        return false;
    if (step->stepType == TPST_GroupInquiry && !taskId.isEmpty()) {
        TPStepTask *task = findStepTask(taskId);
        if (!task || !appendWebNode(taskId, content, task->nodes))
            return false;
    } else if (!appendWebNode(stepId, content, step->nodes)) {
        return false;
    }
    return commit();
}

bool YRPlanData::appendWebNode(const QString &parentId, WebNodeContent &content,
                               QVector<TPStepNode *> &nodes)
{
    if (existFile(nodes, content))
        return false;
    std::unique_ptr<TPStepNode> node;
    // A refused node (unknown kind, or a local path leaving the plan directory) must not be
    // reported as added.
    if (!readNode_Web(parentId, content, node))
        return false;
    nodes.append(node.release());
    return true;
}

bool YRPlanData::updateNode(TPStepNode *node)
{
    if (!node)
        return false;
    auto *stored = dynamic_cast<TPStepNode *>(nodeMap.value(node->id));
    if (!stored)
        return false;
    auto *storedFile = dynamic_cast<NodeFileContent *>(stored);
    const auto *givenFile = dynamic_cast<const NodeFileContent *>(node);
    if (stored->nodeType == TPNT_File && storedFile && givenFile && storedFile != givenFile) {
        *storedFile = *givenFile;
        // The code must keep agreeing with the record's class, or the node would be written
        // with an empty content.
        storedFile->nodeType = TPNT_File;
    }
    return commit();
}

bool YRPlanData::addStepOrTask(const QString &stepId, const QString &name,
                               const QString &stepTypeName)
{
    if (!stepId.isEmpty()) {
        auto *step = dynamic_cast<TPStep *>(nodeMap.value(stepId));
        if (!step)
            return false;
        auto task = std::make_unique<TPStepTask>();
        task->id = createGUID();
        task->name = name;
        task->order = -1;
        nodeMap.insert(task->id, task.get());
        step->tasks.append(task.release());
        return commit();
    }

    auto step = std::make_unique<TPStep>();
    step->id = createGUID();
    step->name = name;
    step->stepType = stepTypeStrToInt(stepTypeName);
    if (step->stepType == TPST_GroupInquiry) {
        auto task = std::make_unique<TPStepTask>();
        task->id = createGUID();
        task->name = tr("分组探究任务单1");
        task->order = -1;
        nodeMap.insert(task->id, task.get());
        step->tasks.append(task.release());
    }
    step->order = 0;
    nodeMap.insert(step->id, step.get());
    steps.append(step.release());
    return commit();
}

bool YRPlanData::deleteStepOrTask(const QString &id, int kind)
{
    switch (kind) {
    case 1:
        deleteNodeById(id);
        break;
    case 2:
        deleteTaskById(id, false);
        break;
    case 3:
        deleteStepById(id);
        break;
    case 4:
        deleteTaskById(id, true);
        break;
    case 5:
        emptyStepsById(id);
        break;
    default:
        break;
    }
    return commit();
}

void YRPlanData::forget(const ITPNode *record)
{
    // Only the entry that names this very record: another record may share the identifier.
    const auto entry = nodeMap.find(record->id);
    if (entry != nodeMap.end() && entry.value() == record)
        nodeMap.erase(entry);
}

void YRPlanData::deleteNodes(QVector<TPStepNode *> &nodes)
{
    for (TPStepNode *node : qAsConst(nodes)) {
        forget(node);
        delete node;
    }
    nodes.clear();
}

void YRPlanData::deleteTasks(QVector<TPStepTask *> &tasks)
{
    for (TPStepTask *task : qAsConst(tasks)) {
        deleteNodes(task->nodes);
        forget(task);
        delete task;
    }
    tasks.clear();
}

bool YRPlanData::deleteNodeById(const QString &id)
{
    const auto removeFrom = [this, &id](QVector<TPStepNode *> &nodes) {
        const int index = indexOfId(nodes, id);
        if (index < 0)
            return false;
        TPStepNode *node = nodes.takeAt(index);
        forget(node);
        delete node;
        return true;
    };
    for (TPStep *step : qAsConst(steps)) {
        if (removeFrom(step->nodes))
            return true;
        for (TPStepTask *task : qAsConst(step->tasks)) {
            if (removeFrom(task->nodes))
                return true;
        }
    }
    return false;
}

bool YRPlanData::deleteTaskById(const QString &id, bool keepTask)
{
    for (TPStep *step : qAsConst(steps)) {
        const int index = indexOfId(step->tasks, id);
        if (index < 0)
            continue;
        TPStepTask *task = step->tasks.at(index);
        deleteNodes(task->nodes);
        if (!keepTask) {
            step->tasks.remove(index);
            forget(task);
            delete task;
        }
        return true;
    }
    return false;
}

bool YRPlanData::deleteStepById(const QString &id)
{
    const int index = indexOfId(steps, id);
    if (index < 0)
        return false;
    TPStep *step = steps.takeAt(index);
    deleteNodes(step->nodes);
    deleteTasks(step->tasks);
    forget(step);
    delete step;
    return true;
}

void YRPlanData::emptyStepsById(const QString &id)
{
    for (TPStep *step : qAsConst(steps)) {
        if (step->id != id)
            continue;
        deleteNodes(step->nodes);
        deleteTasks(step->tasks);
    }
}

void YRPlanData::renameStepOrTask(const QString &stepId, const QString &taskId, const QString &name,
                                  const QString &desc)
{
    if (namesNoTask(taskId)) {
        if (auto *step = dynamic_cast<TPStep *>(nodeMap.value(stepId)))
            step->name = name;
    } else if (TPStepTask *task = findStepTask(taskId)) {
        task->name = name;
        task->taskDesc = desc;
    }
    commit();
}

void YRPlanData::orderStepOrTask(const QString &movingId, const QString &beforeId,
                                 const QString &parentJson, int kind)
{
    const QJsonObject parent = QJsonDocument::fromJson(parentJson.toUtf8()).object();
    const QString stepId = parent.value(QLatin1String("stepId")).toString();
    const QJsonValue taskValue = parent.value(QLatin1String("taskId"));
    const QString taskId = taskValue.isDouble()
                               ? QString::number(YRPlanDataUtil::jsonInt64(taskValue))
                               : taskValue.toString();
    if (kind == 2) {
        insertStep(movingId, beforeId, steps);
    } else if (kind == 1) {
        if (!namesNoTask(taskId)) {
            if (TPStepTask *task = findStepTask(taskId))
                insertNode(movingId, beforeId, task->nodes);
        } else {
            for (TPStep *step : qAsConst(steps)) {
                if (step->id == stepId)
                    insertNode(movingId, beforeId, step->nodes);
            }
        }
    }
    commit();
}

void YRPlanData::insertStep(const QString &movingId, const QString &beforeId,
                            QVector<TPStep *> &list)
{
    moveBefore(list, movingId, beforeId);
}

void YRPlanData::insertNode(const QString &movingId, const QString &beforeId,
                            QVector<TPStepNode *> &list)
{
    moveBefore(list, movingId, beforeId);
}

void YRPlanData::setNodeFileMD5(const QString &nodeId, const QString &md5)
{
    if (auto *file = dynamic_cast<NodeFileContent *>(nodeMap.value(nodeId))) {
        file->fileMD5 = md5;
        localToJsonFile();
    }
}

void YRPlanData::setNodeCloudPath(const QString &nodeId, const QString &cloudPath)
{
    if (auto *file = dynamic_cast<NodeFileContent *>(nodeMap.value(nodeId)))
        file->cloudPath = cloudPath;
}

QStringList YRPlanData::getNodeId(const QString &id)
{
    const auto idsOf = [](const QVector<TPStepNode *> &nodes) {
        QStringList ids;
        for (const TPStepNode *node : nodes)
            ids.append(node->id);
        return ids;
    };
    ITPNode *record = nodeMap.value(id);
    if (dynamic_cast<TPStepNode *>(record))
        return {id};
    if (auto *task = dynamic_cast<TPStepTask *>(record))
        return idsOf(task->nodes);
    auto *step = dynamic_cast<TPStep *>(record);
    if (!step)
        return {};
    if (step->stepType != TPST_GroupInquiry)
        return idsOf(step->nodes);
    QStringList ids;
    for (const TPStepTask *task : qAsConst(step->tasks))
        ids += idsOf(task->nodes);
    return ids;
}

TPStepTask *YRPlanData::findStepTask(const QString &taskId)
{
    return dynamic_cast<TPStepTask *>(nodeMap.value(taskId));
}
