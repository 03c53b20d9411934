// The document teachpkg.json: the writer (tree -> text), the reader (text -> tree) and the
// content encodings of the five node kinds, with the transfer records that reading produces.

#include "plandata/plandatalog.h"
#include "plandata/plandatautil.h"
#include "plandata/planpaths.h"
#include "plandata/yrplandata.h"

#include <QJsonDocument>

#include <algorithm>

namespace {

// Documents from older writers may carry a number where a text belongs, or the reverse;
// such members read as 0 rather than failing the whole document.
QString idFromJson(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(YRPlanDataUtil::jsonInt64(value));
    return QString();
}

} // namespace

bool YRPlanData::localToJsonFile()
{
    const QJsonObject description = descriptionObject();
    QJsonArray stepArray;
    int position = 0;
    for (const TPStep *step : qAsConst(steps)) {
        const QString typeName = stepTypeIntToStr(step->stepType);
        if (typeName.isEmpty())
            return false;
        QJsonObject stepAttr;
        stepAttr.insert(QStringLiteral("stepId"), step->id);
        stepAttr.insert(QStringLiteral("stepName"), step->name);
        stepAttr.insert(QStringLiteral("stepOrder"), position++);
        stepAttr.insert(QStringLiteral("stepType"), typeName);
        QJsonObject stepObject;
        stepObject.insert(QStringLiteral("attr"), stepAttr);
        QJsonArray children;
        if (step->stepType == TPST_GroupInquiry) {
            writeTask(children, step->tasks);
            stepObject.insert(QStringLiteral("tasks"), children);
        } else {
            writeNode(children, step->nodes);
            stepObject.insert(QStringLiteral("nodes"), children);
        }
        stepArray.append(stepObject);
    }
    QJsonObject root;
    root.insert(QStringLiteral("description"), description);
    root.insert(QStringLiteral("steps"), stepArray);
    documentText = QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
    return true;
}

QJsonObject YRPlanData::descriptionObject()
{
    if (attr.strGUID.isEmpty())
        attr.strGUID = createGUID();
    attr.iStepCount = getTeachingPlanStepCount();
    QJsonObject description;
    description.insert(QStringLiteral("name"), attr.strName);
    description.insert(QStringLiteral("GUID"), attr.strGUID);
    description.insert(QStringLiteral("documentVersion"), attr.strDocumentVersion);
    description.insert(QStringLiteral("createTime"), attr.iCreateTime);
    description.insert(QStringLiteral("updateTime"), attr.iUpdateTime);
    description.insert(QStringLiteral("authorId"), attr.iAuthorId);
    description.insert(QStringLiteral("stepCount"), attr.iStepCount);
    description.insert(QStringLiteral("introspection"), attr.strIntrospection);
    description.insert(QStringLiteral("board"), attr.iBoardId);
    return description;
}

bool YRPlanData::writeTask(QJsonArray &out, const QVector<TPStepTask *> &tasks)
{
    int position = 0;
    for (const TPStepTask *task : tasks) {
        QJsonArray nodes;
        writeNode(nodes, task->nodes);
        QJsonObject taskObject;
        taskObject.insert(QStringLiteral("taskId"), task->id);
        taskObject.insert(QStringLiteral("taskName"), task->name);
        taskObject.insert(QStringLiteral("taskOrder"), position++);
        taskObject.insert(QStringLiteral("taskDesc"), task->taskDesc);
        taskObject.insert(QStringLiteral("nodes"), nodes);
        out.append(taskObject);
    }
    return true;
}

bool YRPlanData::writeNode(QJsonArray &out, const QVector<TPStepNode *> &nodes)
{
    int position = -1;
    for (const TPStepNode *node : nodes) {
        ++position; // a node left out still takes its place in the numbering
        const QString typeName = YRPlanDataUtil::nodeTypeName(node->nodeType);
        if (typeName.isEmpty())
            continue;
        QJsonObject content;
        bool written = false;
        switch (node->nodeType) {
        case TPNT_File:
            written = writeFileContent(content, node);
            break;
        case TPNT_Question:
            written = writeQuestionContent(content, node);
            break;
        case TPNT_Paper:
            written = writePaperContent(content, node);
            break;
        case TPNT_SubjectApp:
            written = writeSubjectAppContent(content, node);
            break;
        case TPNT_Ebook:
            written = writeEbookContent(content, node);
            break;
        }
        QJsonObject nodeObject;
        nodeObject.insert(QStringLiteral("nodeId"), node->id);
        nodeObject.insert(QStringLiteral("nodeType"), typeName);
        nodeObject.insert(QStringLiteral("nodeOrder"), position);
        nodeObject.insert(QStringLiteral("nodeContent"), written ? content : QJsonObject());
        out.append(nodeObject);
    }
    return true;
}

