// Content that reaches the plan directory outside the document download: files the host
// copies into a step or task directory, and question contents fetched from the plan service.

#include "teachingplanoperate/yrteachingplanoperate.h"

#include "interfaces/cyrcommonutils.h"
#include "plandata/planpaths.h"
#include "resourcemanage/yrresourcemanage.h"
#include "teachingplanoperate/operatelog_p.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>
#include <QUuid>

#include <memory>

namespace {

// The file node being added: one file is added at a time, per process. A copy of the node as
// the tree took it, not a pointer into the tree: the node may be deleted while its file is
// still being copied, and the completed values reach the tree through updateNode.
struct AddingNode
{
    bool active = false;
    NodeFileContent node;
};

AddingNode &addingNode()
{
    static AddingNode adding;
    return adding;
}

QString newNodeId()
{
    return QUuid::createUuid().toString().mid(1, 36).trimmed();
}

} // namespace

bool YRTeachingPlanOperate::addLocalFile(const QString &path, int progress)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QStringList parts = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QString guid = m_pPlanData->getTeachingPlanAttr().strGUID;
    const int index = parts.indexOf(guid);
    if (index < 0)
        qCDebug(lcOperate).noquote()
            << "YRTeachingPlanOperate::addLocalFile" << index << parts << guid;
    if (index < 0 || index == parts.size() - 1)
        return false;
    const QString &container = parts.at(index + 1);
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::addLocalFile" << absolute << progress
                                 << container;

    const QString planDir = m_pPlanData->getTeachingPlanDir();
    const QString inPlan = absolute.mid(planDir.length());
    AddingNode &adding = addingNode();
    if (progress == -1) {
        adding.active = false;
    } else if (progress == 0) {
        if (!appendLocalFileNode(absolute, container))
            return false;
    } else if (progress == 100 && adding.active) {
        adding.active = false;
        NodeFileContent &node = adding.node;
        node.fileMD5 = CYrCommonUtils::getFileMD5(absolute);
        node.fileSize = QString::number(QFileInfo(absolute).size());
        m_pPlanData->updateNode(&node);
        appendNotSaveFlag();
        QJsonObject record{{QStringLiteral("dest"), absolute},
                           {QStringLiteral("fileCloudSource"), node.fileCloudSource},
                           {QStringLiteral("cloudPath"), node.cloudPath},
                           {QStringLiteral("nodeType"), QStringLiteral("file")},
                           {QStringLiteral("isTranslate"), node.isTranslate},
                           {QStringLiteral("localPath"), node.localPath},
                           {QStringLiteral("fileSize"), node.fileSize},
                           {QStringLiteral("nodeId"), node.id},
                           {QStringLiteral("fileMD5"), node.fileMD5}};
        uploadFileToCloud(absolute, record, isSignedIn());
    }
    sendProgress(inPlan, progress);
    return true;
}

bool YRTeachingPlanOperate::appendLocalFileNode(const QString &absolute, const QString &container)
{
    const QFileInfo file(absolute);
    auto node = std::make_unique<NodeFileContent>();
    node->id = newNodeId();
    node->nodeType = TPNT_File;
    node->name = file.fileName();
    node->fileType = file.suffix();
    node->fileCloudSource = QStringLiteral("localUpload");
    const QString planDir = m_pPlanData->getTeachingPlanDir();
    node->cloudPath = QLatin1String("/plan/") +
                      planDir.mid(m_pPlanData->getTeachingPlanRoot().length() + 1) +
                      QLatin1Char('/') + file.fileName();
    node->localPath = absolute.mid(planDir.length());
    node->isTranslate = 0;

    AddingNode &adding = addingNode();
    adding.active = false;
    NodeFileContent *raw = node.get();
    const int result = m_pPlanData->appendNode(container, raw);
    switch (result) {
    case TPANS_Success:
        static_cast<void>(node.release()); // the tree owns it now
        adding.node = *raw;
        adding.active = true;
        returnJsonToWeb();
        return true;
    case TPANS_ExistFile:
        reportState(TPOS_Fail_AddNode_ExistFile, "addLocalFile");
        return false;
    case TPANS_PlanFile:
        reportState(TPOS_Fail_AddNode_PlanFile);
        return false;
    default:
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::addLocalFile"
                                     << (result == TPANS_Unknown ? "TPANS_Unknown" : "default");
        // A 0 may come from a node the tree took before its text could be regenerated: the
        // tree owns it then, and only then may it stay alive.
        if (m_pPlanData->getNodeId(container).contains(raw->id))
            static_cast<void>(node.release());
        return false;
    }
}

