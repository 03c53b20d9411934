// The statements sent to the editor page. Arguments are inserted unchanged: the page receives
// JavaScript literals (the document as an object literal, progress as an array literal).

#include "teachingplanoperate/yrteachingplanoperate.h"

#include "teachingplanoperate/operatelog_p.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

void YRTeachingPlanOperate::returnJsonToWeb()
{
    emit signalCefRunJavaScript(QStringLiteral("returnJsonToWeb(%1)").arg(m_pPlanData->getJson()));
    downloadResourceFromJson();
}

void YRTeachingPlanOperate::returnSavePlanStatusToWeb(int status)
{
    m_operationFlags &= ~TPOF_Saving;
    int shownStatus = 0;
    int planId = -1;
    QString document;
    switch (status) {
    case 1: {
        const QString dir = m_pPlanData->getTeachingPlanDir();
        QFile::remove(dir + QLatin1String("/teachpkg.json.notsave"));
        QFile::remove(dir + QLatin1String("/teachpkg.json.localnew"));
        shownStatus = 1;
        planId = m_pPlanData->getTeachingPlanAttr().iPlanId;
        document = m_pPlanData->getJson();
        break;
    }
    case 3:
        shownStatus = 3;
        break;
    case 4:
        shownStatus = 1;
        planId = m_pPlanData->getTeachingPlanAttr().iPlanId;
        document = m_pPlanData->getJson();
        break;
    default:
        break;
    }
    const QString statement =
        QStringLiteral("savePlanStatus(%1, %2, %3)").arg(shownStatus).arg(planId).arg(document);
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::returnSavePlanStatusToWeb" << statement;
    emit signalCefRunJavaScript(statement);
}

void YRTeachingPlanOperate::sendProgressList(const QJsonArray &entries)
{
    emit signalCefRunJavaScript(
        QStringLiteral("multiFileProcess(%1)")
            .arg(QString::fromUtf8(QJsonDocument(entries).toJson(QJsonDocument::Indented))));
}

void YRTeachingPlanOperate::sendProgress(const QString &tempPath, int percent)
{
    sendProgressList(QJsonArray{progressEntry(tempPath, percent)});
}

QJsonObject YRTeachingPlanOperate::progressEntry(const QString &tempPath, int percent)
{
    return QJsonObject{{QStringLiteral("tempPath"), tempPath},
                       {QStringLiteral("percent"), percent}};
}
