// Nodes that the web editor sends as JSON text: parsing, the duplicate check, and the new
// node with its local paths and queued transfer records.

#include "plandata/plandatalog_p.h"
#include "plandata/plandatautil_p.h"
#include "plandata/planpaths.h"
#include "plandata/yrplandata.h"

#include <QFileInfo>
#include <QJsonDocument>

namespace {

// One counter for the whole process: a renamed clash never reuses a number.
int g_renameCounter = 0;

// The last "/"-separated part, empty when the text ends in "/".
QString lastPathPart(const QString &path)
{
    return path.section(QLatin1Char('/'), -1);
}

QString renamedAfterClash(const QString &name)
{
    const QFileInfo info(name);
    return info.completeBaseName() + QString::number(g_renameCounter++) + QLatin1Char('.') +
           info.suffix();
}

QString fileLocalPath(const QString &parent, const WebNodeContent &content)
{
    return QLatin1Char('/') + parent + QLatin1Char('/') + content.name;
}

QString fileThumbLocalPath(const QString &fileLocalPath, const WebNodeContent &content)
{
    return fileLocalPath + QLatin1String(".thumb/") + lastPathPart(content.cloudThumb);
}

QString questionLocalPath(const QString &parent, const WebNodeContent &content)
{
    return QLatin1Char('/') + parent + QLatin1Char('/') + content.questionType + QLatin1Char('_') +
           content.questionId + QLatin1String(".json");
}

QString appThumbLocalPath(const QString &parent, const WebNodeContent &content)
{
    return QLatin1Char('/') + parent + QLatin1Char('/') + content.appBundleId;
}

QString ebookLocalPath(const QString &parent, const WebNodeContent &content, const QString &folder,
                       const QString &cloudPath)
{
    return QLatin1Char('/') + parent + QLatin1Char('/') + QString::number(content.bookId) + folder +
           lastPathPart(cloudPath) + QLatin1String("pg");
}

QString ebookPageLocalPath(const QString &parent, const WebNodeContent &content)
{
    return ebookLocalPath(parent, content, QStringLiteral("/BasicData/"), content.cloudPath);
}

QString ebookPreviewLocalPath(const QString &parent, const WebNodeContent &content)
{
    return ebookLocalPath(parent, content, QStringLiteral("/preview/"), content.cloudThumb);
}

// The node's own file: the one whose path must stay inside the plan directory for the node to
// be accepted. Empty for kinds without a file of their own.
QString ownLocalPath(const QString &parent, const WebNodeContent &content)
{
    if (content.nodeType == QLatin1String("file"))
        return fileLocalPath(parent, content);
    if (content.nodeType == QLatin1String("question"))
        return questionLocalPath(parent, content);
    if (content.nodeType == QLatin1String("subjectApp"))
        return appThumbLocalPath(parent, content);
    if (content.nodeType == QLatin1String("ebook"))
        return ebookPageLocalPath(parent, content);
    return QString();
}

} // namespace

