// The download flow: the plan document first, then the resources and questions it names, in
// the editor, in a background rename and in an export.

#include "teachingplanoperate/yrteachingplanoperate.h"

#include "interfaces/cyrcommonutils.h"
#include "plandata/planpaths.h"
#include "resourcemanage/yrresourcemanage.h"
#include "teachingplanoperate/operatelog_p.h"
#include "teachingplanoperate/yrcalexportprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTimer>

bool YRTeachingPlanOperate::downloadFileFromCloud(const QString &cloudPath,
                                                  const QString &fileCloudSource)
{
    if (cloudPath.isEmpty())
        return false;
    // Every caller has entered the document's directory first (enterDocumentDir), which
    // refuses a path that leaves the root.
    const QString dest = m_pPlanData->getTeachingPlanRoot() + QLatin1Char('/') + cloudPath;
    QJsonObject record{{QStringLiteral("cloudPath"), cloudPath},
                       {QStringLiteral("dest"), dest},
                       {QStringLiteral("downloadMethod"), QStringLiteral("queue")},
                       {QStringLiteral("fileCloudSource"), fileCloudSource},
                       {QStringLiteral("localPath"), cloudPath},
                       {QStringLiteral("nodeType"), QStringLiteral("file")},
                       {QStringLiteral("strDestFileAbs"), dest}};
    m_pResourceManage->downloadFileFromCloud(record, false);
    return true;
}

void YRTeachingPlanOperate::downloadResourceFromJson()
{
    const QVector<QJsonObject> files = m_pPlanData->getJsonFiles();
    m_pPlanData->clearJsonFiles();
    if (isSignedIn() && !isRenamingInBackground())
        m_pResourceManage->prepareLocalCopies(files);
    for (const QJsonObject &record : files)
        analysisDownloadFile(record);

    QVector<QJsonObject> questions = m_pPlanData->getJsonQuestions();
    m_pPlanData->clearJsonQuestions();
    for (QJsonObject &question : questions)
        slotQuestionInfo(question);

    if (!isEditing())
        return;
    QJsonArray questionProgress;
    for (const QJsonObject &question : qAsConst(m_pendingQuestions)) {
        if (question.value(QLatin1String("percent")).toInt(0) == -1)
            questionProgress.append(
                progressEntry(question.value(QLatin1String("localPath")).toString(), -1));
    }
    for (const QJsonObject &question : qAsConst(m_loadedQuestions))
        questionProgress.append(
            progressEntry(question.value(QLatin1String("localPath")).toString(), 100));
    sendProgressText(joinedJsonArrays(m_pResourceManage->resourceProgressText(),
                                      jsonArrayText(questionProgress)));
}

void YRTeachingPlanOperate::analysisDownloadFile(QJsonObject record)
{
    if (isRenamingInBackground())
        return;
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotDownloadFile"
                                 << YRResourceManage::recordText(record);
    // Without a user nothing is fetched: the files are taken as they are on disk.
    if (isSignedIn())
        m_pResourceManage->downloadFileFromCloud(record, false);
    else
        m_pResourceManage->appendDownloadedFile(record);
}

void YRTeachingPlanOperate::slotDownloadStarted(bool bSucceed, const QJsonObject &info)
{
    Q_UNUSED(bSucceed)
    Q_UNUSED(info)
}

void YRTeachingPlanOperate::slotDownloadProgress(const QJsonObject &info, int iProgress,
                                                 const QString &downloadType)
{
    Q_UNUSED(downloadType)
    if (isExporting())
        m_exportProcess->enqueue(info, iProgress);
    if (!isEditing())
        return;
    const bool thumb =
        info.value(QLatin1String("nodeType")).toString() == QLatin1String("fileThumb");
    const QString shown =
        info.value(thumb ? QLatin1String("localThumb") : QLatin1String("localPath")).toString();
    if (shown.contains(QLatin1String("teachpkg.json"), Qt::CaseInsensitive))
        return;
    if (iProgress >= 0 && iProgress < 100)
        sendProgress(shown, iProgress);
}

// The plan's own document, and only that: a name the network's answer merely carries is never
// loaded, rewritten or sent back.
bool YRTeachingPlanOperate::isPlanDocument(const QString &dest) const
{
    const QFileInfo file(dest);
    return file.isFile() && file.fileName() == QLatin1String("teachpkg.json") &&
           !m_pPlanData->getTeachingPlanDir().isEmpty() &&
           file.absoluteFilePath() == QFileInfo(documentPath()).absoluteFilePath();
}

void YRTeachingPlanOperate::slotDownloadFinished(bool bSucceed, const QJsonObject &info)
{
    const QString dest = info.value(QLatin1String("dest")).toString();
    if (!bSucceed) {
        handleFailedDownload(info, dest);
        return;
    }
    completeFileMD5(info);
    const bool document = isPlanDocument(dest);
    if (isEditing()) {
        if (document)
            openDownloadedDocument(dest);
        else
            sendProgress(info.value(QLatin1String("localPath")).toString(), 100);
        // A save asked for during the downloads runs now.
        if ((m_operationFlags & TPOF_Saving) && !m_pResourceManage->hasDownloadingFile())
            saveTeachingPlan();
    } else if (isRenamingInBackground()) {
        if (document)
            renameDownloadedDocument(dest);
    } else if (isExporting()) {
        if (document && !continueExportWithDocument(dest))
            return;
        finishExportWhenComplete();
    }
}

