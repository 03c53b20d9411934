#include "teachingplanoperate/yrteachingplanoperate.h"

#include "plandata/planpaths.h"
#include "resourcemanage/yrresourcemanage.h"
#include "teachingplanoperate/operatelog_p.h"
#include "teachingplanoperate/yrcalexportprocess.h"
#include "teachingplanoperate/yrextractteachingplan.h"

#include <QTimer>

Q_LOGGING_CATEGORY(lcOperate, "yrdata.operate")

namespace {

const int kAutoSaveIntervalMs = 300000;

struct CodeName
{
    int code;
    const char *name;
};

// Codes 3, 11 and 17 are never reported and have no name.
const CodeName kStateNames[] = {
    {TPOS_Success_Create, "TPOS_Success_Create"},
    {TPOS_Success_Open, "TPOS_Success_Open"},
    {TPOS_Success_Rename, "TPOS_Success_Rename"},
    {TPOS_Success_Delete, "TPOS_Success_Delete"},
    {TPOS_Success_Export, "TPOS_Success_Export"},
    {TPOS_Success_Import, "TPOS_Success_Import"},
    {TPOS_Success_Translate, "TPOS_Success_Translate"},
    {TPOS_Fail_Create, "TPOS_Fail_Create"},
    {TPOS_Fail_Open, "TPOS_Fail_Open"},
    {TPOS_Fail_Rename, "TPOS_Fail_Rename"},
    {TPOS_Fail_Delete, "TPOS_Fail_Delete"},
    {TPOS_Fail_Export, "TPOS_Fail_Export"},
    {TPOS_Fail_Import, "TPOS_Fail_Import"},
    {TPOS_Fail_AddNode_ExistFile, "TPOS_Fail_AddNode_ExistFile"},
    {TPOS_Fail_AddNode_PlanFile, "TPOS_Fail_AddNode_PlanFile"},
    {TPOS_Fail_Ignore, "TPOS_Fail_Ignore"},
    {TPOS_Fail_Translate, "TPOS_Fail_Translate"},
    {TPOS_Start_Import, "TPOS_Start_Import"},
    {TPOS_Start_Export, "TPOS_Start_Export"},
};

const CodeName kVersionNames[] = {
    {TPV_Unknown, "TPV_Unknown"},
    {TPV_Version3, "TPV_Version3"},
    {TPV_Version4, "TPV_Version4"},
    {TPV_Version5, "TPV_Version5"},
};

template <size_t N>
QString nameOfCode(const CodeName (&table)[N], int code)
{
    for (const CodeName &entry : table) {
        if (entry.code == code)
            return QLatin1String(entry.name);
    }
    return QString();
}

} // namespace

