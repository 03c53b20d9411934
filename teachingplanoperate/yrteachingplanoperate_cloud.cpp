// The cloud plan service: the plan record after a document upload, and the replies of every
// plan-service request. A reply is told apart only by its mark, the api path of its request.

#include "teachingplanoperate/yrteachingplanoperate.h"

#include "interfaces/cyrcommonutils.h"
#include "plandata/planpaths.h"
#include "teachingplanoperate/operatelog_p.h"

#include <QFileInfo>

namespace {

const QLatin1String kCreatePlan("api/teaplan/createplan");
const QLatin1String kUpdatePlan("api/teaplan/updatePlan");
const QLatin1String kTranslatePlan("api/teaplan/Translateplan");
const QLatin1String kQuestionInfo("api/teaplan/onequeinfo");

bool isPlanRecordApi(const QString &mark)
{
    return mark == kCreatePlan || mark == kUpdatePlan;
}

} // namespace

QMap<QString, QString> YRTeachingPlanOperate::parseRequestQuery(const QString &requestUrl)
{
    const int question = requestUrl.indexOf(QLatin1Char('?'));
    const QString query = question < 0 ? requestUrl : requestUrl.mid(question + 1);
    QMap<QString, QString> parameters;
    for (const QString &part : query.split(QLatin1Char('&'), Qt::SkipEmptyParts))
        parameters.insert(part.section(QLatin1Char('='), 0, 0),
                          part.section(QLatin1Char('='), 1, 1));
    return parameters;
}

void YRTeachingPlanOperate::updatePlanDataBase()
{
    const TeachingPlanAttr &attr = m_pPlanData->getTeachingPlanAttr();
    const QFileInfo document(documentPath());
    QMap<QString, QString> params;
    params.insert(QStringLiteral("p_author"), YRPlanPaths::signedInUserId());
    params.insert(QStringLiteral("p_block"),
                  QString::number(document.isFile() ? document.size() : 0));
    params.insert(QStringLiteral("p_board"), QString::number(attr.iBoardId));
    params.insert(QStringLiteral("p_date"), QString::number(attr.iUpdateTime));
    params.insert(QStringLiteral("p_jsonmd5"),
                  CYrCommonUtils::getFileMD5(document.absoluteFilePath()));
    params.insert(QStringLiteral("p_rethink"), attr.strIntrospection);
    params.insert(QStringLiteral("p_stepnum"),
                  QString::number(m_pPlanData->getTeachingPlanStepCount()));
    params.insert(QStringLiteral("p_title"), attr.strName);
    params.insert(QStringLiteral("p_version"), YROperate::currentDocumentVersion());

    IYRHttpRequest *request = httpRequest();
    if (!request)
        return;
    if (attr.iPlanId == -1) {
        params.insert(
            QStringLiteral("p_jsonroad"),
            document.absoluteFilePath().mid(m_pPlanData->getTeachingPlanRoot().length() + 1));
        request->sendRequest(params, kCreatePlan, QString(), 0);
    } else {
        params.insert(QStringLiteral("p_id"), QString::number(attr.iPlanId));
        request->sendRequest(params, kUpdatePlan, QString(), 0);
    }
}

void YRTeachingPlanOperate::slotHttpRequestFinish(const QString &mark, const QJsonObject &jsonObj,
                                                  const QString &requestUrl)
{
    if (m_operationFlags == 0)
        return;
    if (mark == kQuestionInfo)
        handleQuestion(jsonObj, requestUrl);
    else if (isPlanRecordApi(mark))
        handlePlanRecordReply(mark, jsonObj, requestUrl);
    else if (mark == kTranslatePlan)
        handleTranslateReply(jsonObj);
    else
        qCDebug(lcOperate).noquote()
            << "YRTeachingPlanOperate::slotHttpRequestFinish" << mark << jsonObj << requestUrl;
}

void YRTeachingPlanOperate::handlePlanRecordReply(const QString &mark, const QJsonObject &reply,
                                                  const QString &requestUrl)
{
    const bool success = reply.value(QLatin1String("success")).toBool();
    if (isEditing()) {
        if (!success) {
            qCDebug(lcOperate).noquote()
                << "YRTeachingPlanOperate::slotHttpRequestFinish" << mark << reply << requestUrl;
            returnSavePlanStatusToWeb(0);
            return;
        }
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotHttpRequestFinish"
                                     << "save success";
        if (reply.contains(QLatin1String("data"))) {
            const QJsonObject data = reply.value(QLatin1String("data")).toObject();
            if (data.contains(QLatin1String("planid")))
                setId(data.value(QLatin1String("planid")).toString().toInt(nullptr, 10));
        } else {
            qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotHttpRequestFinish"
                                         << "cannot find data!!";
        }
        returnSavePlanStatusToWeb(1);
    } else if (isRenamingInBackground()) {
        reportState(success ? TPOS_Success_Rename : TPOS_Fail_Rename);
    }
}