void YRTeachingPlanOperate::handleFailedDownload(const QJsonObject &info, const QString &dest)
{
    if (isEditing()) {
        if (dest.contains(QLatin1String("teachpkg.json"))) {
            // The copy left from an earlier session stands in for the cloud's.
            openLocalTeachingPlan();
            return;
        }
        const QString localPath = info.value(QLatin1String("localPath")).toString();
        if (!localPath.isEmpty())
            sendProgress(localPath, QFileInfo::exists(dest) ? 100 : -1);
    } else if (isRenamingInBackground()) {
        reportState(TPOS_Fail_Rename);
    } else if (isExporting()) {
        // A missing thumbnail does not make the package unusable.
        if (info.value(QLatin1String("nodeType")).toString() == QLatin1String("fileThumb"))
            finishExportWhenComplete();
        else
            abandonExport();
    }
}

void YRTeachingPlanOperate::completeFileMD5(const QJsonObject &info)
{
    for (const char *key : {"fileMD5", "nodeType", "dest", "nodeId"}) {
        if (!info.contains(QLatin1String(key)))
            return;
    }
    if (!info.value(QLatin1String("fileMD5")).toString().isEmpty() ||
        info.value(QLatin1String("nodeType")).toString() != QLatin1String("file"))
        return;
    const QFileInfo file(info.value(QLatin1String("dest")).toString());
    if (!file.isFile())
        return;
    m_pPlanData->setNodeFileMD5(info.value(QLatin1String("nodeId")).toString(),
                                CYrCommonUtils::getFileMD5(file.absoluteFilePath()));
}

void YRTeachingPlanOperate::openDownloadedDocument(const QString &dest)
{
    const QString localNew = dest + QLatin1String(".localnew");
    const bool hasLocalNew = QFileInfo::exists(localNew);
    const QString chosen = hasLocalNew ? localNew : dest;
    const int version = readVersionFromJson(chosen);
    if (version != TPV_Version4 && version != TPV_Version5) {
        reportState(TPOS_Fail_Ignore, "slotDownloadFinished");
        return;
    }
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    if (!m_planName.isEmpty() && m_planName != attr.strName) {
        attr.strName = m_planName;
        m_pPlanData->setTeachingPlanAttr(attr);
        m_pPlanData->saveJson(m_pPlanData->getJson(), QString());
        uploadDocument(chosen);
    }
    if (version == TPV_Version4 && attr.strDocumentVersion != YROperate::currentDocumentVersion()) {
        attr.strDocumentVersion = YROperate::currentDocumentVersion();
        m_pPlanData->setTeachingPlanAttr(attr);
        m_pPlanData->saveJson(m_pPlanData->getJson(), QString());
        uploadDocument(chosen);
    }
    reportState(TPOS_Success_Open, "slotDownloadFinished");
    if (hasLocalNew)
        compareJsonFile();
    if (isSignedIn())
        m_autoSaveTimer->start();
}

void YRTeachingPlanOperate::renameDownloadedDocument(const QString &dest)
{
    if (!m_pPlanData->setJson(m_pPlanData->getJson(QFileInfo(dest).absoluteFilePath(), true)))
        return;
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    attr.strName = m_planName;
    m_pPlanData->setTeachingPlanAttr(attr);
    if (!m_pPlanData->saveJson(m_pPlanData->getJson(), QString())) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::downloadFinished"
                                     << "rename failed!!";
        reportState(TPOS_Fail_Rename);
    }
    // The plan record request that follows the upload confirms the new name.
    uploadDocument(documentPath());
}

bool YRTeachingPlanOperate::continueExportWithDocument(const QString &dest)
{
    if (!openTeachingPlanJsonFile(dest)) {
        abandonExport();
        return false;
    }
    slotExportProcess(0);
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    attr.strName = m_planName;
    m_pPlanData->setTeachingPlanAttr(attr);
    if (QFileInfo::exists(documentPath() + QLatin1String(".notsave")))
        uploadDocument(documentPath());
    m_exportProcess->setTotalSize(m_pPlanData->getDownloadFileTotalSize());
    m_exportProcess->startCounting();
    downloadResourceFromJson();
    return true;
}

void YRTeachingPlanOperate::finishExportWhenComplete()
{
    if (!m_pResourceManage->hasDownloadingFile() && m_pendingQuestions.isEmpty())
        handleExportFile();
}

void YRTeachingPlanOperate::uploadDocument(const QString &path)
{
    QJsonObject record;
    uploadFileToCloud(path, record, true);
}

void YRTeachingPlanOperate::slotDownloadQueueEmpty(bool bIsEmpty)
{
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotDownloadQueueEmpty" << bIsEmpty;
    if (bIsEmpty && isEditing() && m_pResourceManage->hasDownloadingFile())
        m_pResourceManage->reDownloadFile();
}

void YRTeachingPlanOperate::reDownloadFile(const QString &text)
{
    Q_UNUSED(text)
    m_pResourceManage->reDownloadFile();
    // Only the questions failed when the call began: one that fails again waits for the next.
    QVector<QJsonObject> retry;
    for (auto it = m_pendingQuestions.begin(); it != m_pendingQuestions.end();) {
        if (it->value(QLatin1String("percent")).toInt(0) == -1) {
            it->remove(QLatin1String("percent"));
            retry.append(*it);
            it = m_pendingQuestions.erase(it);
        } else {
            ++it;
        }
    }
    for (QJsonObject &question : retry)
        slotQuestionInfo(question);
}