YRTeachingPlanOperate::YRTeachingPlanOperate(IYRPlanData *pPlanData,
                                             IYRNetWorkManager *pNetWorkManager,
                                             YRResourceManage *pResourceManage, QObject *parent)
    : QObject(parent), m_pPlanData(pPlanData), m_pResourceManage(pResourceManage),
      m_pNetWorkManager(pNetWorkManager)
{
    // The request object is the host's: its signals are reached by name, as the host declares
    // them on its own class.
    QObject *http = m_pNetWorkManager ? m_pNetWorkManager->getHttpObject() : nullptr;
    if (http) {
        connect(http, SIGNAL(sglHttpRequestFinish(QString, QJsonObject, QString)), this,
                SLOT(slotHttpRequestFinish(QString, QJsonObject, QString)));
        connect(http, SIGNAL(sglHttpRequestError(QString, int, QString)), this,
                SLOT(slotHttpRequestError(QString, int, QString)));
        connect(http, SIGNAL(sglhttptimeout()), this, SLOT(slothttptimeout()));
        connect(http, SIGNAL(sglHttpConnectError()), this, SLOT(slotHttpConnectError()));
    } else {
        qCWarning(lcOperate).noquote()
            << "YRTeachingPlanOperate::YRTeachingPlanOperate"
            << "the network manager has no request object: no plan-service answers";
    }

    if (m_pResourceManage) {
        connect(m_pResourceManage, &YRResourceManage::signalDownloadStart, this,
                &YRTeachingPlanOperate::slotDownloadStarted);
        connect(m_pResourceManage, &YRResourceManage::signalDownloadFinished, this,
                &YRTeachingPlanOperate::slotDownloadFinished);
        connect(m_pResourceManage, &YRResourceManage::signalDownloadProgress, this,
                &YRTeachingPlanOperate::slotDownloadProgress);
        connect(m_pResourceManage, &YRResourceManage::signalDownloadQueueEmpty, this,
                &YRTeachingPlanOperate::slotDownloadQueueEmpty);
        connect(m_pResourceManage, &YRResourceManage::signalUploadFinished, this,
                &YRTeachingPlanOperate::slotUploadFinished);
        connect(m_pResourceManage, &YRResourceManage::signalAvatarquit, this,
                &YRTeachingPlanOperate::slotAvatarquit);
        connect(m_pResourceManage, &YRResourceManage::signalAvatarData, this,
                &YRTeachingPlanOperate::slotAvatarData);
        connect(m_pResourceManage, &YRResourceManage::signalFileUpadated, this,
                &YRTeachingPlanOperate::slotFileUpadated);
        connect(m_pResourceManage, &YRResourceManage::signalNetWorkStateChanged, this,
                &YRTeachingPlanOperate::slotNetWorkStateChanged);
    }

    m_autoSaveTimer = new QTimer(this);
    m_autoSaveTimer->setInterval(kAutoSaveIntervalMs);
    m_autoSaveTimer->setSingleShot(false);
    connect(m_autoSaveTimer, &QTimer::timeout, this,
            &YRTeachingPlanOperate::slotAutoSaveTeachingPlan);

    m_exportProcess = new YRCalExportProcess(this);
    connect(m_exportProcess, &YRCalExportProcess::exportProcess, this,
            &YRTeachingPlanOperate::slotExportProcess);

    m_extractPlan = new YRExtractTeachingPlan(this);
    connect(m_extractPlan, &YRExtractTeachingPlan::signalExtractFinished, this,
            &YRTeachingPlanOperate::slotExtractFinished);
}

YRTeachingPlanOperate::~YRTeachingPlanOperate()
{
    // The children would be destroyed after this body; no worker thread may outlive us, and
    // a finished unpack must not reach a half-destroyed controller.
    m_exportProcess->stop();
    disconnect(m_extractPlan, nullptr, this, nullptr);
    m_extractPlan->wait();
}

QString YRTeachingPlanOperate::stateName(int nState)
{
    return nameOfCode(kStateNames, nState);
}

QString YRTeachingPlanOperate::versionName(int nVersion)
{
    return nameOfCode(kVersionNames, nVersion);
}

// ---- Editing forwards ----

void YRTeachingPlanOperate::appendNode(const QString &stepId, const QString &taskId,
                                       const QString &nodeJson)
{
    if (m_pPlanData->appendNode(stepId, taskId, nodeJson)) {
        returnJsonToWeb();
    } else {
        reportState(TPOS_Fail_AddNode_ExistFile, "appendNode");
    }
    appendNotSaveFlag();
}

void YRTeachingPlanOperate::setIntrospection(const QString &text)
{
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    attr.strIntrospection = text;
    m_pPlanData->setTeachingPlanAttr(attr);
    returnJsonToWeb();
    appendNotSaveFlag();
}

void YRTeachingPlanOperate::setBoard(int boardId)
{
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    attr.iBoardId = boardId;
    m_pPlanData->setTeachingPlanAttr(attr);
    returnJsonToWeb();
    appendNotSaveFlag();
}

void YRTeachingPlanOperate::addStepOrTask(const QString &stepId, const QString &name,
                                          const QString &stepTypeName)
{
    m_pPlanData->addStepOrTask(stepId, name, stepTypeName);
    returnJsonToWeb();
    appendNotSaveFlag();
}

