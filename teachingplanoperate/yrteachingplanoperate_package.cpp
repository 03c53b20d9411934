// Plan packages: export of a cloud plan into a .yrtp file, and import of one as a new local
// plan. The download part of an export runs in the transfer flows.

#include "teachingplanoperate/yrteachingplanoperate.h"

#include "interfaces/cyrcommonutils.h"
#include "plandata/planpaths.h"
#include "resourcemanage/yrresourcemanage.h"
#include "teachingplanoperate/operatelog_p.h"
#include "teachingplanoperate/yrextractteachingplan.h"

#include <QFile>
#include <QFileInfo>

bool YRTeachingPlanOperate::exportTeachingPlan(const QString &planId, const QString &jsonPath,
                                               const QString &planName, const QString &text4)
{
    Q_UNUSED(text4)
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::exportTeachingPlan";
    m_operationFlags = TPOF_Background | TPOF_Exporting;
    const QString file = selectTeachingPlan(tr("导出教案"), planName);
    if (file.isEmpty()) {
        m_operationFlags = 0;
        return false;
    }
    m_askBeforeConvert = true;
    m_progressVisible = true;
    m_packagePath = file;
    reportState(TPOS_Start_Export);

    if (!m_pResourceManage->IsConnectedWithNet()) {
        requestNetWorkCheck();
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::exportTeachingPlan"
                                     << "无网";
        failExport();
        return false;
    }
    if (!initTeachingPlanEnv()) {
        failExport();
        return false;
    }
    removeTeachingPlanDir();
    if (YROperate::hasNoDocumentPath(jsonPath)) {
        if (!transformToCurrentVersion()) {
            failExport();
            return false;
        }
        askCloudTranslatePlan(planId, YRPlanPaths::signedInUserId(), QStringLiteral("4.0"));
        m_askBeforeConvert = false;
        return true;
    }
    return jsonVersion4To5(jsonPath, planName, planId);
}

void YRTeachingPlanOperate::failExport()
{
    m_progressVisible = false;
    reportState(TPOS_Fail_Export, "exportTeachingPlan");
}

bool YRTeachingPlanOperate::handleExportFile()
{
    if (m_operationFlags == 0)
        return false;
    m_pPlanData->saveJson(m_pPlanData->getJson(), QString());
    QFile::remove(documentPath() + QLatin1String(".notsave"));
    if (zipTeachingPlanAfterExport()) {
        m_progressVisible = false;
        reportState(TPOS_Success_Export);
    } else {
        failExport();
    }
    // The working directory keeps no loadable document.
    QFile::remove(documentPath());
    return true;
}

bool YRTeachingPlanOperate::zipTeachingPlanAfterExport()
{
    const QString dir = m_pPlanData->getTeachingPlanDir();
    if (dir.isEmpty())
        return false;
    return CYrCommonUtils::compressDir_level(m_packagePath, dir, true, 0);
}

bool YRTeachingPlanOperate::cancleExportTeachingPlan()
{
    QFile::remove(documentPath());
    QFile::remove(documentPath() + QLatin1String(".notsave"));
    return closeTeachingPlan();
}

bool YRTeachingPlanOperate::importTeachingPlan()
{
    // A second unpack would race the first one's result; the caller may try again.
    if (m_extractPlan->isRunning()) {
        qCWarning(lcOperate).noquote() << "YRTeachingPlanOperate::importTeachingPlan"
                                       << "a package is still being unpacked";
        return false;
    }
    m_operationFlags = TPOF_Background | TPOF_Importing;
    m_planName.clear();
    const QString file = selectTeachingPlan(tr("导入教案"), QString());
    if (file.isEmpty()) {
        m_operationFlags = 0;
        return false;
    }
    if (!initTeachingPlanEnv()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::importTeachingPlan"
                                     << "cannot init environment";
        reportState(TPOS_Fail_Import);
        return false;
    }
    reportState(TPOS_Start_Import);
    const QFileInfo package(file);
    // After state 20 the host waits for 6 or 14: a package gone by now is a failed import.
    if (!package.exists()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::importTeachingPlan"
                                     << "the package has vanished";
        reportState(TPOS_Fail_Import);
        return false;
    }
    m_planName = package.completeBaseName();
    startExtract(package.absoluteFilePath());
    return true;
}

void YRTeachingPlanOperate::handleImportExtract(bool bSuccess)
{
    if (!bSuccess) {
        reportState(TPOS_Fail_Import);
        return;
    }
    const QString document = documentPath();
    if (!QFileInfo(document).isFile()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotExtractFinished"
                                     << "The local json file cannot find!";
        reportState(TPOS_Fail_Import);
        return;
    }
    QFile file(document);
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotExtractFinished"
                                     << "Couldn't open json file.";
        reportState(TPOS_Fail_Import);
        return;
    }
    // A document that does not load is a failed import: going on would write the empty plan
    // over the unpacked document and report success.
    if (!m_pPlanData->setJson(QString::fromUtf8(file.readAll()))) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotExtractFinished"
                                     << "The local json file is unreadable";
        reportState(TPOS_Fail_Import);
        return;
    }
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    attr.strName = sanitizedPlanName(m_planName);
    m_pPlanData->setTeachingPlanAttr(attr);
    if (!m_pPlanData->saveJson(m_pPlanData->getJson(), QString())) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotExtractFinished"
                                     << "The local json file save fails!";
        reportState(TPOS_Fail_Import);
        return;
    }
    if (!appendNotSaveFlag()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotExtractFinished"
                                     << "cannot create *.notsave file";
        reportState(TPOS_Fail_Import);
        return;
    }
    reportState(TPOS_Success_Import);
}

void YRTeachingPlanOperate::abandonExport()
{
    failExport();
    cancleExportTeachingPlan();
}