bool YRPlanData::jsonFileToLocal()
{
    return readDocument(documentText.toUtf8());
}

bool YRPlanData::readDocument(const QByteArray &utf8)
{
    const QJsonObject root = QJsonDocument::fromJson(utf8).object();
    const QJsonValue descriptionValue = root.value(QLatin1String("description"));
    const QJsonObject description = descriptionValue.toObject();
    if (!descriptionValue.isObject() || description.isEmpty()) {
        qCDebug(lcPlanData).noquote() << "YRPlanData::jsonFileToLocal"
                                      << "The file has error!";
        return false;
    }

    if (description.contains(QLatin1String("documentVersion")))
        attr.strDocumentVersion = description.value(QLatin1String("documentVersion")).toString();
    bool isNumber = false;
    const int versionNumber = attr.strDocumentVersion.toInt(&isNumber);
    if (attr.strDocumentVersion.isEmpty() || (isNumber && versionNumber == 4) ||
        attr.strDocumentVersion == QLatin1String("4.0")) {
        attr.strName = getNameFromConfigFile();
        attr.strDocumentVersion = QStringLiteral("4.0");
    } else if ((isNumber && versionNumber == 5) ||
               attr.strDocumentVersion == QLatin1String("5.0")) {
        if (description.contains(QLatin1String("name")))
            attr.strName = description.value(QLatin1String("name")).toString();
        attr.strDocumentVersion = QStringLiteral("5.0");
    } else {
        return false;
    }

    // Times are 64-bit: a 32-bit read would turn every time after January 2038 into 0.
    if (description.contains(QLatin1String("createTime")))
        attr.iCreateTime =
            YRPlanDataUtil::jsonInt64(description.value(QLatin1String("createTime")));
    if (description.contains(QLatin1String("updateTime")))
        attr.iUpdateTime =
            YRPlanDataUtil::jsonInt64(description.value(QLatin1String("updateTime")));
    if (description.contains(QLatin1String("authorId")))
        attr.iAuthorId = description.value(QLatin1String("authorId")).toString();
    if (description.contains(QLatin1String("stepCount")))
        attr.iStepCount = description.value(QLatin1String("stepCount")).toInt();
    if (description.contains(QLatin1String("introspection")))
        attr.strIntrospection = description.value(QLatin1String("introspection")).toString();
    if (description.contains(QLatin1String("board")))
        attr.iBoardId = description.value(QLatin1String("board")).toInt();

    const QJsonArray stepArray = root.value(QLatin1String("steps")).toArray();
    for (const QJsonValue &stepValue : stepArray) {
        const QJsonObject stepObject = stepValue.toObject();
        const QJsonObject stepAttr = stepObject.value(QLatin1String("attr")).toObject();
        auto step = std::make_unique<TPStep>();
        step->name = stepAttr.value(QLatin1String("stepName")).toString();
        step->stepType = stepTypeStrToInt(stepAttr.value(QLatin1String("stepType")).toString());
        step->id = stepAttr.contains(QLatin1String("stepId"))
                       ? idFromJson(stepAttr.value(QLatin1String("stepId")))
                       : createGUID();
        step->order = stepAttr.value(QLatin1String("stepOrder")).toInt();
        readNodeList(stepObject.value(QLatin1String("nodes")).toArray(), step->nodes);
        readTask(stepObject.value(QLatin1String("tasks")).toArray(), step->tasks);
        nodeMap.insert(step->id, step.get());
        steps.append(step.release());
    }
    return true;
}

