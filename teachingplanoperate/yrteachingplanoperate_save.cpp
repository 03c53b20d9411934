// Saving, auto-save, closing, renaming and deleting plans.

#include "teachingplanoperate/yrteachingplanoperate.h"

#include "plandata/planpaths.h"
#include "resourcemanage/yrresourcemanage.h"
#include "teachingplanoperate/operatelog_p.h"
#include "teachingplanoperate/yrcalexportprocess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

namespace {

const QLatin1String kNotSaveSuffix(".notsave");

// True when path, resolved through any symbolic links, still lies strictly inside root: a
// link planted in the plan tree must not lead a removal out of it.
bool resolvesInside(const QString &root, const QString &path)
{
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    const QString canonicalPath = QFileInfo(path).canonicalFilePath();
    return !canonicalRoot.isEmpty() && !canonicalPath.isEmpty() &&
           YRPlanPaths::isInside(canonicalRoot, canonicalPath);
}

} // namespace

QString YRTeachingPlanOperate::sanitizedPlanName(const QString &name)
{
    QString sanitized = name;
    for (const QChar c : QStringLiteral("\\/:*?\"<>|&"))
        sanitized.replace(c, QLatin1Char('#'));
    return sanitized;
}

bool YRTeachingPlanOperate::appendNotSaveFlag()
{
    m_pPlanData->saveJson(m_pPlanData->getJson(), QString());
    // QFile::copy never overwrites: the marker keeps the state before the first change.
    const QString document = documentPath();
    QFile::copy(document, document + kNotSaveSuffix);
    return true;
}

bool YRTeachingPlanOperate::beNeedSaved()
{
    return isEditing() && QFileInfo::exists(documentPath() + kNotSaveSuffix);
}

bool YRTeachingPlanOperate::saveTeachingPlan()
{
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::saveTeachingPlan"
                                 << "start.";
    if (!isEditing())
        return false;
    m_operationFlags |= TPOF_Saving;
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    attr.iUpdateTime = QDateTime::currentSecsSinceEpoch();
    m_pPlanData->setTeachingPlanAttr(attr);

    if (waitsForTransfers())
        return false;
    if (!m_pPlanData->saveJson(m_pPlanData->getJson(), QString())) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::saveTeachingPlan"
                                     << "The json file cannot saved!";
        returnSavePlanStatusToWeb(0);
        return false;
    }
    return isSignedIn() ? saveToCloud() : saveLocally();
}

// A save while files are still moving would record a plan whose files the cloud lacks; the
// transfer flows take the save up again when they are done (TPOF_Saving stays set).
bool YRTeachingPlanOperate::waitsForTransfers()
{
    if (!m_pResourceManage->IsConnectedWithNet())
        return false;
    if (m_pResourceManage->hasDownloadingFile()) {
        requestNetWorkCheck();
        m_pResourceManage->printDownloadingFileInfo();
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::saveTeachingPlan"
                                     << "The file is downloading.";
        return true;
    }
    if (m_pResourceManage->hasUploadingFile()) {
        requestNetWorkCheck();
        m_pResourceManage->printUploadingFileInfo();
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::saveTeachingPlan"
                                     << "The file is uploading.";
        return true;
    }
    return false;
}

bool YRTeachingPlanOperate::saveLocally()
{
    if (m_savePath.isEmpty()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::saveTeachingPlan"
                                     << "local new create.";
        m_savePath = selectTeachingPlan(tr("保存文件"), m_pPlanData->getTeachingPlanAttr().strName);
        if (m_savePath.isEmpty()) {
            returnSavePlanStatusToWeb(3);
            return false;
        }
    }
    QString target = m_savePath;
    if (QFileInfo(target).suffix() != QLatin1String("yrtp"))
        target += QLatin1String(".yrtp");

    // The new package is written completely before the old one goes: a failed pack must never
    // leave the plan without any package.
    const QString previous = m_packagePath;
    m_packagePath = target;
    if (!zipTeachingPlanAfterExport()) {
        m_packagePath = previous;
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::saveTeachingPlan"
                                     << "zip local fail";
        returnSavePlanStatusToWeb(0);
        return false;
    }
    if (!previous.isEmpty() &&
        QFileInfo(previous).absoluteFilePath() != QFileInfo(target).absoluteFilePath()) {
        const bool removed = QFile::remove(previous);
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::saveTeachingPlan"
                                     << "old package removed:" << previous << removed;
    }
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::saveTeachingPlan"
                                 << "zip local success";
    appendNotSaveFlag();
    returnSavePlanStatusToWeb(4);
    return true;
}

