// The upload flow: completing upload records with their storage place, sending what was added
// or changed locally, and following the answers to the save that waits for them.

#include "teachingplanoperate/yrteachingplanoperate.h"

#include "interfaces/cyrcommonutils.h"
#include "plandata/planpaths.h"
#include "resourcemanage/yrresourcemanage.h"
#include "teachingplanoperate/operatelog_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

bool removeByNodeIds(QVector<QJsonObject> &records, const QStringList &ids)
{
    const auto removed = std::remove_if(records.begin(), records.end(), [&](const QJsonObject &r) {
        return r.contains(QLatin1String("nodeId")) &&
               ids.contains(r.value(QLatin1String("nodeId")).toString());
    });
    const bool any = removed != records.end();
    records.erase(removed, records.end());
    return any;
}

} // namespace

QString YRTeachingPlanOperate::cloudPathOf(const QString &absolutePath) const
{
    return QLatin1String("/plan/") +
           absolutePath.mid(m_pPlanData->getTeachingPlanRoot().length() + 1);
}

bool YRTeachingPlanOperate::uploadFileToCloud(const QString &path, QJsonObject &record,
                                              bool replace)
{
    if (!QFileInfo::exists(path)) {
        m_pResourceManage->downloadFileFromCloud(record, false);
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::uploadFileToCloud"
                                     << "upload file does not exist." << path;
        return false;
    }
    // Only the plan's own files are sent: a path named by a document or an answer must not
    // carry any other file of the machine to the cloud.
    const QString planDir = m_pPlanData->getTeachingPlanDir();
    if (planDir.isEmpty() || !YRPlanPaths::isInside(planDir, path)) {
        qCWarning(lcOperate).noquote() << "YRTeachingPlanOperate::uploadFileToCloud"
                                       << "refused: not inside the plan directory" << path;
        return false;
    }
    record.insert(QStringLiteral("localPath_temp"), path);
    const QString cloudPath = cloudPathOf(path);
    if (record.contains(QLatin1String("nodeId")))
        m_pPlanData->setNodeCloudPath(record.value(QLatin1String("nodeId")).toString(), cloudPath);
    record.insert(QStringLiteral("remotePath"), cloudPath);
    const QJsonObject domains = YRPlanPaths::resourceDomains();
    const QLatin1String group = path.contains(QLatin1String("teachpkg.json"))
                                    ? QLatin1String("jsonroad")
                                    : QLatin1String("localUpload");
    record.insert(QStringLiteral("bucketName"),
                  domains.value(group).toObject().value(QLatin1String("bucket")).toString());
    record.insert(QStringLiteral("replace"), replace);
    record.insert(QStringLiteral("cloudPath"), cloudPath);
    record.insert(QStringLiteral("fileCloudSource"), QStringLiteral("localUpload"));
    m_pResourceManage->uploadFileToCloud(record, replace);
    return true;
}

void YRTeachingPlanOperate::separateUploadFile(QVector<QJsonObject> &records)
{
    // The records before the current one all stay, so the walk goes on where it is instead of
    // starting over after each removal: the same result without the quadratic walk.
    for (int i = 0; i < records.size();) {
        const QJsonObject record = records.at(i);
        const QJsonValue source = record.value(QLatin1String("fileCloudSource"));
        if (!source.toString().contains(QLatin1String("localUpload"))) {
            ++i;
            continue;
        }
        if (!record.contains(QLatin1String("localPath"))) {
            qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::separateUploadFile"
                                         << "cannot find localPath";
            return;
        }
        records.removeAt(i);
        QString path;
        if (!YRPlanPaths::planFilePath(m_pPlanData->getTeachingPlanDir(),
                                       record.value(QLatin1String("localPath")).toString(),
                                       &path)) {
            qCWarning(lcOperate).noquote()
                << "YRTeachingPlanOperate::separateUploadFile"
                << "refused: leaves the plan directory" << YRResourceManage::recordText(record);
            continue;
        }
        QJsonObject sent = record;
        uploadFileToCloud(path, sent, true);
        qCDebug(lcOperate).noquote()
            << "YRTeachingPlanOperate::separateUploadFile" << YRResourceManage::recordText(sent);
    }
}

