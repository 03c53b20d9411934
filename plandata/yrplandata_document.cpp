// The document teachpkg.json: the writer (tree -> text), the reader (text -> tree) and the
// content encodings of the five node kinds, with the transfer records that reading produces.

#include "plandata/jsontextwriter_p.h"
#include "plandata/plandatalog_p.h"
#include "plandata/plandatautil_p.h"
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
    if (attr.strGUID.isEmpty())
        attr.strGUID = createGUID();
    attr.iStepCount = getTeachingPlanStepCount();
    for (const TPStep *step : qAsConst(steps)) {
        if (stepTypeIntToStr(step->stepType).isEmpty())
            return false; // the text stays as it was
    }

    QString text;
    text.reserve(qMax(documentText.size(), documentText.capacity()) + 4096);
    JsonTextWriter writer(text);
    writer.beginObject();
    writer.key(QLatin1String("description"));
    writeDescription(writer);
    writer.key(QLatin1String("steps"));
    writer.beginArray();
    int position = 0;
    for (const TPStep *step : qAsConst(steps)) {
        writer.beginObject();
        writer.key(QLatin1String("attr"));
        writer.beginObject();
        writer.member("stepId", step->id);
        writer.member("stepName", step->name);
        writer.member("stepOrder", position++);
        writer.member("stepType", stepTypeIntToStr(step->stepType));
        writer.endObject();
        if (step->stepType == TPST_GroupInquiry) {
            writer.key(QLatin1String("tasks"));
            writeTask(writer, step->tasks);
        } else {
            writer.key(QLatin1String("nodes"));
            writeNode(writer, step->nodes);
        }
        writer.endObject();
    }
    writer.endArray();
    writer.endObject();
    documentText = text;
    return true;
}

void YRPlanData::writeDescription(JsonTextWriter &writer) const
{
    writer.beginObject();
    writer.member("GUID", attr.strGUID);
    writer.member("authorId", attr.iAuthorId);
    writer.member("board", attr.iBoardId);
    writer.member("createTime", attr.iCreateTime);
    writer.member("documentVersion", attr.strDocumentVersion);
    writer.member("introspection", attr.strIntrospection);
    writer.member("name", attr.strName);
    writer.member("stepCount", attr.iStepCount);
    writer.member("updateTime", attr.iUpdateTime);
    writer.endObject();
}

bool YRPlanData::writeTask(JsonTextWriter &writer, const QVector<TPStepTask *> &tasks)
{
    writer.beginArray();
    int position = 0;
    for (const TPStepTask *task : tasks) {
        writer.beginObject();
        writer.key(QLatin1String("nodes"));
        writeNode(writer, task->nodes);
        writer.member("taskDesc", task->taskDesc);
        writer.member("taskId", task->id);
        writer.member("taskName", task->name);
        writer.member("taskOrder", position++);
        writer.endObject();
    }
    writer.endArray();
    return true;
}

bool YRPlanData::writeNode(JsonTextWriter &writer, const QVector<TPStepNode *> &nodes)
{
    writer.beginArray();
    int position = -1;
    for (const TPStepNode *node : nodes) {
        ++position; // a node left out still takes its place in the numbering
        const QString typeName = YRPlanDataUtil::nodeTypeName(node->nodeType);
        if (typeName.isEmpty())
            continue;
        writer.beginObject();
        writer.key(QLatin1String("nodeContent"));
        writer.beginObject(); // stays empty when the record is not of the kind its code says
        switch (node->nodeType) {
        case TPNT_File:
            writeFileContent(writer, node);
            break;
        case TPNT_Question:
            writeQuestionContent(writer, node);
            break;
        case TPNT_Paper:
            writePaperContent(writer, node);
            break;
        case TPNT_SubjectApp:
            writeSubjectAppContent(writer, node);
            break;
        case TPNT_Ebook:
            writeEbookContent(writer, node);
            break;
        }
        writer.endObject();
        writer.member("nodeId", node->id);
        writer.member("nodeOrder", position);
        writer.member("nodeType", typeName);
        writer.endObject();
    }
    writer.endArray();
    return true;
}