void YRTeachingPlanOperate::deleteStepOrTask(const QString &id, int kind)
{
    deleteNodeFile(id, kind);
    m_pPlanData->deleteStepOrTask(id, kind);
    returnJsonToWeb();
    appendNotSaveFlag();
}

void YRTeachingPlanOperate::renameStepOrTask(const QString &stepId, const QString &taskId,
                                             const QString &name, const QString &desc)
{
    m_pPlanData->renameStepOrTask(stepId, taskId, name, desc);
    returnJsonToWeb();
    appendNotSaveFlag();
}

void YRTeachingPlanOperate::orderStepOrTask(const QString &movingId, const QString &beforeId,
                                            const QString &parentJson, int kind)
{
    m_pPlanData->orderStepOrTask(movingId, beforeId, parentJson, kind);
    returnJsonToWeb();
    appendNotSaveFlag();
}

// ---- Small accessors ----

void YRTeachingPlanOperate::setId(int planId)
{
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    attr.iPlanId = planId;
    m_pPlanData->setTeachingPlanAttr(attr);
}

const int &YRTeachingPlanOperate::getId() const
{
    return m_pPlanData->getTeachingPlanAttr().iPlanId;
}

const QString &YRTeachingPlanOperate::getTeachingPlanDir() const
{
    return m_pPlanData->getTeachingPlanDir();
}

QString YRTeachingPlanOperate::getCurrentTeachingPlanStepDir() const
{
    const QString &current = m_currentTask.isEmpty() ? m_currentStep : m_currentTask;
    return m_pPlanData->getTeachingPlanDir() + QLatin1Char('/') + current;
}

void YRTeachingPlanOperate::setCurrentStepOrTask(const QString &step, const QString &task)
{
    m_currentStep = step;
    m_currentTask = task;
}

void YRTeachingPlanOperate::emitSignalTeachingPlanOperateState(int nState)
{
    emit signalTeachingPlanOperateState(nState);
}

bool YRTeachingPlanOperate::isProgressVisible()
{
    return m_progressVisible;
}

int YRTeachingPlanOperate::operationFlags() const
{
    return m_operationFlags;
}

void YRTeachingPlanOperate::slotAvatarquit(QNetworkReply::NetworkError error)
{
    Q_UNUSED(error)
}

void YRTeachingPlanOperate::slotAvatarData(QPixmap &pixmap)
{
    Q_UNUSED(pixmap)
}

void YRTeachingPlanOperate::slotExportProcess(int nProcess)
{
    emit signalExportProgress(m_operationFlags, nProcess);
}

// ---- Shared helpers ----

QString YRTeachingPlanOperate::documentPath() const
{
    return m_pPlanData->getTeachingPlanDir() + QLatin1String("/teachpkg.json");
}

void YRTeachingPlanOperate::reportState(int state)
{
    emit signalTeachingPlanOperateState(state);
}

void YRTeachingPlanOperate::reportState(int state, const char *operation)
{
    qCDebug(lcOperate).noquote()
        << QStringLiteral("YRTeachingPlanOperate::%1").arg(QLatin1String(operation))
        << stateName(state);
    emit signalTeachingPlanOperateState(state);
}

IYRHttpRequest *YRTeachingPlanOperate::httpRequest() const
{
    QObject *http = m_pNetWorkManager ? m_pNetWorkManager->getHttpObject() : nullptr;
    IYRHttpRequest *request = qobject_cast<IYRHttpRequest *>(http);
    if (!request)
        qCWarning(lcOperate).noquote() << "YRTeachingPlanOperate::httpRequest"
                                       << "no usable request object: the request is dropped";
    return request;
}

void YRTeachingPlanOperate::requestNetWorkCheck()
{
    QObject *object = m_pNetWorkManager ? m_pNetWorkManager->getNetWorkObject() : nullptr;
    if (IYRNetWorkCheck *check = qobject_cast<IYRNetWorkCheck *>(object))
        check->checkNetWork(QStringLiteral("YRResourceManage"));
}

bool YRTeachingPlanOperate::isSignedIn()
{
    return !YRPlanPaths::signedInUserId().isEmpty();
}