bool YRPlanData::analysisNodeContent(const QString &nodeJson, WebNodeContent &content)
{
    const QJsonObject root = QJsonDocument::fromJson(nodeJson.toUtf8()).object();
    if (!root.contains(QLatin1String("nodeType")))
        return false;
    content.nodeType = root.value(QLatin1String("nodeType")).toString();
    if (!root.contains(QLatin1String("nodeContent")))
        return false;
    const QJsonObject c = root.value(QLatin1String("nodeContent")).toObject();
    const auto text = [&c](const char *key) { return c.value(QLatin1String(key)).toString(); };
    const auto number = [&c](const char *key) { return c.value(QLatin1String(key)).toInt(); };

    if (content.nodeType == QLatin1String("file")) {
        content.cloudPath = text("cloudPath");
        content.cloudThumb = text("cloudThumb");
        content.fileCloudSource = text("fileCloudSource");
        content.name = text("fileName");
        content.fileSize = text("fileSize");
        content.fileType = text("fileType");
        content.isTranslate = number("isTranslate");
    } else if (content.nodeType == QLatin1String("question")) {
        content.name = text("chName");
        content.fileCloudSource = text("fileCloudSource");
        content.isTranslate = number("isTranslate");
        content.questionId = text("questionId");
        content.questionType = text("questionType");
    } else if (content.nodeType == QLatin1String("paper")) {
        content.fileCloudSource = text("fileCloudSource");
        content.isTranslate = number("isTranslate");
        content.paperId = text("paperId");
        content.name = text("paperName");
    } else if (content.nodeType == QLatin1String("subjectApp")) {
        content.fileCloudSource = text("fileCloudSource");
        content.isTranslate = number("isTranslate");
        content.appBundleId = text("appBundleId");
        content.appClassName = text("appClassName");
        content.name = text("appName");
        content.cloudThumb = text("cloudThumb");
    } else if (content.nodeType == QLatin1String("ebook")) {
        content.fileCloudSource = text("fileCloudSource");
        content.isTranslate = number("isTranslate");
        content.bookId = number("bookId");
        content.bookType = text("bookType");
        content.cloudPath = text("cloudPath");
        content.cloudThumb = text("cloudThumb");
        content.page = number("page");
        content.name = text("pageName");
    } else {
        return false;
    }
    return true;
}

bool YRPlanData::existFile(QVector<TPStepNode *> nodes, WebNodeContent &content)
{
    // Only nodes of the content's own kind can hold the same resource: a question is no
    // duplicate of a file whose cloud path happens to be empty too.
    const QString contentKind = content.nodeType;
    for (const TPStepNode *node : qAsConst(nodes)) {
        if (YRPlanDataUtil::nodeTypeName(node->nodeType) != contentKind)
            continue;
        switch (node->nodeType) {
        case TPNT_File: {
            const auto *file = dynamic_cast<const NodeFileContent *>(node);
            if (content.fileCloudSource == QLatin1String("localUpload")) {
                if (node->name == content.name)
                    return true;
            } else if (file && file->cloudPath == content.cloudPath) {
                return true;
            } else if (node->name == content.name) {
                content.name = renamedAfterClash(content.name);
            }
            break;
        }
        case TPNT_Question: {
            const auto *question = dynamic_cast<const NodeQuestionContent *>(node);
            if (question && question->questionId == content.questionId)
                return true;
            break;
        }
        case TPNT_Paper: {
            const auto *paper = dynamic_cast<const NodePaperContent *>(node);
            if (paper && paper->paperId == content.paperId)
                return true;
            break;
        }
        case TPNT_SubjectApp: {
            const auto *app = dynamic_cast<const NodeSubjectAppContent *>(node);
            if (app && app->appBundleId == content.appBundleId)
                return true;
            break;
        }
        case TPNT_Ebook: {
            const auto *page = dynamic_cast<const NodeEbookContent *>(node);
            if (page && page->cloudPath == content.cloudPath)
                return true;
            break;
        }
        default:
            break;
        }
    }
    return false;
}

bool YRPlanData::readNode_Web(const QString &parent, const WebNodeContent &content,
                              std::unique_ptr<TPStepNode> &node)
{
    std::unique_ptr<TPStepNode> record = YRPlanDataUtil::createNodeRecord(content.nodeType);
    if (!record) {
        qCDebug(lcPlanData).noquote() << "type error!!!!!!!";
        return false;
    }
    if (!webLocalPathsInside(parent, content)) {
        qCWarning(lcPlanData).noquote()
            << "YRPlanData::readNode_Web"
            << "refused: local path leaves the plan directory" << ownLocalPath(parent, content);
        return false;
    }
    record->id = createGUID();
    nodeMap.insert(record->id, record.get());
    switch (record->nodeType) {
    case TPNT_File:
        readFileContent_Web(parent, content, record.get());
        break;
    case TPNT_Question:
        readQuestionContent_Web(parent, content, record.get());
        break;
    case TPNT_Paper:
        readPaperContent_Web(parent, content, record.get());
        break;
    case TPNT_SubjectApp:
        readSubjectAppContent_Web(parent, content, record.get());
        break;
    case TPNT_Ebook:
        readEbookContent_Web(parent, content, record.get());
        break;
    }
    node = std::move(record);
    return true;
}