bool YRPlanData::readTask(const QJsonArray &in, QVector<TPStepTask *> &tasks)
{
    for (const QJsonValue &taskValue : in) {
        const QJsonObject taskObject = taskValue.toObject();
        auto task = std::make_unique<TPStepTask>();
        task->id = createGUID();
        if (taskObject.contains(QLatin1String("taskName")))
            task->name = taskObject.value(QLatin1String("taskName")).toString();
        if (taskObject.contains(QLatin1String("taskOrder")))
            task->order = taskObject.value(QLatin1String("taskOrder")).toInt();
        if (taskObject.contains(QLatin1String("taskDesc")))
            task->taskDesc = taskObject.value(QLatin1String("taskDesc")).toString();
        if (taskObject.contains(QLatin1String("nodes")))
            readNodeList(taskObject.value(QLatin1String("nodes")).toArray(), task->nodes);
        nodeMap.insert(task->id, task.get());
        tasks.append(task.release());
    }
    std::stable_sort(tasks.begin(), tasks.end(), lessThan);
    return true;
}

void YRPlanData::readNodeList(const QJsonArray &in, QVector<TPStepNode *> &nodes)
{
    for (const QJsonValue &nodeValue : in) {
        std::unique_ptr<TPStepNode> node;
        if (readNode(nodeValue.toObject(), node))
            nodes.append(node.release());
    }
    std::stable_sort(nodes.begin(), nodes.end(), lessThan);
}

bool YRPlanData::readNode(const QJsonObject &in, std::unique_ptr<TPStepNode> &node)
{
    if (!in.contains(QLatin1String("nodeType")) || !in.contains(QLatin1String("nodeContent")))
        return false;
    std::unique_ptr<TPStepNode> record =
        YRPlanDataUtil::createNodeRecord(in.value(QLatin1String("nodeType")).toString());
    if (!record) {
        qCDebug(lcPlanData).noquote() << "type error!!!!!!!";
        return false;
    }
    record->id = in.contains(QLatin1String("nodeId")) ? in.value(QLatin1String("nodeId")).toString()
                                                      : createGUID();
    nodeMap.insert(record->id, record.get());

    const QJsonObject content = in.value(QLatin1String("nodeContent")).toObject();
    switch (record->nodeType) {
    case TPNT_File:
        readFileContent(content, record.get());
        break;
    case TPNT_Question:
        readQuestionContent(content, record.get());
        break;
    case TPNT_Paper:
        readPaperContent(content, record.get());
        break;
    case TPNT_SubjectApp:
        readSubjectAppContent(content, record.get());
        break;
    case TPNT_Ebook:
        readEbookContent(content, record.get());
        break;
    }
    record->order =
        in.contains(QLatin1String("nodeOrder")) ? in.value(QLatin1String("nodeOrder")).toInt() : -1;
    node = std::move(record);
    return true;
}

// A strict ordering: std::stable_sort needs one, and "less or equal" is not. Equal orders
// keep their document order.
bool YRPlanData::lessThan(const ITPNode *a, const ITPNode *b)
{
    return a->order < b->order;
}

int YRPlanData::stepTypeStrToInt(const QString &name) const
{
    if (name == tr("内容精讲"))
        return TPST_ContentExplanation;
    if (name == tr("情境导入") || name == tr("情景导入"))
        return TPST_SceneIntroduction;
    if (name == tr("同步习题"))
        return TPST_Exercises;
    if (name == tr("随堂测试"))
        return TPST_Test;
    if (name == tr("分组竞赛"))
        return TPST_GroupCompetition;
    if (name == tr("分组探究"))
        return TPST_GroupInquiry;
    if (name == tr("自定义"))
        return TPST_Custom;
    return TPST_Unknown;
}

QString YRPlanData::stepTypeIntToStr(int stepType) const
{
    switch (stepType) {
    case TPST_SceneIntroduction:
        return tr("情景导入");
    case TPST_ContentExplanation:
        return tr("内容精讲");
    case TPST_Exercises:
        return tr("同步习题");
    case TPST_Test:
        return tr("随堂测试");
    case TPST_GroupCompetition:
        return tr("分组竞赛");
    case TPST_GroupInquiry:
        return tr("分组探究");
    case TPST_Custom:
        return tr("自定义");
    }
    return QString();
}

// ---- content readers ----

bool YRPlanData::readFileContent(const QJsonObject &content, TPStepNode *node)
{
    auto *file = dynamic_cast<NodeFileContent *>(node);
    if (!file)
        return false;
    file->cloudPath = content.value(QLatin1String("cloudPath")).toString();
    file->cloudThumb = content.value(QLatin1String("cloudThumb")).toString();
    file->fileCloudSource = content.value(QLatin1String("fileCloudSource")).toString();
    file->fileMD5 = content.value(QLatin1String("fileMD5")).toString();
    file->name = content.value(QLatin1String("fileName")).toString();
    file->fileSize = content.value(QLatin1String("fileSize")).toString();
    file->fileType = content.value(QLatin1String("fileType")).toString();
    file->isTranslate = content.value(QLatin1String("isTranslate")).toInt();
    file->localPath = content.value(QLatin1String("localPath")).toString();
    file->localThumb = content.value(QLatin1String("localThumb")).toString();
    packageFileInfoData(jsonFiles, file);
    return true;
}