bool YRPlanData::jsonFileToLocal()
{
    return readDocument(documentText.toUtf8());
}

bool YRPlanData::readDocument(const QByteArray &utf8)
{
    const QJsonObject root = QJsonDocument::fromJson(utf8).object();
    const QJsonValue description = root.value(QLatin1String("description"));
    if (!description.isObject() || description.toObject().isEmpty()) {
        qCDebug(lcPlanData).noquote() << "YRPlanData::jsonFileToLocal"
                                      << "The file has error!";
        return false;
    }
    if (!readDocumentVersion(description.toObject()))
        return false;
    readDescription(description.toObject());
    readSteps(root.value(QLatin1String("steps")).toArray());
    return true;
}

// Versions 4 and 5 are read, written as "4.0" and "5.0"; a version 4 plan keeps its name in
// its settings file rather than in the document.
bool YRPlanData::readDocumentVersion(const QJsonObject &description)
{
    if (description.contains(QLatin1String("documentVersion")))
        attr.strDocumentVersion = description.value(QLatin1String("documentVersion")).toString();
    bool isNumber = false;
    const int versionNumber = attr.strDocumentVersion.toInt(&isNumber);
    if (attr.strDocumentVersion.isEmpty() || (isNumber && versionNumber == 4) ||
        attr.strDocumentVersion == QLatin1String("4.0")) {
        attr.strName = getNameFromConfigFile();
        attr.strDocumentVersion = QStringLiteral("4.0");
        return true;
    }
    if ((isNumber && versionNumber == 5) || attr.strDocumentVersion == QLatin1String("5.0")) {
        if (description.contains(QLatin1String("name")))
            attr.strName = description.value(QLatin1String("name")).toString();
        attr.strDocumentVersion = QStringLiteral("5.0");
        return true;
    }
    return false;
}

void YRPlanData::readDescription(const QJsonObject &description)
{
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
}

void YRPlanData::readSteps(const QJsonArray &stepArray)
{
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
    const QJsonValue type = in.value(QLatin1String("nodeType"));
    const QJsonValue content = in.value(QLatin1String("nodeContent"));
    if (type.isUndefined() || content.isUndefined())
        return false;
    std::unique_ptr<TPStepNode> record = YRPlanDataUtil::createNodeRecord(type.toString());
    if (!record) {
        qCDebug(lcPlanData).noquote() << "type error!!!!!!!";
        return false;
    }
    const QJsonValue id = in.value(QLatin1String("nodeId"));
    record->id = id.isUndefined() ? createGUID() : id.toString();
    nodeMap.insert(record->id, record.get());

    const QJsonObject contentObject = content.toObject();
    switch (record->nodeType) {
    case TPNT_File:
        readFileContent(contentObject, record.get());
        break;
    case TPNT_Question:
        readQuestionContent(contentObject, record.get());
        break;
    case TPNT_Paper:
        readPaperContent(contentObject, record.get());
        break;
    case TPNT_SubjectApp:
        readSubjectAppContent(contentObject, record.get());
        break;
    case TPNT_Ebook:
        readEbookContent(contentObject, record.get());
        break;
    }
    const QJsonValue order = in.value(QLatin1String("nodeOrder"));
    record->order = order.isUndefined() ? -1 : order.toInt();
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

    YRPlanDataUtil::QuestionRecord record;
    record.questionId = question->questionId;
    record.questionType = question->questionType;
    record.localPath = question->localPath;
    record.nodeId = question->id;
    queueQuestion(record);
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
    queueRecord(jsonFiles, YRPlanDataUtil::resourceRecord(app->fileCloudSource, app->cloudThumb,
                                                          QStringLiteral("fileThumb"),
                                                          app->localThumb, app->id));
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
    queueRecord(jsonFiles, YRPlanDataUtil::resourceRecord(page->fileCloudSource, page->cloudPath,
                                                          type, page->localPath, page->id));
    queueRecord(jsonFiles, YRPlanDataUtil::resourceRecord(page->fileCloudSource, page->cloudThumb,
                                                          type, page->localThumb, page->id));
}

// ---- content writers: members in ascending key order ----