bool YRPlanData::webLocalPathsInside(const QString &parent, const WebNodeContent &content) const
{
    // A file's name becomes the last part of its path: "." or "" would name its folder.
    if (content.nodeType == QLatin1String("file") && !YRPlanPaths::isPlainFileName(content.name))
        return false;
    const QString localPath = ownLocalPath(parent, content);
    // The check is on the path's shape alone, so it holds before a plan directory is set.
    return localPath.isEmpty() || YRPlanPaths::isPlanRelative(localPath);
}

bool YRPlanData::readFileContent_Web(const QString &parent, const WebNodeContent &content,
                                     TPStepNode *node)
{
    auto *file = dynamic_cast<NodeFileContent *>(node);
    if (!file)
        return false;
    file->cloudPath = content.cloudPath;
    file->fileCloudSource = content.fileCloudSource;
    file->name = content.name;
    file->fileSize = content.fileSize;
    file->fileType = content.fileType;
    file->isTranslate = content.isTranslate;
    file->localPath = fileLocalPath(parent, content);
    file->cloudThumb = content.cloudThumb;

    if (!file->cloudThumb.isEmpty())
        file->localThumb = fileThumbLocalPath(file->localPath, content);
    for (const YRPlanDataUtil::TransferRecord &record :
         YRPlanDataUtil::fileNodeRecords(*file, YRPlanDataUtil::FileRecordOrigin::WebEditor))
        queueRecord(jsonFiles, record);
    return true;
}

bool YRPlanData::readQuestionContent_Web(const QString &parent, const WebNodeContent &content,
                                         TPStepNode *node)
{
    auto *question = dynamic_cast<NodeQuestionContent *>(node);
    if (!question)
        return false;
    question->questionId = content.questionId;
    question->name = content.name;
    question->fileCloudSource = content.fileCloudSource;
    question->isTranslate = content.isTranslate;
    question->questionType = content.questionType;
    question->localPath = questionLocalPath(parent, content);

    YRPlanDataUtil::QuestionRecord record;
    record.questionId = question->questionId;
    record.questionType = question->questionType;
    record.localPath = question->localPath;
    record.nodeId = question->id;
    record.withNodeId = false;
    queueQuestion(record);
    return true;
}

bool YRPlanData::readPaperContent_Web(const QString &, const WebNodeContent &content,
                                      TPStepNode *node)
{
    auto *paper = dynamic_cast<NodePaperContent *>(node);
    if (!paper)
        return false;
    paper->name = content.name;
    paper->paperId = content.paperId;
    return true;
}

bool YRPlanData::readSubjectAppContent_Web(const QString &parent, const WebNodeContent &content,
                                           TPStepNode *node)
{
    auto *app = dynamic_cast<NodeSubjectAppContent *>(node);
    if (!app)
        return false;
    app->name = content.name;
    app->fileCloudSource = content.fileCloudSource;
    app->cloudThumb = content.cloudThumb;
    app->appBundleId = content.appBundleId;
    app->appClassName = content.appClassName;
    app->isTranslate = content.isTranslate;
    app->localThumb = appThumbLocalPath(parent, content);
    queueRecord(jsonFiles, YRPlanDataUtil::resourceRecord(app->fileCloudSource, app->cloudThumb,
                                                          QStringLiteral("fileThumb"),
                                                          app->localThumb, app->id));
    return true;
}

bool YRPlanData::readEbookContent_Web(const QString &parent, const WebNodeContent &content,
                                      TPStepNode *node)
{
    auto *page = dynamic_cast<NodeEbookContent *>(node);
    if (!page)
        return false;
    page->fileCloudSource = content.fileCloudSource;
    page->name = content.name;
    page->bookId = QString::number(content.bookId);
    page->bookType = content.bookType;
    page->page = content.page;
    page->cloudPath = content.cloudPath;
    page->localPath = ebookPageLocalPath(parent, content);
    page->cloudThumb = content.cloudThumb;
    page->localThumb = ebookPreviewLocalPath(parent, content);
    queueEbookRecords(page);
    return true;
}