bool YRTeachingPlanOperate::saveToCloud()
{
    if (!m_pResourceManage->IsConnectedWithNet()) {
        appendNotSaveFlag();
        returnSavePlanStatusToWeb(4);
        return true;
    }
    QJsonObject record;
    const QString document = QFileInfo(m_pPlanData->getTeachingPlanDir()).absoluteFilePath() +
                             QLatin1String("/teachpkg.json");
    if (!uploadFileToCloud(document, record, true)) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::saveTeachingPlan"
                                     << "The json file upload failed!";
        returnSavePlanStatusToWeb(0);
    }
    // The upload's answer and the plan service's reply report the outcome.
    return false;
}

void YRTeachingPlanOperate::slotAutoSaveTeachingPlan()
{
    if (isSignedIn())
        saveTeachingPlan();
}

void YRTeachingPlanOperate::startAutoSaveTeachingPlan()
{
    if (isSignedIn())
        m_autoSaveTimer->start();
}

void YRTeachingPlanOperate::stopAutoSaveTeachingPlan()
{
    if (isSignedIn())
        m_autoSaveTimer->stop();
}

bool YRTeachingPlanOperate::closeTeachingPlan()
{
    m_operationFlags = 0;
    m_pResourceManage->stopDownloadFiles();
    m_pResourceManage->clearDownloadFiles();
    m_pResourceManage->stopUploadFiles();
    m_pResourceManage->clearUploadFiles();
    m_pPlanData->clearTeachingPlanData();
    m_autoSaveTimer->stop();
    m_exportProcess->reset();
    closeTeachingPlanWidget();
    return true;
}

bool YRTeachingPlanOperate::closeTeachingPlanWidget()
{
    if (m_planFileDialog) {
        m_planFileDialog->reject();
        m_planFileDialog->close();
    }
    return true;
}

bool YRTeachingPlanOperate::cancleSavingTeachingPlan()
{
    closeTeachingPlan();
    return true;
}

bool YRTeachingPlanOperate::removeTeachingPlanDir()
{
    QString dir = m_pPlanData->getTeachingPlanDir();
    if (dir.isEmpty())
        return false;
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::removeTeachingPlanDir" << dir;

    // Only a directory strictly inside the root goes, judged on the cleaned path and again
    // with links resolved; a text test on the root alone would let "root/../x" through.
    const QString root = QDir::cleanPath(m_pPlanData->getTeachingPlanRoot());
    const QString target = QDir::cleanPath(dir);
    const QFileInfo info(target);
    if (!YRPlanPaths::isInside(root, target) ||
        (info.exists() && (info.isSymLink() || !resolvesInside(root, target)))) {
        qCWarning(lcOperate).noquote() << "YRTeachingPlanOperate::removeTeachingPlanDir"
                                       << "refused: not inside the teaching-plan root" << dir;
        return false;
    }
    QDir(target).removeRecursively();
    m_pPlanData->setTeachingPlanDir(QString());
    return true;
}