bool YRTeachingPlanOperate::compareJsonFile()
{
    const QString document = documentPath();
    const QVector<QJsonObject> differing = m_pPlanData->getOtherJsonDiffFiles(document);
    for (QJsonObject record : differing) {
        if (record.contains(QLatin1String("dest")))
            uploadFileToCloud(record.value(QLatin1String("dest")).toString(), record, true);
    }
    // Replaced in one step: a failure on the way never leaves the plan without a document.
    const QString localNew = document + QLatin1String(".localnew");
    QFile source(localNew);
    QSaveFile target(document);
    if (source.open(QIODevice::ReadOnly) && target.open(QIODevice::WriteOnly) &&
        target.write(source.readAll()) == source.size() && target.commit()) {
        source.close();
        QFile::remove(localNew);
    } else {
        qCWarning(lcOperate).noquote() << "YRTeachingPlanOperate::compareJsonFile"
                                       << "the local copy could not replace the document";
    }
    return false;
}

void YRTeachingPlanOperate::slotUploadFinished(int res, const QJsonObject &info)
{
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::uploadFinished" << res
                                 << YRResourceManage::recordText(info);
    const QFileInfo uploaded(info.value(QLatin1String("localPath")).toString());
    const bool document =
        uploaded.isFile() && uploaded.fileName() == QLatin1String("teachpkg.json");
    if (res == 0) {
        if (isRenamingInBackground() || isExporting()) {
            if (document)
                updatePlanDataBase();
        } else if (isEditing()) {
            if (document)
                updatePlanDataBase();
            else if (!m_pResourceManage->hasUploadingFile() && (m_operationFlags & TPOF_Saving))
                saveTeachingPlan();
        }
        return;
    }
    if (!isEditing())
        return;
    if (document) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::uploadFinished"
                                     << "The json upload failed!";
        returnSavePlanStatusToWeb(0);
    } else if (m_operationFlags & TPOF_Saving) {
        returnSavePlanStatusToWeb(0);
    }
}

void YRTeachingPlanOperate::slotFileUpadated(const QJsonObject &info)
{
    if (!info.contains(QLatin1String("dest")) || !info.contains(QLatin1String("localPath")) ||
        info.value(QLatin1String("nodeType")).toString() != QLatin1String("file"))
        return;
    const QString dest = info.value(QLatin1String("dest")).toString();
    const QFileInfo file(dest);
    NodeFileContent node;
    node.id = info.value(QLatin1String("nodeId")).toString();
    node.nodeType = TPNT_File;
    node.isTranslate = 0;
    // Taken from the absolute "dest": the plan-relative "localPath" is shorter than the root.
    node.cloudPath = cloudPathOf(dest);
    node.fileCloudSource = QStringLiteral("localUpload");
    node.fileMD5 = CYrCommonUtils::getFileMD5(dest);
    node.name = file.fileName();
    node.fileType = file.suffix();
    node.fileSize = QString::number(file.size());
    node.localPath = info.value(QLatin1String("localPath")).toString();
    m_pPlanData->updateNode(&node);
    QJsonObject record = info;
    uploadFileToCloud(dest, record, true);
}

void YRTeachingPlanOperate::slotNetWorkStateChanged(bool bState)
{
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotNetWorkStateChanged" << bState;
    if (!bState && isEditing() && (m_operationFlags & TPOF_Saving))
        saveTeachingPlan();
}

void YRTeachingPlanOperate::deleteNodeFile(const QString &id, int kind)
{
    Q_UNUSED(kind)
    const QStringList ids = m_pPlanData->getNodeId(id);
    if (ids.isEmpty())
        return;
    removeByNodeIds(m_loadedQuestions, ids);
    removeByNodeIds(m_pendingQuestions, ids);
    m_pResourceManage->deleteFileById(ids);
}