void YRTeachingPlanOperate::handleTranslateReply(const QJsonObject &reply)
{
    if (!reply.value(QLatin1String("success")).toBool()) {
        reportState(TPOS_Fail_Translate);
        return;
    }
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotHttpRequestFinish"
                                 << "open success";
    const QJsonObject data = reply.value(QLatin1String("data")).toObject();
    if (!reply.contains(QLatin1String("data")) || !data.contains(QLatin1String("p_jsonroad")) ||
        !data.contains(QLatin1String("p_title"))) {
        reportState(TPOS_Fail_Translate);
        return;
    }
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotHttpRequestFinish"
                                 << "Version 3 translate to 4";
    const QString jsonPath = data.value(QLatin1String("p_jsonroad")).toString();
    const QString title = data.value(QLatin1String("p_title")).toString();
    const QString planId = QString::number(m_pPlanData->getTeachingPlanAttr().iPlanId);
    if (isEditing()) {
        reportState(TPOS_Success_Translate);
        // The user agreed before the request was sent.
        m_askBeforeConvert = false;
        openTeachingPlan(jsonPath, planId, QString(), title, QStringLiteral("4.0"));
    } else if (isExporting()) {
        reportState(TPOS_Success_Translate);
        jsonVersion4To5(jsonPath, title, planId);
    }
}

void YRTeachingPlanOperate::slotHttpRequestError(const QString &mark, int code,
                                                 const QString &requestUrl)
{
    if (m_operationFlags == 0) {
        qCDebug(lcOperate).noquote()
            << "YRTeachingPlanOperate::slotHttpRequestError" << mark << code << requestUrl;
        return;
    }
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotHttpRequestError:"
                                 << "\tapi:" << mark << "\tcode:" << code << "\trequestUrl"
                                 << requestUrl;
    if (mark == kQuestionInfo) {
        handleQuestionError(requestUrl);
    } else if (isPlanRecordApi(mark)) {
        returnSavePlanStatusToWeb(0);
    } else if (mark == kTranslatePlan) {
        if (isEditing()) {
            qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotHttpRequestError"
                                         << "open file failed";
            reportState(TPOS_Fail_Open, "slotHttpRequestError");
        } else if (isExporting()) {
            qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotHttpRequestError"
                                         << "translate failed";
            m_progressVisible = false;
            reportState(TPOS_Fail_Translate);
        }
    }
}

void YRTeachingPlanOperate::handleQuestionError(const QString &requestUrl)
{
    const QMap<QString, QString> query = parseRequestQuery(requestUrl);
    if (query.isEmpty()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotHttpRequestError"
                                     << "questionId not found." << requestUrl;
        return;
    }
    bool isNumber = false;
    const QString idText = query.value(QStringLiteral("questionId"));
    const int questionId = idText.toInt(&isNumber, 10);
    if (!isNumber) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotHttpRequestError"
                                     << "questionId cannot find." << idText;
        return;
    }
    // Each failed question is taken out before it is looked for locally, which puts it back
    // once: pending with "percent" -1, or loaded when its file is there.
    QVector<QJsonObject> failed;
    for (auto it = m_pendingQuestions.begin(); it != m_pendingQuestions.end();) {
        if (!it->contains(QLatin1String("localPath")) ||
            !it->contains(QLatin1String("questionId"))) {
            qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotHttpRequestError"
                                         << "Q_ASSERT";
            ++it;
        } else if (it->value(QLatin1String("questionId")).toString().toInt() == questionId) {
            failed.append(*it);
            it = m_pendingQuestions.erase(it);
        } else {
            ++it;
        }
    }
    for (QJsonObject &record : failed) {
        if (!loadLocalQuestion(record) && isExporting()) {
            abandonExport();
            return;
        }
    }
}

void YRTeachingPlanOperate::slothttptimeout()
{
    if (isExporting())
        abandonExport();
}

void YRTeachingPlanOperate::slotHttpConnectError()
{
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotHttpConnectError";
    if (isEditing() && (m_operationFlags & TPOF_Saving))
        returnSavePlanStatusToWeb(0);
}