bool YRPlanData::writeFileContent(JsonTextWriter &writer, const TPStepNode *node)
{
    const auto *file = dynamic_cast<const NodeFileContent *>(node);
    if (!file)
        return false;
    writer.member("cloudPath", file->cloudPath);
    if (!file->cloudThumb.isEmpty())
        writer.member("cloudThumb", file->cloudThumb);
    writer.member("fileCloudSource", file->fileCloudSource);
    writer.member("fileMD5", file->fileMD5);
    writer.member("fileName", file->name);
    writer.member("fileSize", file->fileSize);
    writer.member("fileType", file->fileType);
    writer.member("isTranslate", file->isTranslate);
    writer.member("localPath", file->localPath);
    if (!file->localThumb.isEmpty())
        writer.member("localThumb", file->localThumb);
    return true;
}

bool YRPlanData::writeQuestionContent(JsonTextWriter &writer, const TPStepNode *node)
{
    const auto *question = dynamic_cast<const NodeQuestionContent *>(node);
    if (!question)
        return false;
    writer.member("chName", question->name);
    writer.member("localPath", question->localPath);
    writer.member("questionId", question->questionId);
    writer.key(QLatin1String("questionImg"));
    writer.beginArray();
    for (const QString &image : question->questionImg)
        writer.value(image);
    writer.endArray();
    writer.member("questionType", question->questionType);
    return true;
}

bool YRPlanData::writePaperContent(JsonTextWriter &writer, const TPStepNode *node)
{
    const auto *paper = dynamic_cast<const NodePaperContent *>(node);
    if (!paper)
        return false;
    writer.member("paperId", paper->paperId);
    writer.member("paperName", paper->name);
    return true;
}

bool YRPlanData::writeSubjectAppContent(JsonTextWriter &writer, const TPStepNode *node)
{
    const auto *app = dynamic_cast<const NodeSubjectAppContent *>(node);
    if (!app)
        return false;
    writer.member("appBundleId", app->appBundleId);
    writer.member("appClassName", app->appClassName);
    writer.member("appName", app->name);
    writer.member("cloudThumb", app->cloudThumb);
    writer.member("fileCloudSource", app->fileCloudSource);
    writer.member("localThumb", app->localThumb);
    return true;
}

bool YRPlanData::writeEbookContent(JsonTextWriter &writer, const TPStepNode *node)
{
    const auto *page = dynamic_cast<const NodeEbookContent *>(node);
    if (!page)
        return false;
    writer.member("bookId", page->bookId);
    writer.member("bookType", page->bookType);
    writer.member("cloudPath", page->cloudPath);
    writer.member("cloudThumb", page->cloudThumb);
    writer.member("fileCloudSource", page->fileCloudSource);
    writer.member("localPath", page->localPath);
    writer.member("localThumb", page->localThumb);
    writer.member("page", page->page);
    writer.member("pageName", page->name);
    return true;
}

// ---- transfer and question records ----

bool YRPlanData::recordDestination(const QString &localPath, const QString &nodeId,
                                   QString *dest) const
{
    if (teachingPlanDir.isEmpty()) {
        // Without a plan directory "dest" would be a path at the top of the file system.
        qCDebug(lcPlanData).noquote() << "YRPlanData::queueRecord"
                                      << "no plan directory, not queued:" << localPath;
        return false;
    }
    if (!YRPlanPaths::planFilePath(teachingPlanDir, localPath, dest)) {
        qCWarning(lcPlanData).noquote() << "YRPlanData::queueRecord"
                                        << "local path leaves the plan directory, not queued:"
                                        << "node" << nodeId << "path" << localPath;
        return false;
    }
    return true;
}

void YRPlanData::queueRecord(QVector<QJsonObject> &list,
                             const YRPlanDataUtil::TransferRecord &record) const
{
    QString dest;
    if (recordDestination(record.localPath, record.nodeId, &dest))
        list.append(record.toJson(dest));
}

void YRPlanData::queueQuestion(const YRPlanDataUtil::QuestionRecord &record)
{
    QString dest;
    if (recordDestination(record.localPath, record.nodeId, &dest))
        jsonQuestions.append(record.toJson(dest));
}