bool YRPlanData::readQuestionContent(const QJsonObject &content, TPStepNode *node)
{
    auto *question = dynamic_cast<NodeQuestionContent *>(node);
    if (!question)
        return false;
    question->name = content.value(QLatin1String("chName")).toString();
    question->fileCloudSource = content.value(QLatin1String("fileCloudSource")).toString();
    question->isTranslate = content.value(QLatin1String("isTranslate")).toInt();
    question->localPath = content.value(QLatin1String("localPath")).toString();
    question->questionId = content.value(QLatin1String("questionId")).toString();
    question->questionType = content.value(QLatin1String("questionType")).toString();
    const QJsonArray images = content.value(QLatin1String("questionImg")).toArray();
    for (const QJsonValue &image : images)
        question->questionImg.append(image.toString());

    QJsonObject record;
    record.insert(QStringLiteral("questionId"), question->questionId);
    record.insert(QStringLiteral("questionType"), question->questionType);
    record.insert(QStringLiteral("localPath"), question->localPath);
    record.insert(QStringLiteral("nodeId"), question->id);
    queueRecord(jsonQuestions, record, question->localPath, question->id);
    return true;
}

bool YRPlanData::readPaperContent(const QJsonObject &content, TPStepNode *node)
{
    auto *paper = dynamic_cast<NodePaperContent *>(node);
    if (!paper)
        return false;
    paper->paperId = content.value(QLatin1String("paperId")).toString();
    paper->name = content.value(QLatin1String("paperName")).toString();
    return true;
}

bool YRPlanData::readSubjectAppContent(const QJsonObject &content, TPStepNode *node)
{
    auto *app = dynamic_cast<NodeSubjectAppContent *>(node);
    if (!app)
        return false;
    app->appBundleId = content.value(QLatin1String("appBundleId")).toString();
    app->appClassName = content.value(QLatin1String("appClassName")).toString();
    app->name = content.value(QLatin1String("appName")).toString();
    app->cloudThumb = content.value(QLatin1String("cloudThumb")).toString();
    app->fileCloudSource = content.value(QLatin1String("fileCloudSource")).toString();
    app->localThumb = content.value(QLatin1String("localThumb")).toString();
    queueRecord(jsonFiles,
                YRPlanDataUtil::transferRecord(app->fileCloudSource, app->cloudThumb,
                                               QStringLiteral("fileThumb"), app->localThumb,
                                               app->id),
                app->localThumb, app->id);
    return true;
}

bool YRPlanData::readEbookContent(const QJsonObject &content, TPStepNode *node)
{
    auto *page = dynamic_cast<NodeEbookContent *>(node);
    if (!page)
        return false;
    page->bookId = content.value(QLatin1String("bookId")).toString();
    page->bookType = content.value(QLatin1String("bookType")).toString();
    page->cloudPath = content.value(QLatin1String("cloudPath")).toString();
    page->cloudThumb = content.value(QLatin1String("cloudThumb")).toString();
    page->fileCloudSource = content.value(QLatin1String("fileCloudSource")).toString();
    page->localPath = content.value(QLatin1String("localPath")).toString();
    page->localThumb = content.value(QLatin1String("localThumb")).toString();
    page->page = content.value(QLatin1String("page")).toInt();
    page->name = content.value(QLatin1String("pageName")).toString();
    queueEbookRecords(page);
    return true;
}

void YRPlanData::queueEbookRecords(const NodeEbookContent *page)
{
    const QString type = QStringLiteral("ebook");
    queueRecord(jsonFiles,
                YRPlanDataUtil::transferRecord(page->fileCloudSource, page->cloudPath, type,
                                               page->localPath, page->id),
                page->localPath, page->id);
    queueRecord(jsonFiles,
                YRPlanDataUtil::transferRecord(page->fileCloudSource, page->cloudThumb, type,
                                               page->localThumb, page->id),
                page->localThumb, page->id);
}

// ---- content writers ----