void YRTeachingPlanOperate::slotQuestionInfo(QJsonObject &info)
{
    if (!m_pResourceManage->IsConnectedWithNet()) {
        loadLocalQuestion(info);
        return;
    }
    m_pendingQuestions.append(info);
    QMap<QString, QString> params;
    if (isSignedIn()) {
        params.insert(QStringLiteral("uid"), YRPlanPaths::signedInUserId());
        params.insert(QStringLiteral("questionId"),
                      info.value(QLatin1String("questionId")).toString());
        params.insert(QStringLiteral("questionType"),
                      info.value(QLatin1String("questionType")).toString());
    } else {
        const QString questionId = info.value(QLatin1String("questionId")).toString();
        for (int i = 0; i < m_pendingQuestions.size(); ++i) {
            const QJsonObject entry = m_pendingQuestions.at(i);
            if (entry.value(QLatin1String("questionId")).toString() == questionId) {
                sendProgress(entry.value(QLatin1String("localPath")).toString(), 100);
                m_loadedQuestions.append(info);
                m_pendingQuestions.removeAt(i);
                break;
            }
        }
    }
    if (IYRHttpRequest *request = httpRequest())
        request->sendQueryRequest(params, QStringLiteral("api/teaplan/onequeinfo"), QString(), 0);
}

void YRTeachingPlanOperate::handleQuestion(const QJsonObject &reply, const QString &requestUrl)
{
    if (!reply.value(QLatin1String("success")).toBool()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::handleQuestion"
                                     << "question Content fails!!!!";
        return;
    }
    const QMap<QString, QString> query = parseRequestQuery(requestUrl);
    if (query.isEmpty()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::handleQuestion"
                                     << "questionId not found." << requestUrl;
        return;
    }
    const int questionId = query.value(QStringLiteral("questionId")).toInt(nullptr, 10);
    if (questionId < 0) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::handleQuestion"
                                     << "questionId < 0." << questionId;
        return;
    }
    const auto found = std::find_if(
        m_pendingQuestions.begin(), m_pendingQuestions.end(), [&](const QJsonObject &entry) {
            return entry.value(QLatin1String("questionId")).toString().toInt() == questionId;
        });
    if (found == m_pendingQuestions.end()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::handleQuestion";
        return;
    }
    const QJsonObject entry = *found;
    sendProgress(entry.value(QLatin1String("localPath")).toString(), 100);
    m_loadedQuestions.append(entry);
    m_pendingQuestions.erase(found);

    const QJsonObject data = reply.value(QLatin1String("data")).toObject();
    storeQuestionContent(entry, data);
    fetchQuestionPictures(data.value(QLatin1String("questionImg")).toArray());
    if (isExporting() && m_pendingQuestions.isEmpty() && !m_pResourceManage->hasDownloadingFile())
        handleExportFile();
}

void YRTeachingPlanOperate::storeQuestionContent(const QJsonObject &entry, const QJsonObject &data)
{
    QString path;
    if (!YRPlanPaths::planFilePath(m_pPlanData->getTeachingPlanDir(),
                                   entry.value(QLatin1String("localPath")).toString(), &path) ||
        path == m_pPlanData->getTeachingPlanDir()) {
        qCWarning(lcOperate).noquote() << "YRTeachingPlanOperate::handleQuestion"
                                       << "refused: the question file leaves the plan directory";
        return;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    const QByteArray content = QJsonDocument(data.value(QLatin1String("questionJson")).toObject())
                                   .toJson(QJsonDocument::Indented);
    // A short write leaves the question as it was, to be fetched again.
    if (file.write(content) != content.size())
        file.cancelWriting();
    file.commit();
}

void YRTeachingPlanOperate::fetchQuestionPictures(const QJsonArray &pictures)
{
    static const QRegularExpression pictureSuffix(
        QStringLiteral(".jpg|.png|.jpeg|.gif|.jpe|.bmp|.tif|.raw|.image|.cur|.ico"));
    const QString planDir = m_pPlanData->getTeachingPlanDir();
    for (const QJsonValue &picture : pictures) {
        const QString address = picture.toString();
        if (!pictureSuffix.match(address.toLower()).hasMatch())
            continue;
        const QString localPath = QUrl(address).path(QUrl::FullyDecoded);
        QString dest;
        if (!YRPlanPaths::planFilePath(planDir, localPath, &dest) || dest == planDir) {
            qCWarning(lcOperate).noquote()
                << "YRTeachingPlanOperate::handleQuestion"
                << "refused: the picture leaves the plan directory" << address;
            continue;
        }
        if (QFileInfo::exists(dest))
            continue;
        QJsonObject record{{QStringLiteral("url"), address},
                           {QStringLiteral("dest"), dest},
                           {QStringLiteral("localPath"), localPath},
                           {QStringLiteral("nodeType"), QStringLiteral("file")},
                           {QStringLiteral("fileSize"), QString::number(1000000 / pictures.size())},
                           {QStringLiteral("downloadMethod"), QStringLiteral("queue")}};
        m_pResourceManage->downloadFileFromCloud(record, true);
    }
}

bool YRTeachingPlanOperate::loadLocalQuestion(QJsonObject &record)
{
    if (record.contains(QLatin1String("dest")) &&
        QFileInfo::exists(record.value(QLatin1String("dest")).toString())) {
        m_loadedQuestions.append(record);
        return true;
    }
    record.insert(QStringLiteral("percent"), -1);
    m_pendingQuestions.append(record);
    return false;
}