bool YRTeachingPlanOperate::deleteTeachingPlan(const QString &planId, const QString &jsonPath)
{
    Q_UNUSED(planId)
    m_pPlanData->initTeachingPlanAttr();
    if (jsonPath.isEmpty()) {
        reportState(TPOS_Fail_Delete);
        return false;
    }
    const QString root = m_pPlanData->getTeachingPlanRoot();
    const QString path = root + QLatin1Char('/') + jsonPath;
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::deleteTeachingPlan" << path;
    // Made absolute first: on Windows that also turns a host's backslashes into "/".
    if (!YRPlanPaths::isInside(QDir::cleanPath(root), QFileInfo(path).absoluteFilePath())) {
        qCWarning(lcOperate).noquote() << "YRTeachingPlanOperate::deleteTeachingPlan"
                                       << "refused: the document path leaves the root";
        reportState(TPOS_Fail_Delete);
        return false;
    }
    const QFileInfo document(path);
    if (!document.isFile()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::deleteTeachingPlan"
                                     << "file not exist!!!";
        reportState(TPOS_Fail_Delete);
        return false;
    }
    m_pPlanData->setTeachingPlanDir(document.absolutePath());
    // Reporting a deletion that was refused would have the host drop a plan still on disk.
    if (!removeTeachingPlanDir()) {
        reportState(TPOS_Fail_Delete);
        return false;
    }
    reportState(TPOS_Success_Delete);
    return true;
}

bool YRTeachingPlanOperate::renameTeachingPlan(const QString &planId, const QString &newName,
                                               const QString &jsonPath, const QString &mode)
{
    switch (mode.toInt(nullptr, 10)) {
    case 0:
        return renameBackgroundPlan(planId, newName, jsonPath);
    case 1:
        renameOpenPlan(newName);
        return true;
    default:
        return true;
    }
}

bool YRTeachingPlanOperate::renameBackgroundPlan(const QString &planId, const QString &newName,
                                                 const QString &jsonPath)
{
    m_operationFlags = TPOF_Background | TPOF_Opened;
    if (!initTeachingPlanEnv()) {
        reportState(TPOS_Fail_Rename);
        return false;
    }
    removeTeachingPlanDir();
    if (!enterDocumentDir(jsonPath)) {
        reportState(TPOS_Fail_Rename);
        return false;
    }
    m_planName = newName;
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    attr.iPlanId = planId.toInt(nullptr, 10);
    m_pPlanData->setTeachingPlanAttr(attr);

    if (!YROperate::isLocalPlanId(planId)) {
        // The download flow renames the fetched document and records the new name.
        downloadFileFromCloud(jsonPath, QStringLiteral("jsonroad"));
        return true;
    }
    const QString path = m_pPlanData->getTeachingPlanRoot() + QLatin1Char('/') + jsonPath;
    if (!QFileInfo::exists(path)) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::renameTeachingPlan"
                                     << "The local json file is not exist!";
        reportState(TPOS_Fail_Rename);
        return false;
    }
    // A document that does not load, or a rename that is not written, is a failed rename:
    // the host must not show a name the plan does not carry.
    if (!m_pPlanData->setJson(m_pPlanData->getJson(path, true))) {
        reportState(TPOS_Fail_Rename);
        return false;
    }
    attr = m_pPlanData->getTeachingPlanAttr();
    attr.strName = newName;
    m_pPlanData->setTeachingPlanAttr(attr);
    if (!m_pPlanData->saveJson(m_pPlanData->getJson(), QString())) {
        reportState(TPOS_Fail_Rename);
        return false;
    }
    reportState(TPOS_Success_Rename);
    return true;
}

void YRTeachingPlanOperate::renameOpenPlan(const QString &newName)
{
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    attr.strName = newName;
    m_pPlanData->setTeachingPlanAttr(attr);
    returnJsonToWeb();
    // The package follows the name on the next save. A plan never saved has no folder yet
    // (the save dialog asks for one), and the name must not make the package a path.
    if (!isSignedIn() && !m_savePath.isEmpty()) {
        m_savePath = QFileInfo(m_savePath).absolutePath() + QLatin1Char('/') +
                     sanitizedPlanName(newName) + QLatin1String(".yrtp");
    }
    reportState(TPOS_Success_Rename);
    appendNotSaveFlag();
}