bool YRPlanData::writeFileContent(QJsonObject &content, const TPStepNode *node)
{
    const auto *file = dynamic_cast<const NodeFileContent *>(node);
    if (!file)
        return false;
    content.insert(QStringLiteral("cloudPath"), file->cloudPath);
    if (!file->cloudThumb.isEmpty())
        content.insert(QStringLiteral("cloudThumb"), file->cloudThumb);
    content.insert(QStringLiteral("fileCloudSource"), file->fileCloudSource);
    content.insert(QStringLiteral("fileMD5"), file->fileMD5);
    content.insert(QStringLiteral("fileName"), file->name);
    content.insert(QStringLiteral("fileSize"), file->fileSize);
    content.insert(QStringLiteral("fileType"), file->fileType);
    content.insert(QStringLiteral("isTranslate"), file->isTranslate);
    content.insert(QStringLiteral("localPath"), file->localPath);
    if (!file->localThumb.isEmpty())
        content.insert(QStringLiteral("localThumb"), file->localThumb);
    return true;
}

bool YRPlanData::writeQuestionContent(QJsonObject &content, const TPStepNode *node)
{
    const auto *question = dynamic_cast<const NodeQuestionContent *>(node);
    if (!question)
        return false;
    content.insert(QStringLiteral("chName"), question->name);
    content.insert(QStringLiteral("localPath"), question->localPath);
    content.insert(QStringLiteral("questionId"), question->questionId);
    content.insert(QStringLiteral("questionImg"),
                   QJsonArray::fromStringList(question->questionImg));
    content.insert(QStringLiteral("questionType"), question->questionType);
    return true;
}

bool YRPlanData::writePaperContent(QJsonObject &content, const TPStepNode *node)
{
    const auto *paper = dynamic_cast<const NodePaperContent *>(node);
    if (!paper)
        return false;
    content.insert(QStringLiteral("paperId"), paper->paperId);
    content.insert(QStringLiteral("paperName"), paper->name);
    return true;
}

bool YRPlanData::writeSubjectAppContent(QJsonObject &content, const TPStepNode *node)
{
    const auto *app = dynamic_cast<const NodeSubjectAppContent *>(node);
    if (!app)
        return false;
    content.insert(QStringLiteral("appBundleId"), app->appBundleId);
    content.insert(QStringLiteral("appClassName"), app->appClassName);
    content.insert(QStringLiteral("appName"), app->name);
    content.insert(QStringLiteral("cloudThumb"), app->cloudThumb);
    content.insert(QStringLiteral("fileCloudSource"), app->fileCloudSource);
    content.insert(QStringLiteral("localThumb"), app->localThumb);
    return true;
}

bool YRPlanData::writeEbookContent(QJsonObject &content, const TPStepNode *node)
{
    const auto *page = dynamic_cast<const NodeEbookContent *>(node);
    if (!page)
        return false;
    content.insert(QStringLiteral("bookId"), page->bookId);
    content.insert(QStringLiteral("bookType"), page->bookType);
    content.insert(QStringLiteral("cloudPath"), page->cloudPath);
    content.insert(QStringLiteral("cloudThumb"), page->cloudThumb);
    content.insert(QStringLiteral("fileCloudSource"), page->fileCloudSource);
    content.insert(QStringLiteral("localPath"), page->localPath);
    content.insert(QStringLiteral("localThumb"), page->localThumb);
    content.insert(QStringLiteral("page"), page->page);
    content.insert(QStringLiteral("pageName"), page->name);
    return true;
}

// ---- transfer and question records ----

void YRPlanData::queueRecord(QVector<QJsonObject> &list, QJsonObject record,
                             const QString &localPath, const QString &nodeId) const
{
    QString dest;
    if (teachingPlanDir.isEmpty()) {
        // Without a plan directory "dest" would be a path at the top of the file system.
        qCDebug(lcPlanData).noquote() << "YRPlanData::queueRecord"
                                      << "no plan directory, not queued:" << localPath;
        return;
    }
    if (!YRPlanPaths::planFilePath(teachingPlanDir, localPath, &dest)) {
        qCWarning(lcPlanData).noquote() << "YRPlanData::queueRecord"
                                        << "local path leaves the plan directory, not queued:"
                                        << "node" << nodeId << "path" << localPath;
        return;
    }
    record.insert(QStringLiteral("dest"), dest);
    list.append(record);
}
